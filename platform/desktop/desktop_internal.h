// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Internals of the desktop layer shared by its files: the change count, the
// X server's windows and the process's own windows.
#pragma once

#include "platform/system/win32types.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kivo::desktop::detail
{

// Moves the change count on and wakes every waiter.
void notifyChange();

// ---- X server (desktop_x11.cpp) -----------------------------------------

class X11Desktop;

// The layer's X connection, opened on first use when DISPLAY names a
// server that answers; null without one or after the server went away.
std::shared_ptr<X11Desktop> x11();
void shutdownX11();

// Top-level clients, top to bottom, then the windows this layer withdrew.
std::vector<std::uint32_t> x11Windows(X11Desktop& x);
// Title as UTF-8, at most maxBytes bytes; false for an unknown window.
bool x11Title(X11Desktop& x, std::uint32_t window, std::size_t maxBytes, std::string& title);
// The titles of many windows at once, in one round trip: an enumeration
// fetches them ahead for the GetWindowTextA calls its callback makes.
struct PrefetchedTitle {
    std::string title;
    bool complete = false; // not cut by the prefetch's size limit
};
std::unordered_map<std::uint32_t, PrefetchedTitle> x11Titles(X11Desktop& x,
                                                             const std::vector<std::uint32_t>& windows);
// 1 visible, 0 not, -1 unknown window.
int x11Visible(X11Desktop& x, std::uint32_t window);
// The visibility before (as x11Visible), after carrying out the command.
int x11Show(X11Desktop& x, std::uint32_t window, int cmdShow);

// ---- the process's own windows (desktop_own.cpp) ------------------------

struct OwnWindow {
    HWND hwnd = nullptr;
    std::string title; // UTF-8
    bool visible = false;
    bool operator==(const OwnWindow&) const = default;
};

// True when the own windows are not X clients, so the layer lists them.
bool ownListed();
std::vector<OwnWindow> ownWindows();
// Finds an own window by handle.
bool ownWindow(HWND hwnd, OwnWindow& window);
// The visibility before (1/0), or -1 when hwnd is not an own window.
int ownShow(HWND hwnd, int cmdShow);

} // namespace kivo::desktop::detail
