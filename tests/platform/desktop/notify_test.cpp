// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Shell_NotifyIconA: the add/modify/delete rules, the mouse messages that
// come back, and the handle values of the 32-bit record.
#include "platform/desktop/notify.h"
#include "platform/system/system.h"
#include "tests/support/testsupport.h"
#include "tests/support/tracecapture.h"

#include <QPixmap>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

using kivo::notify::MouseAction;
using kivo::test::TraceCapture;
using kivo::test::waitUntil;

namespace
{

constexpr UINT kCallback = WM_USER + 1;

struct Message {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Message&) const = default;
};

// A hidden window that records what reaches it.
class Window
{
  public:
    Window()
        : hwnd(kivo::sys::AllocateHWnd([this](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
              got.push_back({m, w, l});
              return 0;
          }))
    {
    }
    ~Window() { kivo::sys::DeallocateHWnd(hwnd); }
    HWND hwnd;
    std::vector<Message> got;
};

NOTIFYICONDATAA record(HWND hwnd, UINT id, UINT flags, const char* tip = "", HICON icon = nullptr)
{
    NOTIFYICONDATAA d{};
    d.cbSize = sizeof d;
    d.hWnd = kivo::notify::HandleToValue(hwnd);
    d.uID = id;
    d.uFlags = flags;
    d.uCallbackMessage = kCallback;
    d.hIcon = kivo::notify::HandleToValue(icon);
    std::strncpy(d.szTip, tip, sizeof d.szTip - 1);
    return d;
}

QIcon redIcon()
{
    QPixmap p(16, 16);
    p.fill(Qt::red);
    return QIcon(p);
}

} // namespace

TEST(NotifyIcon, AddModifyDeleteFollowTheShellsRules)
{
    TraceCapture trace;
    Window w;
    const UINT all = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    auto d = record(w.hwnd, 3, all, "first");

    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &d)) << "nothing to modify yet";
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &d)) << "nothing to delete yet";
    EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &d));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &d)) << "one icon per (window, identifier)";
    auto other = record(w.hwnd, 4, all, "second");
    EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &other)) << "another identifier is another icon";

    auto icons = kivo::notify::Icons();
    ASSERT_EQ(icons.size(), 2u);
    EXPECT_EQ(icons[0].hwnd, w.hwnd);
    EXPECT_EQ(icons[0].id, 3u);
    EXPECT_EQ(icons[0].tip, "first");
    EXPECT_EQ(icons[0].callbackMessage, kCallback);
    EXPECT_FALSE(icons[0].hasIcon);

    // A modify changes only what its flags name.
    HICON red = kivo::notify::CreateIconHandle(redIcon());
    auto tipOnly = record(w.hwnd, 3, NIF_TIP, "changed", red);
    tipOnly.uCallbackMessage = 0;
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &tipOnly));
    icons = kivo::notify::Icons();
    EXPECT_EQ(icons[0].tip, "changed");
    EXPECT_FALSE(icons[0].hasIcon);
    EXPECT_EQ(icons[0].callbackMessage, kCallback);
    auto iconOnly = record(w.hwnd, 3, NIF_ICON, "ignored", red);
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &iconOnly));
    // The shell keeps its own copy: freeing the handle leaves the icon shown.
    EXPECT_TRUE(DestroyIcon(red));
    EXPECT_FALSE(DestroyIcon(red));
    icons = kivo::notify::Icons();
    EXPECT_EQ(icons[0].tip, "changed");
    EXPECT_TRUE(icons[0].hasIcon);

    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &d));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &d));
    ASSERT_EQ(kivo::notify::Icons().size(), 1u);
    EXPECT_EQ(kivo::notify::Icons()[0].id, 4u);
    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &other));
    EXPECT_TRUE(kivo::notify::Icons().empty());

    // Every call is in the trace with its record and result.
    EXPECT_EQ(trace.count("Shell_NotifyIconA(NIM_ADD,"), 3);
    EXPECT_EQ(trace.count("Shell_NotifyIconA(NIM_MODIFY,"), 3);
    EXPECT_EQ(trace.count("Shell_NotifyIconA(NIM_DELETE,"), 4);
    EXPECT_TRUE(trace.anyLineHas("NIM_ADD, hWnd=0x", "uID=3, uFlags=0x7, uCallbackMessage=0x401, hIcon=0x0, "
                                                     "szTip=\"first\") = 1"));
    EXPECT_TRUE(trace.anyLineHas("NIM_ADD,", "= 0 [already there]"));
}

TEST(NotifyIcon, BadRecordsAreRefused)
{
    TraceCapture trace;
    Window w;
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, nullptr));
    EXPECT_EQ(trace.last(), "Shell_NotifyIconA(NIM_ADD, NULL) = 0 [bad record]");

    auto d = record(w.hwnd, 1, NIF_TIP, "x");
    d.cbSize = 100;
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &d));
    d.cbSize = sizeof d;
    d.hWnd = 0;
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &d));
    d.hWnd = 0x7fffffff;
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &d)) << "a window value nobody was given";
    d = record(w.hwnd, 1, NIF_TIP, "x");
    EXPECT_FALSE(Shell_NotifyIconA(7, &d));

    BOOL fromThread = TRUE;
    std::thread([&] { fromThread = Shell_NotifyIconA(NIM_ADD, &d); }).join();
    EXPECT_FALSE(fromThread) << "the tray lives on the GUI thread";
    EXPECT_TRUE(kivo::notify::Icons().empty());

    // A tip that fills the field without its zero: 63 bytes count.
    std::memset(d.szTip, 'a', sizeof d.szTip);
    EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &d));
    EXPECT_EQ(kivo::notify::Icons().at(0).tip, std::string(63, 'a'));
    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &d));
}

TEST(NotifyIcon, MouseActionsComeBackAsTheCallbackMessage)
{
    Window w;
    auto d = record(w.hwnd, 9, NIF_MESSAGE | NIF_TIP, "tip");
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &d));

    auto expectAfter = [&](MouseAction a, std::vector<LPARAM> mouse) {
        w.got.clear();
        ASSERT_TRUE(kivo::notify::SimulateMouse(w.hwnd, 9, a));
        EXPECT_TRUE(w.got.empty()) << "messages are posted, not sent";
        ASSERT_TRUE(waitUntil([&] { return w.got.size() >= mouse.size(); }));
        waitUntil([] { return false; }, 30); // nothing more may follow
        std::vector<Message> want;
        for (LPARAM m : mouse)
            want.push_back({kCallback, 9, m});
        EXPECT_EQ(w.got, want);
    };
    expectAfter(MouseAction::Click, {WM_LBUTTONUP});
    expectAfter(MouseAction::DoubleClick, {WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP});
    expectAfter(MouseAction::ContextRequest, {WM_RBUTTONUP});
    expectAfter(MouseAction::MiddleClick, {WM_MBUTTONUP});

    EXPECT_FALSE(kivo::notify::SimulateMouse(w.hwnd, 8, MouseAction::Click)) << "no such icon";

    // Without NIF_MESSAGE the icon reports nothing.
    auto silent = record(w.hwnd, 10, NIF_TIP, "silent");
    silent.uCallbackMessage = 0;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &silent));
    w.got.clear();
    ASSERT_TRUE(kivo::notify::SimulateMouse(w.hwnd, 10, MouseAction::Click));
    waitUntil([] { return false; }, 30);
    EXPECT_TRUE(w.got.empty());

    // A deleted icon takes no more clicks.
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &d));
    EXPECT_FALSE(kivo::notify::SimulateMouse(w.hwnd, 9, MouseAction::Click));
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &silent));
}

TEST(NotifyIcon, IconOfAVanishedWindowGoesAtTheNextClick)
{
    auto* w = new Window;
    const HWND hwnd = w->hwnd;
    auto d = record(hwnd, 1, NIF_MESSAGE, "orphan");
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &d));
    delete w;
    ASSERT_EQ(kivo::notify::Icons().size(), 1u) << "nobody told the shell yet";
    EXPECT_TRUE(kivo::notify::SimulateMouse(hwnd, 1, MouseAction::Click));
    EXPECT_TRUE(kivo::notify::Icons().empty());
}

TEST(NotifyIcon, WithoutANotificationAreaCallsSucceedAndAreRemembered)
{
    // The offscreen platform has no notification area, like GNOME without
    // the AppIndicator extension.
    ASSERT_FALSE(kivo::notify::TrayAvailable());
    TraceCapture trace;
    Window w;
    auto d = record(w.hwnd, 1, NIF_MESSAGE | NIF_TIP, "waiting");
    EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &d));
    EXPECT_NE(trace.last().find("= 1 [no notification area"), std::string::npos) << trace.last();
    auto icons = kivo::notify::Icons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].tip, "waiting");
    EXPECT_FALSE(icons[0].visible);
    // Still reachable from the code side: clicks are delivered all the same.
    ASSERT_TRUE(kivo::notify::SimulateMouse(w.hwnd, 1, MouseAction::Click));
    EXPECT_TRUE(waitUntil([&] { return !w.got.empty(); }));
    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &d));
}

TEST(NotifyIcon, HandleValuesFitTheRecordAndComeBack)
{
    Window a, b;
    const DWORD va = kivo::notify::HandleToValue(a.hwnd);
    EXPECT_NE(va, 0u);
    EXPECT_EQ(kivo::notify::HandleToValue(a.hwnd), va) << "a window keeps its value";
    EXPECT_NE(kivo::notify::HandleToValue(b.hwnd), va);
    EXPECT_EQ(kivo::notify::WindowFromValue(va), a.hwnd);
    EXPECT_EQ(kivo::notify::HandleToValue(HWND(nullptr)), 0u);
    EXPECT_EQ(kivo::notify::WindowFromValue(0), nullptr);

    EXPECT_EQ(kivo::notify::CreateIconHandle(QIcon()), nullptr);
    HICON i = kivo::notify::CreateIconHandle(redIcon());
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(kivo::notify::IconFromValue(kivo::notify::HandleToValue(i)), i);
    EXPECT_EQ(kivo::notify::IconOf(i).pixmap(16, 16).toImage().pixelColor(3, 3), QColor(Qt::red));
    EXPECT_TRUE(DestroyIcon(i));
    EXPECT_TRUE(kivo::notify::IconOf(i).isNull());
}
