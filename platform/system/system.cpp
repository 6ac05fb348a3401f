// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Hidden utility windows, posted messages, window message numbers, the tick
// count and the cursor position.
#include "platform/system/system.h"

#include "platform/system/trace.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

// Hidden-window handles live in a range of their own so that they can never
// be mistaken for a desktop (X11) window id, which fits in 32 bits.
constexpr std::uintptr_t kHiddenBase = std::uintptr_t(0x7EED) << 32;

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class MessageEvent : public QEvent {
public:
    MessageEvent(UINT m, WPARAM w, LPARAM l) : QEvent(kMessageEvent), msg(m), wParam(w), lParam(l) {}
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

class HiddenWindow : public QObject {
public:
    HiddenWindow(HWND h, WindowHandler fn) : hwnd(h), handler(std::move(fn)) {}
    bool event(QEvent* e) override
    {
        if (e->type() != kMessageEvent)
            return QObject::event(e);
        if (dead)
            return true;
        auto* m = static_cast<MessageEvent*>(e);
        // A handler may release its own window (a tray click that frees its
        // icon, a dial event whose handler hangs up): the window then only
        // dies after the outermost dispatch has returned.
        ++dispatching;
        handler(hwnd, m->msg, m->wParam, m->lParam);
        --dispatching;
        return true;
    }
    HWND hwnd;
    WindowHandler handler;
    int dispatching = 0;
    bool dead = false;
};

struct Registry {
    std::mutex lock;
    std::unordered_map<std::uintptr_t, HiddenWindow*> windows;
    std::uintptr_t next = 1;
};

Registry& registry()
{
    static Registry r;
    return r;
}

}  // namespace

namespace kivo::sys {

HWND AllocateHWnd(WindowHandler handler)
{
    Registry& r = registry();
    std::lock_guard g(r.lock);
    HWND h = reinterpret_cast<HWND>(kHiddenBase + r.next++);
    r.windows[reinterpret_cast<std::uintptr_t>(h)] = new HiddenWindow(h, std::move(handler));
    return h;
}

void DeallocateHWnd(HWND hwnd)
{
    if (!hwnd)
        return;
    HiddenWindow* w = nullptr;
    {
        Registry& r = registry();
        std::lock_guard g(r.lock);
        auto it = r.windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
        if (it == r.windows.end())
            return;
        w = it->second;
        r.windows.erase(it);
    }
    // Deleting the object also discards the events still posted to it.
    if (w->dispatching > 0) {
        w->dead = true;
        w->deleteLater();
    } else {
        delete w;
    }
}

bool IsHiddenWindow(HWND hwnd)
{
    Registry& r = registry();
    std::lock_guard g(r.lock);
    return r.windows.count(reinterpret_cast<std::uintptr_t>(hwnd)) != 0;
}

LRESULT DispatchNow(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    HiddenWindow* w = nullptr;
    {
        Registry& r = registry();
        std::lock_guard g(r.lock);
        auto it = r.windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
        if (it == r.windows.end())
            return 0;
        w = it->second;
    }
    ++w->dispatching;
    LRESULT result = w->handler(hwnd, msg, wParam, lParam);
    --w->dispatching;
    return result;
}

}  // namespace kivo::sys

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Registry& r = registry();
    std::lock_guard g(r.lock);
    auto it = r.windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
    if (it == r.windows.end())
        return FALSE;
    // postEvent is thread-safe; holding the registry lock keeps the window
    // from being deleted on its own thread while we post.
    QCoreApplication::postEvent(it->second, new MessageEvent(msg, wParam, lParam));
    return TRUE;
}

LRESULT DefWindowProcA(HWND, UINT msg, WPARAM, LPARAM)
{
    if (msg == WM_QUERYENDSESSION)
        return TRUE;
    return 0;
}

UINT RegisterWindowMessageA(LPCSTR name)
{
    UINT result = 0;
    if (name && *name) {
        static std::mutex lock;
        static std::map<std::string, UINT> numbers;
        static UINT next = 0xC000;
        std::string key(name);
        for (char& c : key)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::lock_guard g(lock);
        auto it = numbers.find(key);
        if (it != numbers.end()) {
            result = it->second;
        } else if (next <= 0xFFFF) {
            result = next++;
            numbers.emplace(key, result);
        }
    }
    if (kivo::trace::enabled())
        kivo::trace::line("RegisterWindowMessageA(" + kivo::trace::quote(name) + ") = " + std::to_string(result));
    return result;
}

DWORD GetTickCount()
{
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<DWORD>(static_cast<std::uint64_t>(ms));
}

BOOL GetCursorPos(LPPOINT point)
{
    if (!point)
        return FALSE;
    const QPoint p = QCursor::pos();
    point->x = p.x();
    point->y = p.y();
    return TRUE;
}
