// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The wizard ended by its surroundings rather than by its user: a logout or
// a closed terminal (SIGHUP), kill (SIGTERM), Ctrl+C (SIGINT), the X server
// going away. Each closes the wizard as its Close button does, so the line
// is hung up, the statistics stay as the last tick wrote them, and the
// program ends with exit code 0.
#pragma once

class TfrmSelect;

namespace kivo
{

// From now on, for the rest of the program: SIGTERM, SIGINT and SIGHUP are
// caught (the handler only writes to a pipe; the close runs on the event
// loop), and an exit() that some library makes from within the event loop
// (Qt's xcb platform does when the display connection breaks) hangs up
// through FormClose first and then ends the program with exit code 0.
// Call it once, on the GUI thread, before the event loop runs.
void CloseWhenSessionEnds(TfrmSelect& form);

} // namespace kivo
