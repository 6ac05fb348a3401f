// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The process's own top-level windows, for the worker threads.
//
// Qt's window list may only be read on the GUI thread, so that thread keeps
// a snapshot (handle, title, visibility) under a mutex, renewed whenever a
// window appears, is shown or hidden, renamed or destroyed; any thread reads
// the snapshot.
#include "platform/desktop/desktop.h"
#include "platform/desktop/desktop_internal.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPointer>
#include <QSet>
#include <QThread>
#include <QVariant>
#include <QWindow>

#include <atomic>
#include <map>
#include <mutex>

namespace kivo::desktop::detail
{
namespace
{

// Handles of own windows under a platform other than xcb: a range that no
// XID and no hidden utility window uses.
constexpr std::uintptr_t kOwnBase = std::uintptr_t(0x7E0D) << 32;
constexpr const char* kHandleProperty = "_kivo_hwnd";

struct OwnState {
    std::mutex lock;
    std::vector<OwnWindow> windows;
    // Visibility asked for by ShowWindow from another thread and not yet
    // carried out on the GUI thread: the snapshot shows it meanwhile.
    std::map<HWND, bool> pending;
    bool listed = false;
};

OwnState& own()
{
    static auto* s = new OwnState; // read by threads that may outlive main()
    return *s;
}

bool onXcb()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// Popups and tooltips are not top-level windows a desktop would list.
bool listable(const QWindow* w)
{
    switch (w->type()) {
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::Desktop:
    case Qt::ForeignWindow:
        return false;
    default:
        return true;
    }
}

// Under xcb a window's handle is its XID, so that the X side and this side
// agree; only windows that exist on the server have one. Elsewhere every
// window gets a serial number of its own on first sight.
HWND handleOf(QWindow* w, bool create)
{
    if (onXcb()) {
        if (!w->handle() && !create)
            return nullptr;
        return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(w->winId()));
    }
    QVariant v = w->property(kHandleProperty);
    if (!v.isValid()) {
        static std::atomic<std::uintptr_t> serial{0};
        v = QVariant::fromValue<qulonglong>(kOwnBase + ++serial);
        w->setProperty(kHandleProperty, v);
    }
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(v.toULongLong()));
}

class Tracker : public QObject
{
  public:
    explicit Tracker(QObject* parent) : QObject(parent) { scheduleRefresh(); }
    ~Tracker() override
    {
        OwnState& s = own();
        std::lock_guard g(s.lock);
        s.windows.clear();
        s.listed = false;
    }

    // A window's Show event comes after its native window exists and before
    // it is mapped: renewing the snapshot here, at once, means no other
    // thread finds the window on the X server before it is known as ours.
    bool eventFilter(QObject* obj, QEvent* e) override
    {
        if (obj->isWindowType()) {
            switch (e->type()) {
            case QEvent::Show:
            case QEvent::Hide:
            case QEvent::PlatformSurface:
                refresh();
                break;
            case QEvent::WindowStateChange:
                scheduleRefresh();
                break;
            default:
                break;
            }
        }
        return false;
    }

    void scheduleRefresh()
    {
        if (m_scheduled)
            return;
        m_scheduled = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_scheduled = false;
                refresh();
            },
            Qt::QueuedConnection);
    }

    // Signals arrive after the window's state has changed, so they renew the
    // snapshot at once; a waiting thread sees the window in its new state.
    void track(QWindow* w)
    {
        if (m_tracked.contains(w))
            return;
        m_tracked.insert(w);
        connect(w, &QWindow::visibleChanged, this, &Tracker::refresh);
        connect(w, &QWindow::windowTitleChanged, this, &Tracker::refresh);
        connect(w, &QObject::destroyed, this, [this, w] {
            m_tracked.remove(w);
            scheduleRefresh();
        });
    }

    void refresh()
    {
        const bool xcb = onXcb();
        std::vector<OwnWindow> now;
        for (QWindow* w : QGuiApplication::topLevelWindows()) {
            if (!listable(w))
                continue;
            HWND h = handleOf(w, !xcb);
            if (!h)
                continue;
            track(w);
            now.push_back({h, w->title().toStdString(), w->isVisible()});
        }
        bool changed;
        {
            OwnState& s = own();
            std::lock_guard g(s.lock);
            for (OwnWindow& w : now) {
                auto it = s.pending.find(w.hwnd);
                if (it != s.pending.end())
                    w.visible = it->second;
            }
            changed = now != s.windows || s.listed == xcb;
            s.windows = std::move(now);
            s.listed = !xcb;
        }
        if (changed)
            notifyChange();
    }

  private:
    bool m_scheduled = false;
    QSet<QWindow*> m_tracked;
};

QPointer<Tracker>& tracker()
{
    static QPointer<Tracker> t;
    return t;
}

void installTracker()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    auto* t = new Tracker(app);
    app->installEventFilter(t);
    tracker() = t;
}

void apply(HWND hwnd, int cmdShow)
{
    QWindow* w = windowOfHwnd(hwnd);
    {
        OwnState& s = own();
        std::lock_guard g(s.lock);
        s.pending.erase(hwnd);
    }
    if (w) {
        switch (cmdShow) {
        case SW_HIDE:
            w->hide();
            break;
        case SW_SHOW:
        case SW_SHOWNA:
        case SW_SHOWNOACTIVATE:
            w->setVisible(true);
            break;
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
        case SW_SHOWMINNOACTIVE:
        case SW_FORCEMINIMIZE:
            w->showMinimized();
            break;
        case SW_SHOWMAXIMIZED:
            w->showMaximized();
            break;
        default:
            w->showNormal();
            break;
        }
    }
    if (Tracker* t = tracker())
        t->refresh();
}

} // namespace

// Installed while the application object is built, on its thread, so that
// no window is created unseen.
Q_COREAPP_STARTUP_FUNCTION(installTracker)

bool ownListed()
{
    OwnState& s = own();
    std::lock_guard g(s.lock);
    return s.listed;
}

std::vector<OwnWindow> ownWindows()
{
    OwnState& s = own();
    std::lock_guard g(s.lock);
    return s.windows;
}

bool ownWindow(HWND hwnd, OwnWindow& window)
{
    if (!hwnd)
        return false;
    OwnState& s = own();
    std::lock_guard g(s.lock);
    for (const OwnWindow& w : s.windows) {
        if (w.hwnd == hwnd) {
            window = w;
            return true;
        }
    }
    return false;
}

int ownShow(HWND hwnd, int cmdShow)
{
    int before = -1;
    {
        OwnState& s = own();
        std::lock_guard g(s.lock);
        for (OwnWindow& w : s.windows) {
            if (w.hwnd == hwnd) {
                before = w.visible ? 1 : 0;
                w.visible = cmdShow != SW_HIDE;
                s.pending[hwnd] = w.visible;
                break;
            }
        }
    }
    if (before < 0)
        return before;
    notifyChange();
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        apply(hwnd, cmdShow);
    else if (app)
        // Queued, never blocking: the GUI thread may itself be waiting for
        // the calling thread to end.
        QMetaObject::invokeMethod(
            app, [hwnd, cmdShow] { apply(hwnd, cmdShow); }, Qt::QueuedConnection);
    return before;
}

} // namespace kivo::desktop::detail

namespace kivo::desktop
{

HWND hwndOfWindow(QWindow* window)
{
    return window ? detail::handleOf(window, true) : nullptr;
}

QWindow* windowOfHwnd(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    for (QWindow* w : QGuiApplication::topLevelWindows()) {
        if (detail::handleOf(w, false) == hwnd)
            return w;
    }
    return nullptr;
}

} // namespace kivo::desktop
