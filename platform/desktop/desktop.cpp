// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// EnumWindows & co.: each call asks the process's own windows first (their
// handles are known without a round trip), then the X server.
#include "platform/desktop/desktop.h"

#include "platform/desktop/desktop_internal.h"
#include "platform/system/trace.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace kivo::desktop
{
namespace
{

struct ChangeCount {
    std::mutex lock;
    std::condition_variable changed;
    unsigned generation = 0;
};

// Never destroyed: a watching thread may still wait on it while the
// process exits.
ChangeCount& changeCount()
{
    static auto* c = new ChangeCount;
    return *c;
}

} // namespace

namespace detail
{

void notifyChange()
{
    ChangeCount& c = changeCount();
    {
        std::lock_guard g(c.lock);
        ++c.generation;
    }
    c.changed.notify_all();
}

} // namespace detail

unsigned WindowGeneration()
{
    ChangeCount& c = changeCount();
    std::lock_guard g(c.lock);
    return c.generation;
}

bool WaitForWindowChange(unsigned& generation, int timeoutMs)
{
    // Make sure the X server is watched before anyone relies on being woken.
    detail::x11();
    ChangeCount& c = changeCount();
    std::unique_lock lk(c.lock);
    const auto moved = [&] { return c.generation != generation; };
    bool changed;
    if (timeoutMs < 0) {
        c.changed.wait(lk, moved);
        changed = true;
    } else {
        changed = c.changed.wait_for(lk, std::chrono::milliseconds(timeoutMs), moved);
    }
    generation = c.generation;
    return changed;
}

void WakeWaiters()
{
    detail::notifyChange();
}

bool HasXServer()
{
    return detail::x11() != nullptr;
}

void Shutdown()
{
    detail::shutdownX11();
    detail::notifyChange();
}

} // namespace kivo::desktop

using namespace kivo::desktop::detail;

namespace
{

std::string hex(std::uintptr_t value)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(value));
    return buf;
}

std::string hex(HWND hwnd)
{
    return hex(reinterpret_cast<std::uintptr_t>(hwnd));
}

// X windows are XIDs, which have 29 significant bits.
bool isXid(HWND hwnd, std::uint32_t& xid)
{
    const auto v = reinterpret_cast<std::uintptr_t>(hwnd);
    if (v == 0 || v > 0xFFFFFFFFu)
        return false;
    xid = static_cast<std::uint32_t>(v);
    return true;
}

// What one enumeration found on the X server: the windows and their titles,
// fetched in a few round trips. Every enumeration, from any thread, reuses it
// until the change count moves on: nothing it shows can have changed unseen
// before that (a change's event moves the count once it has been read).
struct XPass {
    const void* server = nullptr;
    unsigned generation = 0;
    std::vector<std::uint32_t> windows;
    std::unordered_map<std::uint32_t, PrefetchedTitle> titles;
};

struct LastPass {
    std::mutex lock;
    std::shared_ptr<const XPass> pass;
};

LastPass& lastPass()
{
    static auto* p = new LastPass; // read by threads that may outlive main()
    return *p;
}

std::shared_ptr<const XPass> xPass(X11Desktop& x)
{
    const unsigned generation = kivo::desktop::WindowGeneration();
    LastPass& last = lastPass();
    {
        std::lock_guard g(last.lock);
        if (last.pass && last.pass->server == &x && last.pass->generation == generation)
            return last.pass;
    }
    auto pass = std::make_shared<XPass>();
    pass->server = &x;
    pass->generation = generation;
    pass->windows = x11Windows(x);
    pass->titles = x11Titles(x, pass->windows);
    std::lock_guard g(last.lock);
    last.pass = pass;
    return pass;
}

// The titles of the enumeration running on this thread, for the
// GetWindowTextA calls of its callback.
thread_local const std::unordered_map<std::uint32_t, PrefetchedTitle>* t_titles = nullptr;

} // namespace

namespace trace = kivo::trace;

BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam)
{
    std::vector<HWND> windows;
    std::shared_ptr<const XPass> pass;
    if (proc) {
        const auto x = x11();
        // Own windows drawn on an X server are its clients, unless the layer
        // has no connection to it.
        if (ownListed() || !x) {
            for (const OwnWindow& w : ownWindows())
                windows.push_back(w.hwnd);
        }
        if (x) {
            pass = xPass(*x);
            for (std::uint32_t xid : pass->windows)
                windows.push_back(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(xid)));
        }
    }
    // One line per enumeration, not per window: the watch threads enumerate
    // on every change of the desktop.
    if (trace::enabled())
        trace::line("EnumWindows(proc=" + hex(reinterpret_cast<std::uintptr_t>(proc)) +
                    ", lParam=" + hex(static_cast<std::uintptr_t>(lParam)) + ") " +
                    std::to_string(windows.size()) + " windows");
    if (!proc)
        return FALSE;
    struct Prefetch {
        const std::unordered_map<std::uint32_t, PrefetchedTitle>* outer = t_titles;
        ~Prefetch() { t_titles = outer; }
    } restore;
    t_titles = pass ? &pass->titles : nullptr;
    for (HWND h : windows) {
        if (!proc(h, lParam))
            return FALSE;
    }
    return TRUE;
}

INT GetWindowTextA(HWND hwnd, LPSTR buffer, INT maxCount)
{
    INT copied = 0;
    if (buffer && maxCount > 0) {
        const auto room = static_cast<std::size_t>(maxCount - 1);
        std::string title;
        OwnWindow own;
        std::uint32_t xid = 0;
        if (ownWindow(hwnd, own)) {
            title = std::move(own.title);
        } else if (isXid(hwnd, xid)) {
            bool fetched = false;
            if (t_titles) {
                const auto ahead = t_titles->find(xid);
                fetched = ahead != t_titles->end() &&
                          (ahead->second.complete || ahead->second.title.size() >= room);
                if (fetched)
                    title = ahead->second.title;
            }
            if (!fetched) {
                if (auto x = x11())
                    x11Title(*x, xid, room, title);
            }
        }
        // A title with a zero byte in it ends there, as a C string does.
        title.resize(std::min({title.size(), room, std::strlen(title.c_str())}));
        std::memcpy(buffer, title.data(), title.size());
        buffer[title.size()] = '\0';
        copied = static_cast<INT>(title.size());
    }
    if (trace::enabled())
        trace::line("GetWindowTextA(hwnd=" + hex(hwnd) + ", max=" + std::to_string(maxCount) +
                    ") = " + std::to_string(copied) +
                    (copied > 0 ? " " + trace::quote(std::string_view(buffer, copied)) : ""));
    return copied;
}

BOOL IsWindowVisible(HWND hwnd)
{
    BOOL visible = FALSE;
    OwnWindow own;
    std::uint32_t xid = 0;
    if (ownWindow(hwnd, own)) {
        visible = own.visible;
    } else if (isXid(hwnd, xid)) {
        if (auto x = x11())
            visible = x11Visible(*x, xid) > 0;
    }
    if (trace::enabled())
        trace::line("IsWindowVisible(hwnd=" + hex(hwnd) + ") = " + std::to_string(visible));
    return visible;
}

BOOL ShowWindow(HWND hwnd, INT cmdShow)
{
    int before = ownShow(hwnd, cmdShow);
    std::uint32_t xid = 0;
    if (before < 0 && isXid(hwnd, xid)) {
        if (auto x = x11())
            before = x11Show(*x, xid, cmdShow);
    }
    const BOOL result = before > 0;
    if (trace::enabled())
        trace::line("ShowWindow(hwnd=" + hex(hwnd) + ", cmd=" + std::to_string(cmdShow) +
                    ") = " + std::to_string(result));
    return result;
}
