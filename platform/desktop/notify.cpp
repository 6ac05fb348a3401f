// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Shell_NotifyIconA over QSystemTrayIcon, and the icon and window handle
// tables behind the record's 32-bit fields.
#include "platform/desktop/notify.h"

#include "platform/system/system.h"
#include "platform/system/trace.h"

#include <QApplication>
#include <QPixmap>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace
{

// Handle values start well above 0 so that a stray small integer (an
// identifier, a message number) is never taken for a handle.
constexpr DWORD kFirstValue = 0x00010000;

struct HandleTables {
    std::mutex lock;
    std::unordered_map<std::uintptr_t, DWORD> windowValues;
    std::unordered_map<DWORD, HWND> windows;
    DWORD nextWindow = kFirstValue;
    std::unordered_map<DWORD, QIcon> icons;
    DWORD nextIcon = kFirstValue;
};

HandleTables& handles()
{
    static HandleTables t;
    return t;
}

// ---- the icons in the notification area (GUI thread only) ---------------

struct Entry {
    HWND hwnd = nullptr;
    UINT id = 0;
    UINT callback = 0;
    QIcon icon;
    bool hasIcon = false;
    std::string tip;
    QPointer<QSystemTrayIcon> tray;
};

std::vector<std::unique_ptr<Entry>>& entries()
{
    static std::vector<std::unique_ptr<Entry>> list;
    return list;
}

Entry* find(HWND hwnd, UINT id)
{
    for (auto& e : entries())
        if (e->hwnd == hwnd && e->id == id)
            return e.get();
    return nullptr;
}

void remove(HWND hwnd, UINT id)
{
    auto& list = entries();
    auto it = std::find_if(list.begin(), list.end(), [&](auto& e) { return e->hwnd == hwnd && e->id == id; });
    if (it == list.end())
        return;
    // deleteLater: the removal may come from inside this tray's own signal.
    if ((*it)->tray) {
        (*it)->tray->hide();
        (*it)->tray->deleteLater();
    }
    list.erase(it);
}

// A notification area shows nothing for a null image, so an icon without
// one gets a transparent square: the user still has something to click.
QIcon blankIcon()
{
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    return QIcon(p);
}

void show(Entry& e)
{
    e.tray->setIcon(e.hasIcon ? e.icon : blankIcon());
    e.tray->setToolTip(QString::fromLocal8Bit(e.tip.c_str()));
}

// The messages Windows posts for a gesture. Qt reports a double click as
// Trigger (the first click) followed by DoubleClick (the second), so the
// whole gesture becomes release, double click, release as on Windows.
std::vector<UINT> mouseMessagesFor(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return {WM_LBUTTONUP};
    case QSystemTrayIcon::DoubleClick:
        return {WM_LBUTTONDBLCLK, WM_LBUTTONUP};
    case QSystemTrayIcon::Context:
        return {WM_RBUTTONUP};
    case QSystemTrayIcon::MiddleClick:
        return {WM_MBUTTONUP};
    default:
        return {};
    }
}

// Where real and simulated mouse actions meet.
void activated(HWND hwnd, UINT id, QSystemTrayIcon::ActivationReason reason)
{
    Entry* e = find(hwnd, id);
    if (!e || e->callback == 0)
        return;
    for (UINT mouse : mouseMessagesFor(reason)) {
        if (!PostMessageA(hwnd, e->callback, id, static_cast<LPARAM>(mouse))) {
            // Its window is gone, so nobody will ever remove the icon:
            // drop it, as the Windows shell does when such an icon is touched.
            remove(hwnd, id);
            return;
        }
    }
}

std::string hex(std::uint64_t v)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

std::string messageName(DWORD m)
{
    switch (m) {
    case NIM_ADD:
        return "NIM_ADD";
    case NIM_MODIFY:
        return "NIM_MODIFY";
    case NIM_DELETE:
        return "NIM_DELETE";
    default:
        return hex(m);
    }
}

std::string tipOf(const NOTIFYICONDATAA& d)
{
    return std::string(d.szTip, strnlen(d.szTip, sizeof d.szTip - 1));
}

bool onGuiThread()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

BOOL notifyIcon(DWORD message, const NOTIFYICONDATAA* d, std::string& note)
{
    if (!d || d->cbSize != sizeof(NOTIFYICONDATAA)) {
        note = "bad record";
        return FALSE;
    }
    if (!onGuiThread()) {
        note = "not called on the GUI thread";
        return FALSE;
    }
    HWND hwnd = kivo::notify::WindowFromValue(d->hWnd);
    if (!hwnd) {
        note = "no such window";
        return FALSE;
    }
    Entry* e = find(hwnd, d->uID);
    switch (message) {
    case NIM_ADD: {
        if (e) {
            note = "already there";
            return FALSE;
        }
        auto fresh = std::make_unique<Entry>();
        fresh->hwnd = hwnd;
        fresh->id = d->uID;
        fresh->tray = new QSystemTrayIcon(QCoreApplication::instance());
        const UINT id = d->uID;
        QObject::connect(fresh->tray, &QSystemTrayIcon::activated, fresh->tray,
                         [hwnd, id](QSystemTrayIcon::ActivationReason r) { activated(hwnd, id, r); });
        e = fresh.get();
        entries().push_back(std::move(fresh));
        break;
    }
    case NIM_MODIFY:
    case NIM_DELETE:
        if (!e) {
            note = "no such icon";
            return FALSE;
        }
        if (message == NIM_DELETE) {
            remove(hwnd, d->uID);
            return TRUE;
        }
        break;
    default:
        note = "unknown message";
        return FALSE;
    }
    if (d->uFlags & NIF_MESSAGE)
        e->callback = d->uCallbackMessage;
    if (d->uFlags & NIF_ICON) {
        e->icon = kivo::notify::IconOf(kivo::notify::IconFromValue(d->hIcon));
        e->hasIcon = !e->icon.isNull();
    }
    if (d->uFlags & NIF_TIP)
        e->tip = tipOf(*d);
    show(*e);
    // Shown even without a notification area: Qt puts the icon up by
    // itself if one appears later. Platforms without a desktop (offscreen,
    // minimal) can never grow one, and Qt complains when asked.
    const QString platform = QGuiApplication::platformName();
    if (platform != "offscreen" && platform != "minimal")
        e->tray->show();
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        note = "no notification area: kept until one appears";
    return TRUE;
}

} // namespace

BOOL Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData)
{
    std::string note;
    const BOOL result = notifyIcon(dwMessage, lpData, note);
    if (kivo::trace::enabled()) {
        std::string l = "Shell_NotifyIconA(" + messageName(dwMessage);
        if (lpData)
            l += ", hWnd=" + hex(lpData->hWnd) + ", uID=" + std::to_string(lpData->uID) +
                 ", uFlags=" + hex(lpData->uFlags) + ", uCallbackMessage=" + hex(lpData->uCallbackMessage) +
                 ", hIcon=" + hex(lpData->hIcon) + ", szTip=" + kivo::trace::quote(tipOf(*lpData));
        else
            l += ", NULL";
        l += ") = " + std::to_string(result);
        if (!note.empty())
            l += " [" + note + "]";
        kivo::trace::line(l);
    }
    return result;
}

BOOL DestroyIcon(HICON hIcon)
{
    BOOL result = FALSE;
    const DWORD value = kivo::notify::HandleToValue(hIcon);
    {
        HandleTables& t = handles();
        std::lock_guard g(t.lock);
        result = t.icons.erase(value) ? TRUE : FALSE;
    }
    if (kivo::trace::enabled())
        kivo::trace::line("DestroyIcon(" + hex(value) + ") = " + std::to_string(result));
    return result;
}

namespace kivo::notify
{

HICON CreateIconHandle(const QIcon& icon)
{
    if (icon.isNull())
        return nullptr;
    HandleTables& t = handles();
    std::lock_guard g(t.lock);
    const DWORD value = t.nextIcon++;
    t.icons.emplace(value, icon);
    return IconFromValue(value);
}

QIcon IconOf(HICON icon)
{
    HandleTables& t = handles();
    std::lock_guard g(t.lock);
    auto it = t.icons.find(HandleToValue(icon));
    return it == t.icons.end() ? QIcon() : it->second;
}

DWORD HandleToValue(HWND hwnd)
{
    if (!hwnd)
        return 0;
    HandleTables& t = handles();
    std::lock_guard g(t.lock);
    const auto key = reinterpret_cast<std::uintptr_t>(hwnd);
    auto it = t.windowValues.find(key);
    if (it != t.windowValues.end())
        return it->second;
    const DWORD value = t.nextWindow++;
    t.windowValues.emplace(key, value);
    t.windows.emplace(value, hwnd);
    return value;
}

HWND WindowFromValue(DWORD value)
{
    HandleTables& t = handles();
    std::lock_guard g(t.lock);
    auto it = t.windows.find(value);
    return it == t.windows.end() ? nullptr : it->second;
}

// Icon handles are made here and never leave 32 bits, so the value is the
// handle itself.
DWORD HandleToValue(HICON icon)
{
    return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(icon));
}

HICON IconFromValue(DWORD value)
{
    return reinterpret_cast<HICON>(static_cast<std::uintptr_t>(value));
}

bool TrayAvailable()
{
    return onGuiThread() && QSystemTrayIcon::isSystemTrayAvailable();
}

std::vector<TrayIconState> Icons()
{
    std::vector<TrayIconState> out;
    if (!onGuiThread())
        return out;
    const bool area = QSystemTrayIcon::isSystemTrayAvailable();
    for (auto& e : entries())
        out.push_back(
            {e->hwnd, e->id, e->callback, e->hasIcon, e->tip, area && e->tray && e->tray->isVisible()});
    return out;
}

bool SimulateMouse(HWND hwnd, UINT id, MouseAction action)
{
    Entry* e = onGuiThread() ? find(hwnd, id) : nullptr;
    if (!e || !e->tray)
        return false;
    // Emitting the tray's own signal takes the path a real click takes.
    QPointer<QSystemTrayIcon> tray = e->tray;
    switch (action) {
    case MouseAction::Click:
        emit tray->activated(QSystemTrayIcon::Trigger);
        break;
    case MouseAction::DoubleClick:
        emit tray->activated(QSystemTrayIcon::Trigger);
        if (tray)
            emit tray->activated(QSystemTrayIcon::DoubleClick);
        break;
    case MouseAction::ContextRequest:
        emit tray->activated(QSystemTrayIcon::Context);
        break;
    case MouseAction::MiddleClick:
        emit tray->activated(QSystemTrayIcon::MiddleClick);
        break;
    }
    return true;
}

} // namespace kivo::notify
