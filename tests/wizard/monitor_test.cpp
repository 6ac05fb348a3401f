// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The connection monitor: what a connection does to the window and the
// statistics, the timer ticks, a broken line, the tray icon and its menu.
#include "tests/wizard/dial_support.h"
#include "tests/wizard/layout_support.h"
#include "wizard/WatchThreads.h"

#include "platform/desktop/dialup.h"
#include "platform/desktop/notify.h"
#include "platform/sound/sound.h"

#include <QMenu>

#include <cstdlib>
#include <map>

using kivo::test::DialTest;
using kivo::test::Lefts;
using kivo::test::leftsOf;
using kivo::test::QueueStep;
using kivo::test::SimSpy;
using kivo::test::waitUntil;

namespace
{

int countBoxes(const std::vector<kivo::sys::MessageBoxRequest>& boxes, const std::string& text)
{
    int n = 0;
    for (const auto& b : boxes)
        n += b.text.find(text) != std::string::npos ? 1 : 0;
    return n;
}

class MonitorTest : public DialTest
{
  protected:
    // North connects quickly; "extra" is added to its section.
    TfrmSelect& connectNorth(const std::string& extra = "", bool stopTheTimer = false)
    {
        phonebook("[North]\nStepMs=5\n" + extra);
        sim = kivo::test::installSimSpy();
        installed();
        writeStat("North", "LastAccess", Variant("00/00/00"));
        writeStat("North", "TotalTime", Variant("00:10:00"));
        writeStat("North", "LastTime", Variant("00:00:00"));
        writeStat("North", "Accesses", Variant(std::int32_t(4)));
        prepare();
        TfrmSelect& f = create();
        f.NotificationAreaAvailable = [this] { return trayAvailable; };
        SelectedEntries.Add("North");
        f.show();
        f.setPageIndex(3);
        EXPECT_TRUE(dial({{"connected", [&] { return f.PageIndex() == 5; },
                           [&] {
                               EXPECT_TRUE(f.Timer1->isActive());
                               // The test drives the ticks itself.
                               if (stopTheTimer)
                                   f.Timer1->stop();
                           }}}));
        return f;
    }

    // Runs before the window is created.
    std::function<void()> prepare = [] {};
    bool trayAvailable = true;
    SimSpy* sim = nullptr;
};

} // namespace

// ---- a connection ------------------------------------------------------------------------------

TEST_F(MonitorTest, AConnectionCountsTheAccessShowsTheInfoPageAndHidesToTheTray)
{
    TfrmSelect& f = connectNorth("", true);

    EXPECT_EQ(sim->dials.size(), 1u) << "no second dial";
    EXPECT_EQ(sim->hangUps, 0) << "no hang-up";
    EXPECT_TRUE(f.RAS->ConnHandle());
    EXPECT_TRUE(StopDialing);

    EXPECT_EQ(f.PageIndex(), 5);
    EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Info");
    EXPECT_EQ(f.Width(), 338);
    EXPECT_EQ(f.Height(), 161);
    EXPECT_EQ(leftsOf(f), (Lefts{7, 83, 160, 251}));
    EXPECT_FALSE(f.ui->pnlBorder->isVisibleTo(&f));
    EXPECT_FALSE(f.ui->btnPrev->isVisibleTo(&f));
    EXPECT_FALSE(f.ui->btnNext->isVisibleTo(&f));
    EXPECT_EQ(f.ui->lblEntry->text(), "North");

    EXPECT_FALSE(f.isVisible()) << "hidden behind the tray icon";
    EXPECT_TRUE(f.TI->Active());
    const auto icons = kivo::notify::Icons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].hwnd, f.TI->WindowHandle());
    EXPECT_TRUE(icons[0].hasIcon);
    EXPECT_EQ(icons[0].tip.rfind("Connected to North: ", 0), 0u) << icons[0].tip;

    EXPECT_EQ(readStat("North", "Accesses").toInt(), 5);
    const std::string lastAccess = readStat("North", "LastAccess").toString();
    const std::string today = DateText(QDateTime::currentDateTime());
    EXPECT_EQ(lastAccess.substr(0, lastAccess.find(" - ")), today.substr(0, today.find(" - ")))
        << lastAccess << " is the date text of this moment";
    EXPECT_EQ(f.ui->lblTime->text().toStdString(), ElapsedText(0));
    EXPECT_EQ(ConnectSeconds, 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(MonitorTest, TicksCountLastTimeAndTotalTime)
{
    TfrmSelect& f = connectNorth("", true);
    for (int i = 0; i < 90; ++i)
        f.Timer1Timer(f.Timer1);
    EXPECT_EQ(ConnectSeconds, 90);
    EXPECT_EQ(readStat("North", "LastTime").toString(), "00:01:30");
    EXPECT_EQ(readStat("North", "TotalTime").toString(), "00:11:30");
    EXPECT_EQ(readStat("North", "Accesses").toInt(), 5);
    EXPECT_EQ(f.TI->ToolTip().rfind("Connected to North: ", 0), 0u);
    EXPECT_EQ(f.ui->lblTime->text().toStdString(), f.TI->ToolTip().substr(20));
    EXPECT_TRUE(f.TI->Active()) << "the line is still up";
    EXPECT_TRUE(boxes.empty());

    // A new connection starts LastTime again; TotalTime goes on.
    f.Disconnect1->trigger();
    f.setPageIndex(3);
    EXPECT_TRUE(dial({{"connected again", [&] { return f.PageIndex() == 5; }, [&] { f.Timer1->stop(); }}}));
    f.Timer1Timer(f.Timer1);
    EXPECT_EQ(readStat("North", "LastTime").toString(), "00:00:01");
    EXPECT_EQ(readStat("North", "TotalTime").toString(), "00:11:31");
    EXPECT_EQ(readStat("North", "Accesses").toInt(), 6);
}

TEST_F(MonitorTest, TheInfoPageTheTipAndLastTimeShowOneClockThatAdvancesOneSecondATime)
{
    // The running connection is sampled every 100 ms, as a person glancing
    // at it would, and looked at after every tick. The three texts always
    // show the same second, and a change is always to the next second: no
    // second shows twice and none is skipped. (bench/elapsed_clock runs the
    // same for a minute and prints how regularly the seconds come.)
    TfrmSelect& f = connectNorth();
    std::map<std::string, int> secondsOf;
    for (int n = 0; n < 3600; ++n)
        secondsOf.emplace(ElapsedText(n), n);
    const std::string tipStart = "Connected to North: ";
    struct Shown {
        int label = -1, tip = -1, lastTime = -1;
        qint64 atMs = 0; // when it was looked at
    };
    QElapsedTimer clock;
    clock.start();
    const auto look = [&] {
        Shown s;
        const auto label = secondsOf.find(f.ui->lblTime->text().toStdString());
        s.label = label == secondsOf.end() ? -2 : label->second;
        const std::string tip = f.TI->ToolTip();
        const auto fromTip =
            tip.rfind(tipStart, 0) == 0 ? secondsOf.find(tip.substr(tipStart.size())) : secondsOf.end();
        s.tip = fromTip == secondsOf.end() ? -2 : fromTip->second;
        s.lastTime = StrToSecs(readStat("North", "LastTime").toString());
        s.atMs = clock.elapsed();
        return s;
    };

    // The dial queue has taken its pause after the connection: a tick or
    // two may have come already.
    const Shown first = look();
    std::vector<Shown> samples{first}, ticks;
    EXPECT_EQ(first.label, ConnectSeconds);
    EXPECT_EQ(first.tip, ConnectSeconds);
    // Connected after the wizard's own handler, so it sees what the tick did.
    QObject::connect(f.Timer1, &QTimer::timeout, [&] { ticks.push_back(look()); });
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { samples.push_back(look()); });
    sampler.start(100);
    ASSERT_TRUE(waitUntil([&] { return ConnectSeconds >= first.label + 6; }));
    sampler.stop();

    ASSERT_GE(ticks.size(), 6u);
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        const int expected = first.label + int(i) + 1;
        EXPECT_EQ(ticks[i].label, expected) << "tick " << i;
        EXPECT_EQ(ticks[i].tip, expected) << "tick " << i;
        EXPECT_EQ(ticks[i].lastTime, expected) << "tick " << i;
    }
    for (std::size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i].tip, samples[i].label) << "sample " << i;
        if (samples[i].label >= 1) {
            EXPECT_EQ(samples[i].lastTime, samples[i].label) << "sample " << i;
        }
        // A sample that came more than a second after the one before (a
        // machine too busy to look) may of course find two seconds gone.
        if (i > 0 && samples[i].atMs - samples[i - 1].atMs < 1000) {
            const int step = samples[i].label - samples[i - 1].label;
            EXPECT_TRUE(step == 0 || step == 1)
                << "sample " << i << ": " << samples[i - 1].label << " -> " << samples[i].label;
        }
    }
    EXPECT_GE(samples.size(), 30u) << "sampled through the whole run";
}

TEST_F(MonitorTest, TheInfoPageShowsTheTimeBelowItsLabelAndNothingOverlaps)
{
    TfrmSelect& f = connectNorth("", true);
    f.Info1->trigger();
    ASSERT_EQ(f.PageIndex(), 5);
    QLabel* time = f.ui->lblTime;
    EXPECT_GE(time->y(), f.ui->Label7->geometry().bottom() + 1) << "below \"Elapsed Connection Time:\"";
    // The widest time of day this locale writes, in the page's own size.
    QString widest;
    for (int hour = 0; hour < 24; ++hour) {
        const QString text = QString::fromStdString(ElapsedText(hour * 3600 + 59 * 60 + 58));
        if (time->fontMetrics().horizontalAdvance(text) > time->fontMetrics().horizontalAdvance(widest))
            widest = text;
    }
    for (const QString& text : {QString::fromStdString(ElapsedText(0)), widest}) {
        time->setText(text);
        EXPECT_EQ(kivo::test::joined(kivo::test::layoutFaults(f.ui->pgStat)), "") << text.toStdString();
    }
    EXPECT_TRUE(f.ui->Notebook1->rect().contains(f.ui->pgStat->geometry()));
}

TEST_F(MonitorTest, AnEntryWithoutAccessesCountsFromZero)
{
    // Start-up leaves an entry that has a LastAccess alone.
    phonebook("[North]\nStepMs=5\n");
    sim = kivo::test::installSimSpy();
    installed();
    writeStat("North", "LastAccess", Variant("00/00/00"));
    writeStat("North", "TotalTime", Variant("00:00:00"));
    writeStat("North", "LastTime", Variant("00:00:00"));
    TfrmSelect& f = create();
    f.NotificationAreaAvailable = [] { return true; };
    SelectedEntries.Add("North");
    f.show();
    f.setPageIndex(3);
    EXPECT_TRUE(dial({{"connected", [&] { return f.PageIndex() == 5; }}}));
    EXPECT_EQ(readStat("North", "Accesses").toInt(), 1);
    EXPECT_TRUE(f.Timer1->isActive()) << "the connection is watched";
    EXPECT_TRUE(f.TI->Active());
}

// ---- the end of a connection ------------------------------------------------------------------

TEST_F(MonitorTest, ABrokenLineIsReportedAndTheWelcomePageComesBack)
{
    prepare = [&] { writeSetting("ShowWelcome", Variant(std::int32_t(0))); };
    TfrmSelect& f = connectNorth("DropAfterSeconds=0.3\n");
    ASSERT_TRUE(waitUntil([&] { return countBoxes(boxes, "Connection has been broken!") == 1; }, 10000));
    const auto& box = boxes.back();
    EXPECT_EQ(box.text, "Connection has been broken!");
    EXPECT_EQ(box.caption, "Information");
    EXPECT_EQ(box.type, UINT(MB_OK));
    EXPECT_EQ(box.owner, &f);

    EXPECT_EQ(f.PageIndex(), 0) << "also when the welcome page is switched off";
    EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Welcome (0 of 3)");
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.ui->pnlButtons->isVisible());
    EXPECT_TRUE(f.ui->btnPrev->isVisible());
    EXPECT_TRUE(f.ui->btnNext->isVisible());
    EXPECT_FALSE(f.ui->btnPrev->isEnabled());
    EXPECT_TRUE(f.ui->btnNext->isEnabled());
    EXPECT_EQ(f.Width(), 467);
    EXPECT_EQ(f.Height(), 322);
    EXPECT_FALSE(f.TI->Active());
    EXPECT_TRUE(kivo::notify::Icons().empty());
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_FALSE(f.RAS->ConnHandle());
    EXPECT_EQ(sim->hangUps, 1);
    EXPECT_TRUE(StopDialing);
    EXPECT_EQ(countBoxes(boxes, "Connection has been broken!"), 1) << "once";
}

TEST_F(MonitorTest, ALineTheDialerEndsWhileHiddenBringsTheWindowBack)
{
    TfrmSelect& f = connectNorth();
    ASSERT_TRUE(waitUntil([&] { return !f.isVisible(); })) << "hidden to the tray";
    ASSERT_TRUE(f.TI->Active());

    // The dial-up component reports the end of the line with its reason.
    const TRasStateEvent report = f.RAS->OnDisconnect;
    ASSERT_TRUE(static_cast<bool>(report));
    report(f.RAS, ERROR_REMOTE_DISCONNECTION, "The port was disconnected by the remote machine.");

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "The port was disconnected by the remote machine.");
    EXPECT_FALSE(f.TI->Active());
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_TRUE(f.isVisible()) << "no tray icon left, so the window comes back";
    EXPECT_EQ(f.PageIndex(), 0);
    EXPECT_TRUE(f.ui->btnNext->isEnabled());
    EXPECT_FALSE(f.RAS->ConnHandle()) << "the line is released";
    EXPECT_EQ(sim->hangUps, 1);
    EXPECT_EQ(readStat("North", "Accesses").toInt(), 5);
}

TEST_F(MonitorTest, DisconnectFromTheTrayMenuShowsTheSelectionPage)
{
    TfrmSelect& f = connectNorth();
    ASSERT_EQ(f.Ipm->actions().size(), 3);
    EXPECT_EQ(f.Ipm->actions()[0], f.Info1);
    EXPECT_EQ(f.Info1->text(), "Info");
    EXPECT_TRUE(f.Ipm->actions()[1]->isSeparator());
    EXPECT_EQ(f.Ipm->actions()[2], f.Disconnect1);
    EXPECT_EQ(f.Disconnect1->text(), "Disconnect");

    // A right click on the icon opens the menu where the cursor is.
    ASSERT_TRUE(kivo::notify::SimulateMouse(f.TI->WindowHandle(), f.TI->IconData().uID,
                                            kivo::notify::MouseAction::ContextRequest));
    ASSERT_TRUE(waitUntil([&] { return f.Ipm->isVisible(); }));
    f.Disconnect1->trigger();
    f.Ipm->hide();

    EXPECT_EQ(f.PageIndex(), 1);
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.ui->btnPrev->isVisible());
    EXPECT_TRUE(f.ui->btnNext->isVisible());
    EXPECT_TRUE(f.ui->btnClose->isVisible());
    EXPECT_TRUE(f.ui->btnClose->isEnabled());
    EXPECT_FALSE(f.ui->btnPrev->isEnabled());
    EXPECT_TRUE(f.ui->btnNext->isEnabled());
    EXPECT_FALSE(f.TI->Active());
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_FALSE(f.RAS->ConnHandle());
    EXPECT_EQ(sim->hangUps, 1);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(MonitorTest, InfoShowsTheWindowWithoutItsCloseButtonUntilDisconnect)
{
    TfrmSelect& f = connectNorth();
    ASSERT_FALSE(f.isVisible());
    f.Info1->trigger();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.PageIndex(), 5);
    EXPECT_FALSE(f.ui->btnClose->isVisible());

    f.ui->Button1->click(); // Hide Window
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(f.TI->Active()) << "the icon stays";

    // A click on the icon brings the window back on the page it shows.
    ASSERT_TRUE(kivo::notify::SimulateMouse(f.TI->WindowHandle(), f.TI->IconData().uID,
                                            kivo::notify::MouseAction::Click));
    ASSERT_TRUE(waitUntil([&] { return f.isVisible(); }));
    EXPECT_EQ(f.PageIndex(), 5);
    EXPECT_FALSE(f.ui->btnClose->isVisible());

    f.Disconnect1->trigger();
    EXPECT_TRUE(f.ui->btnClose->isVisible());
}

TEST_F(MonitorTest, WithoutANotificationAreaTheWindowIsMinimisedNotHidden)
{
    trayAvailable = false;
    TfrmSelect& f = connectNorth();
    EXPECT_TRUE(f.isVisible()) << "the user keeps a way back";
    EXPECT_TRUE(f.isMinimized());
    f.Info1->trigger();
    EXPECT_FALSE(f.isMinimized());
    f.ui->Button1->click();
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.isMinimized());
}

TEST_F(MonitorTest, ClosingTheWindowWhileConnectedHangsUp)
{
    TfrmSelect& f = connectNorth();
    f.Info1->trigger();
    f.close();
    EXPECT_EQ(sim->hangUps, 1);
    EXPECT_FALSE(f.RAS->ConnHandle());
    EXPECT_FALSE(f.TI->Active());
    EXPECT_FALSE(f.Timer1->isActive());
}

// ---- faults of the timer and the threads ------------------------------------------------------

TEST_F(MonitorTest, ABadTotalTimeIsReportedOnceAndCountsOnFromZero)
{
    prepare = [&] { writeStat("North", "TotalTime", Variant("1 hour")); };
    TfrmSelect& f = connectNorth("", true);
    for (int i = 0; i < 3; ++i)
        f.Timer1Timer(f.Timer1);
    EXPECT_EQ(readStat("North", "TotalTime").toString(), "00:00:03");
    EXPECT_EQ(readStat("North", "LastTime").toString(), "00:00:03");
    ASSERT_TRUE(waitUntil([&] { return countBoxes(boxes, "\"1 hour\"") == 1; }));
    EXPECT_EQ(boxes.size(), 1u) << "reported once";

    // The line is still checked.
    kivo::ras::DisconnectLine(f.RAS->ConnHandle());
    f.Timer1Timer(f.Timer1);
    EXPECT_EQ(countBoxes(boxes, "Connection has been broken!"), 1);
    EXPECT_EQ(f.PageIndex(), 0);
}

TEST_F(MonitorTest, AFailingStoreDuringTheTicksRaisesOneBoxAndTheLineIsStillChecked)
{
    TfrmSelect& f = connectNorth("", true);
    const std::string store = std::getenv("KIVO95_REGISTRY");
    setenv("KIVO95_REGISTRY", "/nonexistent/kivo95/registry.db", 1);
    for (int i = 0; i < 5; ++i)
        KivoApplication::guard([&] { f.Timer1Timer(f.Timer1); });
    ASSERT_TRUE(waitUntil([&] { return !boxes.empty(); }));
    // Later events may bring more: let every posted one be handled.
    QCoreApplication::processEvents();
    EXPECT_EQ(boxes.size(), 1u) << "one box, not one a second";
    EXPECT_EQ(ConnectSeconds, 5) << "the ticks went on";
    setenv("KIVO95_REGISTRY", store.c_str(), 1);

    kivo::ras::DisconnectLine(f.RAS->ConnHandle());
    KivoApplication::guard([&] { f.Timer1Timer(f.Timer1); });
    EXPECT_EQ(countBoxes(boxes, "Connection has been broken!"), 1);
    EXPECT_EQ(f.PageIndex(), 0);
}

TEST_F(MonitorTest, TheWindowHidingThreadEndsWithItsConnection)
{
    // No dial-up windows here: the "connected" window never shows, so the
    // thread searches until it is told to end.
    TfrmSelect& f = connectNorth();
    EXPECT_NE(f.FWThread, nullptr);
    f.Disconnect1->trigger();
    EXPECT_TRUE(TFWThread::TerminateAll(0)) << "no thread left searching";
}

TEST_F(MonitorTest, NoWindowHidingThreadWithoutTheCaptionFormat)
{
    phonebook("[North]\nStepMs=5\n");
    sim = kivo::test::installSimSpy();
    installed();
    TfrmSelect& f = create();
    ConnectedCaptionFormat[0] = '\0';
    f.NotificationAreaAvailable = [] { return true; };
    SelectedEntries.Add("North");
    f.show();
    f.setPageIndex(3);
    EXPECT_TRUE(dial({{"connected", [&] { return f.PageIndex() == 5; }}}));
    EXPECT_EQ(f.FWThread, nullptr);
    EXPECT_TRUE(TFWThread::TerminateAll(0));
    EXPECT_TRUE(f.TI->Active()) << "the rest of the connection goes on";
}

TEST_F(MonitorTest, TheConnectedWindowIsHidden)
{
    setenv("KIVO95_DIALUP_WINDOWS", "1", 1);
    ASSERT_TRUE(kivo::dialup::Start());
    TfrmSelect& f = connectNorth();
    ASSERT_NE(kivo::dialup::ConnectedWindow(f.RAS->ConnHandle()), nullptr);
    EXPECT_TRUE(waitUntil([&] { return WindowHidden.load(); }));
    EXPECT_TRUE(waitUntil([&] { return !kivo::dialup::ConnectedWindow(f.RAS->ConnHandle())->isVisible(); }));
    kivo::dialup::Stop();
}

TEST_F(MonitorTest, AConnectionStopsALongTuneAtOnce)
{
    setenv("KIVO95_DIALUP_WINDOWS", "1", 1);
    ASSERT_TRUE(kivo::dialup::Start());
    kivo::test::TempDir dir;
    const std::string tune = dir.file("long.wav");
    // A minute of silence, played at real-time pace (KIVO95_SOUND=null).
    kivo::test::writeSilentWav(tune, 60);
    int playingAtConnect = -1;
    int playingAfter = -1;
    phonebook("[North]\nStepMs=150\n");
    sim = kivo::test::installSimSpy();
    installed();
    writeSetting("Tune", Variant(tune));
    TfrmSelect& f = create();
    f.NotificationAreaAvailable = [] { return true; };
    const TNotifyEvent connect = f.RAS->OnConnect;
    f.RAS->OnConnect = [&](QObject* s) {
        playingAtConnect = kivo::sound::playingCount();
        connect(s);
        playingAfter = kivo::sound::playingCount();
    };
    SelectedEntries.Add("North");
    f.show();
    f.setPageIndex(3);
    EXPECT_TRUE(dial({{"connected", [&] { return f.PageIndex() == 5; }}}, 20000));
    EXPECT_EQ(playingAtConnect, 1) << "the tune was playing when the connection came";
    EXPECT_EQ(playingAfter, 0) << "and stopped at once";
    EXPECT_EQ(f.PDTThread, nullptr);
    kivo::dialup::Stop();
}
