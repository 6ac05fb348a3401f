// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The dial-up windows follow every connection of the RAS layer, and the
// safe formatter that captions them.
#include "platform/desktop/dialup.h"
#include "platform/desktop/dialup_caption.h"
#include "platform/system/safeformat.h"
#include "tests/support/ras_scripted_backend.h"
#include "tests/support/ras_test_util.h"
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

using namespace kivo::test;

namespace
{

// The visible top-level windows with a caption, as another program would list them.
QStringList visibleCaptions()
{
    QStringList out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !w->windowTitle().isEmpty())
            out << w->windowTitle();
    return out;
}

struct DialupWindows : ::testing::Test {
    void SetUp() override
    {
        setenv("KIVO95_DIALUP_WINDOWS", "1", 1);
        backend = installScriptedRasBackend();
        backend->names = {"Office"};
        ASSERT_TRUE(kivo::dialup::Start());
        ASSERT_EQ(dialEntry(nullptr, "Office", steps.hwnd, conn), 0u);
    }
    void TearDown() override
    {
        kivo::dialup::Stop();
        kivo::ras::installBackend(nullptr, "");
    }
    ScriptedRasBackend* backend = nullptr;
    StepRecorder steps;
    HRASCONN conn = nullptr;
};

} // namespace

TEST(SafeFormat, SubstitutesOnlyPercentS)
{
    EXPECT_EQ(kivo::FormatS("Connected to %s", {"Office"}), "Connected to Office");
    EXPECT_EQ(kivo::FormatS("%s and %s", {"a"}), "a and ");
    EXPECT_EQ(kivo::FormatS("100%% of %s", {"x"}), "100% of x");
    // Conversions a printf would act on are plain text here.
    EXPECT_EQ(kivo::FormatS("%n%x%d%", {"x"}), "%n%x%d%");
    EXPECT_EQ(kivo::FormatS("%s", {"%s%n"}), "%s%n") << "arguments are never formatted again";
}

TEST_F(DialupWindows, PostDialThenConnectedThenClosedByTheHangUp)
{
    backend->step(RASCS_OpenPort);
    backend->step(RASCS_ConnectDevice);
    backend->step(RASCS_DeviceConnected);
    ASSERT_TRUE(waitUntil([&] { return kivo::dialup::PostDialWindow(conn) != nullptr; }));
    ASSERT_TRUE(waitUntil([&] { return visibleCaptions().contains(kivo::dialup::kPostDialCaption); }));

    backend->step(RASCS_Authenticate);
    backend->step(RASCS_Connected);
    ASSERT_TRUE(waitUntil([&] { return kivo::dialup::ConnectedWindow(conn) != nullptr; }));
    EXPECT_TRUE(waitUntil([&] { return !visibleCaptions().contains(kivo::dialup::kPostDialCaption); }))
        << "the post-dial window closes when the connection is made";
    QWidget* connected = kivo::dialup::ConnectedWindow(conn);
    EXPECT_EQ(connected->windowTitle(), "Connected to Office");
    EXPECT_TRUE(connected->isVisible());
    auto* duration = connected->findChild<QLabel*>("lblDuration");
    ASSERT_NE(duration, nullptr);
    EXPECT_TRUE(duration->text().startsWith("Duration: 00:00:0"));

    EXPECT_EQ(RasHangUpA(conn), 0u);
    EXPECT_TRUE(waitUntil([&] { return !visibleCaptions().contains("Connected to Office"); }));
    EXPECT_EQ(kivo::dialup::ConnectedWindow(conn), nullptr);
}

TEST_F(DialupWindows, AFailedDialClosesThePostDialWindow)
{
    backend->step(RASCS_DeviceConnected);
    ASSERT_TRUE(waitUntil([&] { return kivo::dialup::PostDialWindow(conn) != nullptr; }));
    backend->step(RASCS_Authenticate, 691);
    EXPECT_TRUE(waitUntil([&] { return !visibleCaptions().contains(kivo::dialup::kPostDialCaption); }));
    EXPECT_EQ(kivo::dialup::ConnectedWindow(conn), nullptr);
    RasHangUpA(conn);
}

TEST_F(DialupWindows, DisconnectButtonEndsTheLineForItsOwner)
{
    backend->step(RASCS_DeviceConnected);
    backend->step(RASCS_Connected);
    ASSERT_TRUE(waitUntil([&] { return kivo::dialup::ConnectedWindow(conn) != nullptr; }));
    auto* button = kivo::dialup::ConnectedWindow(conn)->findChild<QPushButton*>("btnDisconnect");
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_TRUE(waitUntil([&] { return !visibleCaptions().contains("Connected to Office"); }));
    // The owner still holds its handle and learns of the end by its status.
    ASSERT_TRUE(waitUntil([&] { return connectStatus(conn).rasconnstate == RASCS_Disconnected; }));
    EXPECT_EQ(RasHangUpA(conn), 0u);
}

TEST(DialupWindowsOff, EnvironmentSwitchesThemOff)
{
    setenv("KIVO95_DIALUP_WINDOWS", "0", 1);
    EXPECT_FALSE(kivo::dialup::Start());
}
