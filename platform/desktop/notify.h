// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The notification area: Shell_NotifyIconA over QSystemTrayIcon, and the
// icon handles it shows.
//
// Each icon is keyed by (window, identifier). Mouse actions on it are posted
// to that window (a hidden window of platform/system/system.h) as the icon's
// callback message, with the identifier as wParam and the mouse message as
// lParam, the way the Windows shell reports them:
//     left click            WM_LBUTTONUP
//     left double click     WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP
//     context request       WM_RBUTTONUP   (right click; the desktop's menu key)
//     middle click          WM_MBUTTONUP
// Only releases and the double click are reported: Qt tells us about
// gestures, not button presses. No context menu is ever shown by the layer
// itself; the owner of the window decides what a right click does.
//
// Differences from Windows:
// - NOTIFYICONDATAA keeps the 88-byte layout of 32-bit Windows, so its
//   handle fields are 32-bit values; convert with the helpers below. (64-bit
//   Windows does the same with window handles: only 32 bits are significant.)
// - A desktop without a notification area (GNOME without the AppIndicator
//   extension, a bare X server, the offscreen platform) still accepts every
//   call: the icons are remembered and appear if a notification area comes
//   up later. TrayAvailable() tells a caller whether hiding its window
//   behind an icon would leave the user a way back.
// - Calls must come from the GUI thread; from any other thread they fail.
// - The tip is text in the local 8-bit encoding (UTF-8 on current systems).
#pragma once

#include "platform/system/win32types.h"

#include <QIcon>

#include <cstddef>
#include <string>
#include <vector>

constexpr DWORD NIM_ADD = 0;
constexpr DWORD NIM_MODIFY = 1;
constexpr DWORD NIM_DELETE = 2;

constexpr UINT NIF_MESSAGE = 0x1;
constexpr UINT NIF_ICON = 0x2;
constexpr UINT NIF_TIP = 0x4;

struct NOTIFYICONDATAA {
    DWORD cbSize;          // 88
    DWORD hWnd;            // kivo::notify::HandleToValue(HWND)
    UINT uID;              // the caller's identifier for the icon
    UINT uFlags;           // which of the three fields below count
    UINT uCallbackMessage; // NIF_MESSAGE: posted to hWnd on mouse actions
    DWORD hIcon;           // NIF_ICON: kivo::notify::HandleToValue(HICON)
    CHAR szTip[64];        // NIF_TIP: NUL-terminated; at most 63 bytes count
};
using PNOTIFYICONDATAA = NOTIFYICONDATAA*;
static_assert(sizeof(NOTIFYICONDATAA) == 88);
static_assert(offsetof(NOTIFYICONDATAA, hWnd) == 4);
static_assert(offsetof(NOTIFYICONDATAA, uID) == 8);
static_assert(offsetof(NOTIFYICONDATAA, uFlags) == 12);
static_assert(offsetof(NOTIFYICONDATAA, uCallbackMessage) == 16);
static_assert(offsetof(NOTIFYICONDATAA, hIcon) == 20);
static_assert(offsetof(NOTIFYICONDATAA, szTip) == 24);

// NIM_ADD: adds the icon (fails when (hWnd, uID) is there already).
// NIM_MODIFY: changes the fields uFlags names (fails when it is not there).
// NIM_DELETE: removes the icon (fails when it is not there).
// Fails for a null record, a cbSize other than 88, a null window, an
// unknown message, or a call from another thread than the GUI thread.
// An icon whose window is gone is removed when its next mouse action cannot
// be delivered.
BOOL Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData);

// Frees an icon handle made by kivo::notify::CreateIconHandle. Icons already
// handed to Shell_NotifyIconA keep showing: the shell keeps its own copy.
BOOL DestroyIcon(HICON hIcon);

namespace kivo::notify
{

// An icon handle for an image (a copy of it); null for a null image.
HICON CreateIconHandle(const QIcon& icon);
// The image behind a handle; a null icon for null or a destroyed handle.
QIcon IconOf(HICON icon);

// The 32-bit values the record holds, and back. A window keeps its value
// for the life of the process; 0 stands for null. Values never seen give
// null.
DWORD HandleToValue(HWND hwnd);
HWND WindowFromValue(DWORD value);
DWORD HandleToValue(HICON icon);
HICON IconFromValue(DWORD value);

// True when the desktop shows a notification area right now.
bool TrayAvailable();

// An icon as the layer holds it.
struct TrayIconState {
    HWND hwnd = nullptr;
    UINT id = 0;
    UINT callbackMessage = 0; // 0: no messages
    bool hasIcon = false;     // a non-null image was given
    std::string tip;
    bool visible = false; // shown in a notification area at this moment
};
// The icons added and not deleted, in the order they were added.
std::vector<TrayIconState> Icons();

// What a user can do with the mouse on an icon, as Qt reports it.
enum class MouseAction { Click, DoubleClick, ContextRequest, MiddleClick };

// Acts on the icon (hwnd, id) as the user would: the action enters the
// layer where QSystemTrayIcon reports a real one, so the same messages are
// posted. A double click is the whole gesture (first click included).
// False when there is no such icon.
bool SimulateMouse(HWND hwnd, UINT id, MouseAction action);

} // namespace kivo::notify
