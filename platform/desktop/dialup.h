// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The dial-up windows. Linux has no dial-up program of its own that shows
// windows while and after it dials, so this layer plays its part for every
// connection made through the RAS calls, whatever the backend:
//
// - when the device has connected, a small post-dial window captioned
//   kPostDialCaption (platform/desktop/dialup_caption.h, the caption the installer
//   writes into the installation file);
// - when the connection is made, that window closes and the "connected"
//   window opens, captioned with string 204 of the module "rnaapp" formatted
//   with the entry name ("Connected to Office"), showing the elapsed time
//   and a Disconnect button;
// - when the dial fails, the line drops or the handle is hung up, whichever
//   of them is open closes.
//
// They are real top-level windows, so other programs' window lists, and the
// wizard's watch threads, find them like any other window.
#pragma once

#include "platform/ras/ras.h"

class QWidget;

namespace kivo::dialup
{

// Starts following the RAS layer's connections, on the calling thread (the
// GUI thread). Does nothing when KIVO95_DIALUP_WINDOWS is "0", and nothing
// the second time. Returns whether the windows are on.
bool Start();

// Stops following connections and closes every dial-up window.
void Stop();

// The windows open for a connection, or null (for tests).
QWidget* PostDialWindow(HRASCONN conn);
QWidget* ConnectedWindow(HRASCONN conn);

} // namespace kivo::dialup
