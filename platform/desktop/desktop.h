// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The desktop's top-level windows: EnumWindows, GetWindowTextA,
// IsWindowVisible and ShowWindow.
//
// Two sources of windows, enumerated together:
//  - the X server named by DISPLAY, on connections of this layer's own: the
//    clients of the window manager (_NET_CLIENT_LIST_STACKING, else
//    _NET_CLIENT_LIST) when one runs, else the ICCCM clients among the
//    root's children (see docs/decisions.md for the exact rule);
//  - this process's own top-level windows when Qt does not draw them on that
//    X server (the offscreen or the Wayland platform). Under Qt's xcb
//    platform they are X clients like any other.
// Without an X server (a Wayland session without XWayland) only the
// process's own windows exist for the layer.
//
// HWND values: an X window is its XID (below 2^32); an own window under a
// platform other than xcb gets a handle in a range of its own; the hidden
// utility windows of platform/system/system.h use yet another range.
//
// Differences from Windows:
//  - Enumeration order is top to bottom in the stacking order for X
//    clients, creation order for own windows (listed first).
//  - Titles are passed out as UTF-8 bytes, unchanged (_NET_WM_NAME); a
//    Latin-1 WM_NAME is converted to UTF-8. GetWindowTextA cuts at a byte,
//    not a character, boundary.
//  - "Visible" is WS_VISIBLE: a minimized (iconic) window is visible, a
//    withdrawn one is not.
//  - ShowWindow(SW_HIDE) withdraws an X window the ICCCM way (unmap plus the
//    synthetic UnmapNotify); the layer remembers what it withdrew, keeps
//    enumerating it (invisible) and maps it again for SW_SHOW. There is no
//    activation: SW_SHOW, SW_SHOWNA, SW_SHOWNOACTIVATE are alike.
//  - Every function may be called from any thread. An own window is changed
//    on the GUI thread (queued when called from elsewhere); the layer's view
//    of it changes at once.
#pragma once

#include "platform/system/win32types.h"

class QWindow;

using WNDENUMPROC = BOOL(CALLBACK*)(HWND hwnd, LPARAM lParam);

constexpr INT SW_SHOWMAXIMIZED = 3;
constexpr INT SW_MAXIMIZE = 3;
constexpr INT SW_SHOWNOACTIVATE = 4;
constexpr INT SW_SHOWMINNOACTIVE = 7;
constexpr INT SW_SHOWNA = 8;
constexpr INT SW_SHOWDEFAULT = 10;
constexpr INT SW_FORCEMINIMIZE = 11;

// Calls proc for every top-level window, with lParam, until proc returns
// FALSE. The list is taken before the first call: windows appearing during
// the enumeration are not seen, vanished ones give empty texts. FALSE when
// proc stopped the enumeration or is null, else TRUE.
BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam);

// Copies the window's title into buffer: at most maxCount-1 bytes and a
// terminating zero. Returns the number of bytes copied; 0 for an empty
// title or an unknown window (the buffer then holds ""). maxCount <= 0 or a
// null buffer: 0, nothing written.
INT GetWindowTextA(HWND hwnd, LPSTR buffer, INT maxCount);

// TRUE when the window exists and is shown or minimized.
BOOL IsWindowVisible(HWND hwnd);

// SW_HIDE withdraws the window; SW_SHOW, SW_SHOWNA, SW_SHOWNOACTIVATE show
// it in its current state; SW_SHOWNORMAL, SW_RESTORE, SW_SHOWDEFAULT,
// SW_SHOWMAXIMIZED also bring it back from minimized; SW_MINIMIZE,
// SW_SHOWMINIMIZED, SW_SHOWMINNOACTIVE, SW_FORCEMINIMIZE minimize it.
// Returns TRUE if the window was visible before, FALSE if it was not or
// does not exist.
BOOL ShowWindow(HWND hwnd, INT cmdShow);

namespace kivo::desktop
{

// The change count of the desktop's windows: it moves on whenever the set
// of top-level windows, a title or a visibility may have changed (X events,
// the process's own windows, ShowWindow) and on WakeWaiters().
unsigned WindowGeneration();

// Waits until the change count differs from generation, at most timeoutMs
// (negative: no bound). Sets generation to the current count and returns
// true when it had moved on, false on timeout. Take the count before
// looking at the windows, then wait with it: a change in between is never
// missed.
bool WaitForWindowChange(unsigned& generation, int timeoutMs);

// Wakes every waiter at once (moves the change count on), e.g. to make a
// watching thread look at a flag of its own.
void WakeWaiters();

// True when an X server is being watched.
bool HasXServer();

// Closes the X connections and ends the layer's event thread; the next call
// of the layer connects again (to the DISPLAY of that time). For tests and
// benchmarks that replace the X server; safe while other threads use the
// layer.
void Shutdown();

// The handle of one of the process's own top-level windows, and back
// (GUI thread only; windowOfHwnd gives null for a handle that is not ours).
HWND hwndOfWindow(QWindow* window);
QWindow* windowOfHwnd(HWND hwnd);

} // namespace kivo::desktop
