// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// TTrayIcon in a real notification area: an X server (Xvfb), a tray manager
// that speaks the freedesktop system-tray protocol (played by the test over
// xcb), real clicks through XTEST (xdotool). The component runs in a child
// process on Qt's xcb platform, since this process is bound to offscreen.
#include "components/TrayIcon.h"
#include "tests/support/testsupport.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

using kivo::test::waitUntil;

// The child's half: run by the test below with the X display in DISPLAY.
// It shows an icon while there is no notification area yet, then reports
// on stdout what happens to it.
TEST(TrayX11, DISABLED_ChildShowsTheIconAndReportsEvents)
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    auto say = [](const std::string& s) {
        std::printf("%s\n", s.c_str());
        std::fflush(stdout);
    };
    TTrayIcon t;
    QPixmap p(16, 16);
    p.fill(Qt::red);
    t.setIcon(QIcon(p));
    t.setToolTip("KIVO95 test icon");
    bool rightClicked = false;
    t.OnClick = [&](QObject*) { say("CLICK"); };
    t.OnDblClick = [&](QObject*) { say("DBLCLICK"); };
    t.OnRightClick = [&](QObject*, TMouseButton b, TShiftState s, int x, int y) {
        rightClicked = true;
        say("RIGHT " + std::to_string(b == mbRight) + " " + std::to_string(int(s)) + " " + std::to_string(x) +
            "," + std::to_string(y));
    };
    say(std::string("AVAILABLE ") + (kivo::notify::TrayAvailable() ? "1" : "0"));
    t.setActive(true);
    say("ADDED " + std::to_string(kivo::notify::Icons().size()));
    ASSERT_TRUE(waitUntil([&] { return kivo::notify::TrayAvailable(); }, 30000));
    say("AVAILABLE 1");
    EXPECT_TRUE(waitUntil([&] { return rightClicked; }, 60000));
}

namespace
{

class Xcb
{
  public:
    explicit Xcb(const std::string& display) : c(xcb_connect(display.c_str(), nullptr))
    {
        if (!xcb_connection_has_error(c))
            screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    }
    ~Xcb() { xcb_disconnect(c); }
    xcb_atom_t atom(const char* name)
    {
        auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> r(
            xcb_intern_atom_reply(c, cookie, nullptr), &std::free);
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    xcb_connection_t* c;
    xcb_screen_t* screen = nullptr;
};

// Reads the child's stdout line by line.
struct Lines {
    QProcess& p;
    std::string buffer;
    std::vector<std::string> seen;
    bool has(const std::string& line)
    {
        buffer += p.readAllStandardOutput().toStdString();
        for (std::size_t nl; (nl = buffer.find('\n')) != std::string::npos; buffer.erase(0, nl + 1))
            seen.push_back(buffer.substr(0, nl));
        for (const auto& s : seen)
            if (s == line)
                return true;
        return false;
    }
};

} // namespace

TEST(TrayX11, IconDocksInANotificationAreaThatAppearsLaterAndTakesClicks)
{
    for (const char* tool : {"Xvfb", "xdotool"})
        ASSERT_FALSE(QStandardPaths::findExecutable(tool).isEmpty()) << tool << " must be installed";

    QProcess xvfb;
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"});
    ASSERT_TRUE(xvfb.waitForStarted());
    std::string displayNumber;
    ASSERT_TRUE(waitUntil(
        [&] {
            displayNumber += xvfb.readAllStandardOutput().toStdString();
            return displayNumber.find('\n') != std::string::npos;
        },
        30000))
        << "Xvfb did not start";
    const std::string display = ":" + displayNumber.substr(0, displayNumber.find('\n'));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromStdString(display));
    env.insert("QT_QPA_PLATFORM", "xcb");
    // No session bus: Qt takes the X11 system-tray protocol, not D-Bus.
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kivo95-no-bus");
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests",
                 "--gtest_filter=TrayX11.DISABLED_ChildShowsTheIconAndReportsEvents"});
    ASSERT_TRUE(child.waitForStarted());
    Lines out{child, {}, {}};

    // With no notification area the icon is accepted and kept.
    ASSERT_TRUE(waitUntil([&] { return out.has("ADDED 1"); }, 30000));
    EXPECT_TRUE(out.has("AVAILABLE 0"));

    // Now a notification area comes up: own the tray selection and announce it.
    Xcb x(display);
    ASSERT_FALSE(xcb_connection_has_error(x.c));
    const xcb_atom_t selection = x.atom("_NET_SYSTEM_TRAY_S0");
    const xcb_atom_t opcode = x.atom("_NET_SYSTEM_TRAY_OPCODE");
    const xcb_window_t tray = xcb_generate_id(x.c);
    const uint32_t values[] = {x.screen->white_pixel,
                               XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(x.c, XCB_COPY_FROM_PARENT, tray, x.screen->root, 0, 0, 64, 64, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, x.screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    xcb_map_window(x.c, tray);
    xcb_set_selection_owner(x.c, tray, selection, XCB_CURRENT_TIME);
    xcb_client_message_event_t manager{};
    manager.response_type = XCB_CLIENT_MESSAGE;
    manager.format = 32;
    manager.window = x.screen->root;
    manager.type = x.atom("MANAGER");
    manager.data.data32[0] = XCB_CURRENT_TIME;
    manager.data.data32[1] = selection;
    manager.data.data32[2] = tray;
    xcb_send_event(x.c, 0, x.screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&manager));
    xcb_flush(x.c);

    // The icon asks to be docked; embed it and wait until it is mapped.
    xcb_window_t icon = XCB_WINDOW_NONE;
    bool mapped = false;
    ASSERT_TRUE(waitUntil(
        [&] {
            while (xcb_generic_event_t* e = xcb_poll_for_event(x.c)) {
                const uint8_t type = e->response_type & 0x7f;
                if (type == XCB_CLIENT_MESSAGE) {
                    auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
                    if (m->type == opcode && m->data.data32[1] == 0 /* SYSTEM_TRAY_REQUEST_DOCK */) {
                        icon = m->data.data32[2];
                        xcb_reparent_window(x.c, icon, tray, 0, 0);
                        const uint32_t size[] = {22, 22};
                        xcb_configure_window(x.c, icon, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                                             size);
                        xcb_map_window(x.c, icon);
                        xcb_flush(x.c);
                    }
                } else if (type == XCB_MAP_NOTIFY && icon != XCB_WINDOW_NONE) {
                    mapped = mapped || reinterpret_cast<xcb_map_notify_event_t*>(e)->window == icon;
                }
                std::free(e);
            }
            return mapped;
        },
        30000))
        << "the icon never asked to be docked";
    EXPECT_TRUE(waitUntil([&] { return out.has("AVAILABLE 1"); }, 30000));

    // Real clicks on the docked icon: a left double click, then a right click.
    QProcess xdotool;
    xdotool.setProcessEnvironment(env);
    xdotool.start("xdotool",
                  {"mousemove", "--sync", "7", "9", "click", "--repeat", "2", "--delay", "60", "1"});
    ASSERT_TRUE(xdotool.waitForFinished(30000));
    xdotool.start("xdotool", {"click", "3"});
    ASSERT_TRUE(xdotool.waitForFinished(30000));
    EXPECT_TRUE(waitUntil([&] { return out.has("RIGHT 1 0 7,9"); }, 30000))
        << "a right click reports mbRight, no shift keys and the pointer's screen position";
    std::vector<std::string> events;
    for (const auto& l : out.seen)
        if (l == "CLICK" || l == "DBLCLICK" || l.rfind("RIGHT", 0) == 0)
            events.push_back(l);
    EXPECT_EQ(events, std::vector<std::string>({"CLICK", "DBLCLICK", "CLICK", "RIGHT 1 0 7,9"}));

    EXPECT_TRUE(waitUntil([&] { return child.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
    if (HasFailure())
        for (const auto& l : out.seen)
            std::printf("child: %s\n", l.c_str());
    xvfb.terminate();
    xvfb.waitForFinished(10000);
}
