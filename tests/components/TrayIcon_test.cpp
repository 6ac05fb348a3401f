// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// TTrayIcon: when it talks to the notification area, what it hands over,
// and the events mouse actions become.
#include "components/TrayIcon.h"
#include "platform/system/system.h"
#include "tests/support/testsupport.h"
#include "tests/support/tracecapture.h"

#include <QCursor>
#include <QPixmap>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using kivo::notify::MouseAction;
using kivo::test::TraceCapture;
using kivo::test::waitUntil;

namespace
{

const char* const kAdd = "Shell_NotifyIconA(NIM_ADD,";
const char* const kModify = "Shell_NotifyIconA(NIM_MODIFY,";
const char* const kDelete = "Shell_NotifyIconA(NIM_DELETE,";

// Reaches the component's internals the way a form designer would.
class DesignedTrayIcon : public TTrayIcon
{
  public:
    DesignedTrayIcon() { setDesigning(true); }
};

QIcon filled(Qt::GlobalColor c)
{
    QPixmap p(16, 16);
    p.fill(c);
    return QIcon(p);
}

// What the notification area holds for this component, or null.
std::unique_ptr<kivo::notify::TrayIconState> shownFor(const TTrayIcon& t)
{
    for (auto& s : kivo::notify::Icons())
        if (s.hwnd == t.WindowHandle() && s.id == 0)
            return std::make_unique<kivo::notify::TrayIconState>(s);
    return nullptr;
}

// Events in the order they arrive.
struct EventLog {
    std::vector<std::string> events;
    void attach(TTrayIcon& t)
    {
        t.OnClick = [this, &t](QObject* s) { events.push_back(s == &t ? "click" : "click from a stranger"); };
        t.OnDblClick = [this, &t](QObject* s) {
            events.push_back(s == &t ? "dblclick" : "dblclick from a stranger");
        };
        t.OnRightClick = [this, &t](QObject* s, TMouseButton b, TShiftState shift, int x, int y) {
            events.push_back(std::string(s == &t ? "right" : "right from a stranger") +
                             (b == mbRight ? " mbRight" : " other button") + (shift ? " shift" : "") + " " +
                             std::to_string(x) + "," + std::to_string(y));
        };
    }
};

// Lets the posted callback messages arrive; a wait with a fixed end is
// needed to show that nothing (more) arrives.
void settle()
{
    waitUntil([] { return false; }, 50);
}

} // namespace

TEST(TrayIcon, ActiveAddsAndDeletesOnlyOnAChange)
{
    TraceCapture trace;
    TTrayIcon t;
    EXPECT_FALSE(t.Active());
    EXPECT_FALSE(shownFor(t)) << "construction shows nothing";
    t.setActive(false);
    EXPECT_TRUE(trace.lines().empty()) << "false when false sends nothing";

    t.setActive(true);
    t.setActive(true);
    EXPECT_EQ(trace.count(kAdd), 1);
    EXPECT_TRUE(shownFor(t));

    t.setActive(false);
    t.setActive(false);
    EXPECT_EQ(trace.count(kDelete), 1);
    EXPECT_FALSE(shownFor(t));
    EXPECT_EQ(trace.count(kModify), 0);

    t.setActive(true);
    EXPECT_EQ(trace.count(kAdd), 2) << "shown again after being hidden";
}

TEST(TrayIcon, IconDataIsRefilledFromTheCurrentState)
{
    TTrayIcon t;
    t.setToolTip("Connected to Office");
    t.setActive(true);
    const NOTIFYICONDATAA& d = t.IconData();
    EXPECT_EQ(d.cbSize, 88u);
    EXPECT_EQ(kivo::notify::WindowFromValue(d.hWnd), t.WindowHandle());
    EXPECT_TRUE(kivo::sys::IsHiddenWindow(t.WindowHandle()));
    EXPECT_EQ(d.uID, 0u);
    EXPECT_EQ(d.uFlags, 7u);
    EXPECT_EQ(d.uCallbackMessage, 0x401u);
    EXPECT_EQ(d.hIcon, 0u) << "no handle while the icon is empty";
    EXPECT_STREQ(d.szTip, "Connected to Office");

    t.setIcon(filled(Qt::green));
    EXPECT_NE(d.hIcon, 0u);
    EXPECT_EQ(
        kivo::notify::IconOf(kivo::notify::IconFromValue(d.hIcon)).pixmap(16, 16).toImage().pixelColor(1, 1),
        QColor(Qt::green));
    EXPECT_TRUE(shownFor(t)->hasIcon);

    t.setToolTip("");
    EXPECT_STREQ(d.szTip, "") << "the shorter text leaves nothing of the longer one";
    EXPECT_EQ(shownFor(t)->tip, "");
}

TEST(TrayIcon, ToolTipKeepsAtMost62Characters)
{
    TraceCapture trace;
    TTrayIcon t;
    const std::string seventy = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!@#$%^&*";
    ASSERT_EQ(seventy.size(), 70u);
    t.setToolTip(seventy);
    EXPECT_EQ(t.ToolTip(), seventy.substr(0, 62));
    EXPECT_EQ(trace.count("Shell_NotifyIconA"), 0) << "a change while hidden is only stored";

    t.setActive(true);
    EXPECT_EQ(shownFor(t)->tip, seventy.substr(0, 62)) << "the stored text goes out with the add";
    EXPECT_TRUE(trace.anyLineHas(kAdd, "szTip=\"" + seventy.substr(0, 62) + "\")"));

    const std::string sixtyTwo = seventy.substr(8);
    t.setToolTip(sixtyTwo);
    EXPECT_EQ(t.ToolTip(), sixtyTwo);
    EXPECT_EQ(shownFor(t)->tip, sixtyTwo);
    EXPECT_EQ(trace.count(kModify), 1) << "a change while shown goes out at once";

    // A cut never leaves half a character: "é" is two bytes in UTF-8, and
    // the 62nd byte is the first half of one here.
    const std::string accented = std::string(61, 'a') + "\xC3\xA9" + "bbbbbbb";
    t.setToolTip(accented);
    EXPECT_EQ(t.ToolTip(), std::string(61, 'a'));
    t.setToolTip(std::string(60, 'a') + "\xC3\xA9" + "bbbbbbb");
    EXPECT_EQ(t.ToolTip(), std::string(60, 'a') + "\xC3\xA9");
}

TEST(TrayIcon, IconChangesReachAShownIconOnly)
{
    TraceCapture trace;
    TTrayIcon t;
    t.setIcon(filled(Qt::red));
    EXPECT_EQ(trace.count("Shell_NotifyIconA"), 0);
    t.setActive(true);
    EXPECT_TRUE(shownFor(t)->hasIcon);

    trace.clear();
    t.setIcon(t.Icon());
    EXPECT_TRUE(trace.lines().empty()) << "assigning the owned icon to itself sends nothing";

    t.setIcon(filled(Qt::blue));
    EXPECT_EQ(trace.count(kModify), 1);
    // The old handle is given back when the image changes.
    EXPECT_EQ(trace.count("DestroyIcon("), 1);
    EXPECT_EQ(kivo::notify::IconOf(kivo::notify::IconFromValue(t.IconData().hIcon))
                  .pixmap(16, 16)
                  .toImage()
                  .pixelColor(1, 1),
              QColor(Qt::blue));

    // A copy is taken: changing the caller's object later changes nothing.
    QIcon mine = filled(Qt::yellow);
    t.setIcon(mine);
    mine = filled(Qt::black);
    EXPECT_EQ(t.Icon().pixmap(16, 16).toImage().pixelColor(1, 1), QColor(Qt::yellow));
}

TEST(TrayIcon, MouseActionsBecomeEvents)
{
    TTrayIcon t;
    EventLog log;
    log.attach(t);
    t.setActive(true);
    const HWND h = t.WindowHandle();

    QCursor::setPos(123, 45);
    ASSERT_TRUE(kivo::notify::SimulateMouse(h, 0, MouseAction::ContextRequest));
    ASSERT_TRUE(waitUntil([&] { return !log.events.empty(); }));
    settle();
    EXPECT_EQ(log.events, std::vector<std::string>({"right mbRight 123,45"}));

    log.events.clear();
    ASSERT_TRUE(kivo::notify::SimulateMouse(h, 0, MouseAction::DoubleClick));
    ASSERT_TRUE(waitUntil([&] { return log.events.size() >= 3; }));
    settle();
    EXPECT_EQ(log.events, std::vector<std::string>({"click", "dblclick", "click"}));

    log.events.clear();
    ASSERT_TRUE(kivo::notify::SimulateMouse(h, 0, MouseAction::Click));
    ASSERT_TRUE(kivo::notify::SimulateMouse(h, 0, MouseAction::MiddleClick));
    ASSERT_TRUE(waitUntil([&] { return !log.events.empty(); }));
    settle();
    EXPECT_EQ(log.events, std::vector<std::string>({"click"})) << "the middle button does nothing";

    // Presses, moves and right double clicks reach the handler and do nothing.
    log.events.clear();
    for (UINT m : {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MOUSEMOVE, WM_RBUTTONDBLCLK, WM_MBUTTONUP})
        EXPECT_EQ(t.WndProc(TTrayIcon::CallbackMessage, 0, static_cast<LPARAM>(m)), 0);
    EXPECT_TRUE(log.events.empty());
    // Other messages get the default handling: a log-off is never vetoed.
    EXPECT_EQ(t.WndProc(WM_QUERYENDSESSION, 0, 0), TRUE);
}

TEST(TrayIcon, WithoutHandlersMouseActionsDoNothing)
{
    TTrayIcon t;
    t.setActive(true);
    for (auto a : {MouseAction::Click, MouseAction::DoubleClick, MouseAction::ContextRequest})
        ASSERT_TRUE(kivo::notify::SimulateMouse(t.WindowHandle(), 0, a));
    settle();
    EXPECT_TRUE(shownFor(t)) << "and the icon stays";
}

TEST(TrayIcon, DestroyingRemovesAShownIconOnly)
{
    TraceCapture trace;
    HWND window = nullptr;
    {
        TTrayIcon t;
        t.setToolTip("hidden");
        window = t.WindowHandle();
    }
    EXPECT_EQ(trace.count("Shell_NotifyIconA"), 0) << "destroying an inactive one sends nothing";
    EXPECT_FALSE(kivo::sys::IsHiddenWindow(window)) << "the hidden window goes with the component";
    {
        TTrayIcon t;
        t.setActive(true);
        window = t.WindowHandle();
    }
    EXPECT_EQ(trace.count(kDelete), 1);
    EXPECT_TRUE(kivo::notify::Icons().empty());
    EXPECT_FALSE(kivo::sys::IsHiddenWindow(window));

    // A component owned by another object goes with its owner.
    auto* owner = new QObject;
    auto* owned = new TTrayIcon(owner);
    owned->setActive(true);
    delete owner;
    EXPECT_EQ(trace.count(kDelete), 2);
}

TEST(TrayIcon, ShowDesigningCountsOnlyInADesigner)
{
    TraceCapture trace;
    {
        TTrayIcon t;
        t.setShowDesigning(true);
        EXPECT_FALSE(t.ShowDesigning()) << "ignored at run time";
        EXPECT_EQ(trace.count("Shell_NotifyIconA"), 0);
    }
    {
        DesignedTrayIcon d;
        d.setActive(true);
        EXPECT_TRUE(d.Active()) << "stored";
        EXPECT_EQ(trace.count("Shell_NotifyIconA"), 0) << "but the designer shows nothing for it";
        d.setShowDesigning(true);
        d.setShowDesigning(true);
        EXPECT_EQ(trace.count(kAdd), 1);
        d.setToolTip("in the designer");
        EXPECT_EQ(trace.count(kModify), 1) << "updates still follow Active";
        d.setActive(false);
        d.setToolTip("not pushed");
        EXPECT_EQ(trace.count(kModify), 1);
        EXPECT_EQ(trace.count(kDelete), 0);
    }
    EXPECT_EQ(trace.count(kDelete), 1) << "the destructor removes what ShowDesigning showed";
}

TEST(TrayIcon, FailedAddLeavesTheStateAsIfItWorked)
{
    TTrayIcon t;
    // Someone else took the component's slot first.
    NOTIFYICONDATAA squat{};
    squat.cbSize = sizeof squat;
    squat.hWnd = kivo::notify::HandleToValue(t.WindowHandle());
    squat.uFlags = NIF_TIP;
    std::strcpy(squat.szTip, "squatter");
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &squat));
    TraceCapture trace;
    t.setToolTip("mine");
    t.setActive(true);
    EXPECT_TRUE(trace.anyLineHas(kAdd, "= 0"));
    EXPECT_TRUE(t.Active());
    t.setActive(false);
    EXPECT_EQ(trace.count(kDelete), 1);
}
