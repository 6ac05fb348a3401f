// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Where the wizard's windows open: centred on the screen, whatever window
// opened them.
#pragma once

class QWidget;

namespace kivo
{

// The frame of a Windows 95 dialog around the client area (4-pixel borders
// and a 19-pixel caption), which stands in for the desktop's own frame
// until the window manager has framed a window.
inline constexpr int kNominalFrameWidth = 8;
inline constexpr int kNominalFrameHeight = 27;

// Moves a top-level window so that its outer rectangle, client area and
// frame, is centred on the available area of the screen it belongs to (its
// owner's, else the primary screen). Call it before the window is shown.
void CentreOnScreen(QWidget* window);

} // namespace kivo
