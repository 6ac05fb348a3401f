// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the dialing page shows on a real screen: the wizard runs on Qt's xcb
// platform against an X server with a window manager, and the test reads the
// status label's pixels back from the server, so a text that was set and
// replaced before it was ever painted does not count.
#include "tests/support/x11_server.h"
#include "tests/wizard/dial_support.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

using kivo::test::DialTest;
using kivo::test::QueueStep;
using kivo::test::SimSpy;
using kivo::test::XServer;

namespace
{

QImage rgb32(const QPixmap& p)
{
    return p.toImage().convertToFormat(QImage::Format_RGB32);
}

// True when the label shows `text` and the X server holds exactly the
// pixels the window paints for it there.
bool paintedOnScreen(TfrmSelect& f, QLabel* label, const QString& text)
{
    if (label->text() != text || !f.windowHandle())
        return false;
    const QRect r(label->mapTo(&f, QPoint(0, 0)), label->size());
    const QImage drawn = rgb32(f.grab(r));
    const QImage shown = rgb32(f.screen()->grabWindow(f.winId(), r.x(), r.y(), r.width(), r.height()));
    return shown.size() == drawn.size() && shown == drawn;
}

// Pixels of the label's rendering darker than mid grey: the letters.
int darkPixels(TfrmSelect& f, QLabel* label)
{
    const QImage img = rgb32(f.grab(QRect(label->mapTo(&f, QPoint(0, 0)), label->size())));
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += qGray(img.pixel(x, y)) < 128 ? 1 : 0;
    return n;
}

} // namespace

// The child's half, run by the test below on the xcb platform.
TEST_F(DialTest, DISABLED_FailureTextsArePaintedDuringThePauseChild)
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    phonebook("[Busy]\nOutcome=busy\nStepMs=20\n"
              "[NoAnswer]\nOutcome=noanswer\nStepMs=20\n"
              "[NoTone]\nOutcome=nodialtone\nStepMs=20\n"
              "[Password]\nOutcome=badpassword\nStepMs=20\n");
    SimSpy* sim = kivo::test::installSimSpy();
    TfrmSelect& f = ready({"Password", "NoTone", "NoAnswer", "Busy"});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    QLabel* status = f.ui->lblStatus;
    // In the order they are dialled.
    const QString why[] = {"The line is busy.", "The remote computer does not answer.",
                           "There is no dial tone.", "The user name or password was not accepted."};
    std::vector<QueueStep> steps;
    for (int i = 0; i < 4; ++i) {
        // Seen on the screen while the line of that attempt is released and
        // before the next attempt begins: during its pause.
        steps.push_back({why[i].toStdString() + " painted during its pause",
                         [&, i] {
                             return sim->hangUps == i + 1 && sim->dials.size() == std::size_t(i + 1) &&
                                    paintedOnScreen(f, status, why[i]);
                         },
                         [&, i] {
                             EXPECT_GT(darkPixels(f, status), 20)
                                 << why[i].toStdString() << ": letters shown";
                             std::printf("PAINTED %s\n", why[i].toUtf8().constData());
                             std::fflush(stdout);
                         }});
    }
    steps.push_back({"Busy again", [&] { return sim->dials.size() == 5; }, [&] { f.ui->btnAbort->click(); }});
    EXPECT_TRUE(dial(steps));
    EXPECT_EQ(sim->dials, (std::vector<std::string>{"Busy", "NoAnswer", "NoTone", "Password", "Busy"}));
}

TEST(PaintedStatus, EachFailureTextIsOnTheScreenDuringItsPause)
{
    XServer server(XServer::WindowManager::Openbox);
    ASSERT_TRUE(server.ok()) << server.error();
    const auto run = kivo::test::runTestOnDisplay(
        server.display(), "DialTest.DISABLED_FailureTextsArePaintedDuringThePauseChild", 180000);
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains("[  PASSED  ] 1 test")) << run.output.toStdString();
    EXPECT_EQ(run.output.count("PAINTED "), 4) << run.output.toStdString();
}
