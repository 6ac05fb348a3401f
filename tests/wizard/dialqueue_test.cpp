// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The dial queue on the dialing page: the order of the entries, the ways out
// of an attempt, Skip and Abort, closing while dialing, the tune thread.
#include "tests/support/tracecapture.h"
#include "tests/wizard/dial_support.h"
#include "tests/wizard/layout_support.h"
#include "wizard/WatchThreads.h"

#include "platform/desktop/dialup.h"
#include "platform/desktop/dialup_caption.h"

#include <QSignalSpy>

#include <cstdlib>

using kivo::test::DialTest;
using kivo::test::QueueStep;
using kivo::test::ScriptedRasBackend;
using kivo::test::SimSpy;

namespace
{

using Names = std::vector<std::string>;

// Three entries that always fail at once, each in its own way.
constexpr char kFailingBook[] = "[North]\nOutcome=busy\nStepMs=5\n"
                                "[South]\nOutcome=noanswer\nStepMs=5\n"
                                "[West]\nOutcome=nodialtone\nStepMs=5\n";

QString statusOf(TfrmSelect& f)
{
    return f.ui->lblStatus->text();
}

} // namespace

// ---- the order of the attempts -------------------------------------------------------

TEST_F(DialTest, FailingEntriesAreDialledInTurnAndEveryVisitStartsWithTheFirst)
{
    phonebook(kFailingBook);
    SimSpy* sim = kivo::test::installSimSpy();
    // Selected in another order: the list keeps them sorted.
    TfrmSelect& f = ready({"West", "North", "South"});

    EXPECT_TRUE(dial({{"four attempts", [&] { return sim->dials.size() == 4; },
                       [&] {
                           EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Dialing");
                           EXPECT_FALSE(f.ui->btnPrev->isEnabled());
                           EXPECT_FALSE(f.ui->btnNext->isEnabled());
                           EXPECT_TRUE(f.ui->btnClose->isEnabled());
                           EXPECT_EQ(f.ui->nbWizImg->currentIndex(), 1);
                           EXPECT_EQ(f.ui->lblEntryName->text(), "North");
                           f.ui->btnAbort->click();
                       }}}));
    EXPECT_EQ(sim->dials, (Names{"North", "South", "West", "North"}));
    EXPECT_EQ(sim->hangUps, 4) << "three failures hung up by the queue, the fourth attempt by Abort";

    // Back to the dialing page: the queue starts over with North.
    f.setPageIndex(3);
    EXPECT_TRUE(dial(
        {{"two more attempts", [&] { return sim->dials.size() == 6; }, [&] { f.ui->btnAbort->click(); }}}));
    EXPECT_EQ(sim->dials[4], "North");
    EXPECT_EQ(sim->dials[5], "South");
}

TEST_F(DialTest, ASingleEntryIsDialledAgainAndAgain)
{
    phonebook(kFailingBook);
    SimSpy* sim = kivo::test::installSimSpy();
    TfrmSelect& f = ready({"South"});
    EXPECT_TRUE(
        dial({{"three attempts", [&] { return sim->dials.size() == 3; }, [&] { f.ui->btnAbort->click(); }}}));
    EXPECT_EQ(sim->dials, (Names{"South", "South", "South"}));
    EXPECT_EQ(DialIndex, 0);
}

TEST_F(DialTest, TheStatusFollowsTheDialAndTheFailureStaysForThePause)
{
    phonebook("[North]\nOutcome=busy\nStepMs=200\n");
    SimSpy* sim = kivo::test::installSimSpy();
    TfrmSelect& f = ready({"North"});
    EXPECT_TRUE(dial({
        {"port opened", [&] { return statusOf(f) == "Port Opened"; }},
        {"dialing", [&] { return statusOf(f).startsWith("Using Device: "); },
         [&] { EXPECT_EQ(statusOf(f), "Using Device: Standard Modem - modem"); }},
        {"pause", [&] { return sim->hangUps == 1; },
         [&] {
             // The line is released, and the page still says why.
             EXPECT_EQ(statusOf(f), "The line is busy.");
             EXPECT_FALSE(f.RAS->ConnHandle());
             EXPECT_EQ(sim->dials.size(), 1u) << "the next attempt waits for the pause";
         }},
        {"second attempt", [&] { return sim->dials.size() == 2; },
         [&] {
             EXPECT_NE(statusOf(f), "The line is busy.") << "a new attempt shows its own steps";
             f.ui->btnAbort->click();
         }},
    }));
    EXPECT_EQ(statusOf(f), "") << "blank after Abort";
}

TEST_F(DialTest, SkipLeavesTheStatusBlankAndADialThatCannotStartSaysWhy)
{
    ScriptedRasBackend* ras = kivo::test::installScriptedRasBackend();
    ras->names = {"North", "South"};
    TfrmSelect& f = ready({"North", "South"});
    EXPECT_TRUE(dial({
        {"North dialled", [&] { return ras->dials.size() == 1; },
         [&] {
             ras->step(RASCS_ConnectDevice);
             f.ui->btnSkip->click();
         }},
        {"North given up", [&] { return ras->hangUps.size() == 1; },
         [&] {
             EXPECT_EQ(statusOf(f), "") << "a skipped attempt did not fail";
             // South cannot even start.
             ras->dialResult = ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
         }},
        {"South refused", [&] { return ras->dials.size() == 2; }},
        {"its reason shown", [&] { return statusOf(f) == "The phonebook entry does not exist."; },
         [&] {
             EXPECT_EQ(ras->dials.size(), 2u) << "during the pause";
             ras->dialResult = 0;
         }},
        {"North again", [&] { return ras->dials.size() == 3; }, [&] { f.ui->btnAbort->click(); }},
    }));
}

TEST_F(DialTest, EveryErrorTextFitsTheStatusLabel)
{
    // Whatever a dial ends with, the dialing page shows all of it.
    installed();
    TfrmSelect& f = create();
    f.show();
    f.setPageIndex(3);
    {
        // The page as it shows while dialing, without dialing.
        const QSignalBlocker quiet(f.ui->Notebook1);
        f.ui->Notebook1->setCurrentIndex(4);
    }
    int texts = 0;
    for (DWORD code = 600; code < 1000; ++code) {
        char text[257] = {};
        if (RasGetErrorStringA(code, text, 256) != 0 || !text[0])
            continue;
        ++texts;
        f.ui->lblStatus->setText(QString::fromUtf8(text));
        EXPECT_EQ(kivo::test::joined(kivo::test::layoutFaults(f.ui->GroupBox2)), "") << code;
    }
    EXPECT_GT(texts, 25);
    EXPECT_EQ(kivo::test::joined(kivo::test::layoutFaults(f.ui->pgDialing)), "");
    EXPECT_EQ(kivo::test::joined(kivo::test::layoutFaults(f.ui->GroupBox1)), "");
}

// ---- the ways out of an attempt ----------------------------------------------------------

TEST_F(DialTest, SkipPressedDuringThePauseGivesUpTheNextAttemptAtOnce)
{
    ScriptedRasBackend* ras = kivo::test::installScriptedRasBackend();
    ras->names = {"North", "South", "West"};
    TfrmSelect& f = ready({"North", "South", "West"});
    EXPECT_TRUE(dial({
        {"North dialled", [&] { return ras->dials.size() == 1; },
         [&] { ras->step(RASCS_ConnectDevice, ERROR_LINE_BUSY); }},
        {"North hung up", [&] { return ras->hangUps.size() == 1; },
         [&] {
             // In the pause: the Skip stays pending.
             f.ui->btnSkip->click();
             EXPECT_TRUE(SkipEntry);
             EXPECT_EQ(ras->dials.size(), 1u);
         }},
        {"South given up", [&] { return ras->hangUps.size() == 2; },
         [&] {
             // South was never answered; only the pending Skip ended it.
             EXPECT_EQ(ras->dials.size(), 2u);
             EXPECT_FALSE(SkipEntry);
         }},
        {"West dialled", [&] { return ras->dials.size() == 3; }, [&] { f.ui->btnAbort->click(); }},
    }));
    ASSERT_EQ(ras->dials.size(), 3u);
    EXPECT_EQ(ras->dials[1].entryName, "South");
    EXPECT_EQ(ras->dials[2].entryName, "West");
}

TEST_F(DialTest, AbortHangsUpOnceShowsTheSelectionPageAndTheQueueEndsAfterItsPause)
{
    ScriptedRasBackend* ras = kivo::test::installScriptedRasBackend();
    ras->names = {"North"};
    TfrmSelect& f = ready({"North"});
    int disconnectEvents = 0;
    const TRasStateEvent handler = f.RAS->OnDisconnect;
    f.RAS->OnDisconnect = [&](QObject* s, std::int32_t e, QString t) {
        ++disconnectEvents;
        handler(s, e, t);
    };
    EXPECT_TRUE(dial({
        {"dialled", [&] { return ras->dials.size() == 1; }, [&] { ras->step(RASCS_PortOpened); }},
        {"port opened", [&] { return statusOf(f) == "Port Opened"; },
         [&] {
             f.ui->btnAbort->click();
             EXPECT_EQ(f.PageIndex(), 1) << "the selection page at once";
             EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Entry Selection (1 of 3)");
             EXPECT_EQ(ras->hangUps.size(), 1u);
             EXPECT_FALSE(queueEnded) << "the queue still takes its pause";
         }},
    }));
    EXPECT_EQ(ras->hangUps.size(), 1u) << "no second hang-up after Abort";
    EXPECT_EQ(disconnectEvents, 1);
    EXPECT_EQ(ras->dials.size(), 1u);
    EXPECT_EQ(f.PageIndex(), 1);
    EXPECT_TRUE(StopDialing);
    EXPECT_TRUE(boxes.empty()) << "hang-ups of our own carry no message";
}

TEST_F(DialTest, ARunEnteredDuringThePauseOfAnAbortedOneStartsOverAndBothEnd)
{
    ScriptedRasBackend* ras = kivo::test::installScriptedRasBackend();
    ras->names = {"North", "South"};
    TfrmSelect& f = ready({"North", "South"});
    bool innerEnded = false;
    EXPECT_TRUE(dial({
        {"North dialled", [&] { return ras->dials.size() == 1; }, [&] { f.ui->btnAbort->click(); }},
        {"selection page", [&] { return f.PageIndex() == 1; },
         [&] {
             // Through to the dialing page again while the first run
             // pauses; from the queue's own events, as a click would come.
             QTimer::singleShot(0, &f, [&] {
                 f.setPageIndex(3);
                 f.ui->btnNext->click();
                 innerEnded = true;
                 EXPECT_FALSE(queueEnded) << "the first run goes on after the second";
             });
         }},
        {"dialled again", [&] { return ras->dials.size() == 2; },
         [&] {
             EXPECT_FALSE(innerEnded);
             f.ui->btnAbort->click();
         }},
    }));
    EXPECT_TRUE(innerEnded);
    ASSERT_EQ(ras->dials.size(), 2u) << "the first run does not dial again";
    EXPECT_EQ(ras->dials[1].entryName, "North") << "the second run starts over";
    EXPECT_EQ(f.PageIndex(), 1);
}

TEST_F(DialTest, ErrorsUpTo601KeepTheAttemptGoingAndFromFrom602OnTheyEndIt)
{
    ScriptedRasBackend* ras = kivo::test::installScriptedRasBackend();
    ras->names = {"North"};
    TfrmSelect& f = ready({"North"});
    const QString invalidPort = QString::fromStdString([] {
        char text[256] = {};
        RasGetErrorStringA(ERROR_INVALID_PORT_HANDLE, text, sizeof text);
        return std::string(text);
    }());
    EXPECT_TRUE(dial({
        {"dialled", [&] { return ras->dials.size() == 1; },
         [&] { ras->step(RASCS_ConnectDevice, ERROR_INVALID_PORT_HANDLE); }},
        {"601 shown", [&] { return statusOf(f) == invalidPort; },
         [&] {
             EXPECT_TRUE(ras->hangUps.empty());
             // The poll is still looking: the next step shows up.
             ras->step(RASCS_DeviceConnected);
         }},
        {"still polling", [&] { return statusOf(f) == "Device is connected"; },
         [&] {
             EXPECT_TRUE(ras->hangUps.empty());
             ras->step(RASCS_DeviceConnected, ERROR_PORT_ALREADY_OPEN);
         }},
        {"602 hung up", [&] { return ras->hangUps.size() == 1; }},
        {"next attempt", [&] { return ras->dials.size() == 2; }, [&] { f.ui->btnAbort->click(); }},
    }));
}

TEST_F(DialTest, ADialThatCannotStartMovesOnToTheNextEntry)
{
    ScriptedRasBackend* ras = kivo::test::installScriptedRasBackend();
    ras->names = {"North", "South"};
    ras->dialResult = ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    TfrmSelect& f = ready({"North", "South"});
    EXPECT_TRUE(
        dial({{"three dials", [&] { return ras->dials.size() == 3; }, [&] { f.ui->btnAbort->click(); }}}));
    EXPECT_EQ(ras->dials[0].entryName, "North");
    EXPECT_EQ(ras->dials[1].entryName, "South");
    EXPECT_EQ(ras->dials[2].entryName, "North");
    EXPECT_TRUE(ras->hangUps.empty()) << "nothing to hang up";
}

TEST_F(DialTest, ClosingTheWindowWhileDialingHangsUpAndEndsTheQueueAndTheProgram)
{
    ScriptedRasBackend* ras = kivo::test::installScriptedRasBackend();
    ras->names = {"North"};
    TfrmSelect& f = ready({"North"});
    QSignalSpy closed(&f, &TfrmSelect::closed);
    EXPECT_TRUE(dial({{"dialled", [&] { return ras->dials.size() == 1; },
                       [&] {
                           // The title bar's close box.
                           f.close();
                           EXPECT_EQ(closed.count(), 1) << "the main window's end ends the program";
                           EXPECT_EQ(ras->hangUps.size(), 1u);
                           EXPECT_FALSE(f.isVisible());
                       }}}));
    EXPECT_EQ(ras->dials.size(), 1u);
    EXPECT_EQ(ras->hangUps.size(), 1u);
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(DialTest, AClickHandledWhileTheDialingPageIsPaintedStartsNoQueue)
{
    ScriptedRasBackend* ras = kivo::test::installScriptedRasBackend();
    ras->names = {"North"};
    TfrmSelect& f = ready({"North"});
    // Handled by the one round of events that paints the page.
    QTimer::singleShot(0, &f, [&] { f.ui->btnAbort->click(); });
    f.ui->btnNext->click();
    EXPECT_TRUE(ras->dials.empty());
    EXPECT_EQ(f.PageIndex(), 1);

    f.setPageIndex(3);
    QTimer::singleShot(0, &f, [&] { f.close(); });
    f.ui->btnNext->click();
    EXPECT_TRUE(ras->dials.empty()) << "the program is ending";
}

TEST_F(DialTest, TheCloseButtonWhileDialingEndsTheQueue)
{
    ScriptedRasBackend* ras = kivo::test::installScriptedRasBackend();
    ras->names = {"North"};
    TfrmSelect& f = ready({"North"});
    QSignalSpy closed(&f, &TfrmSelect::closed);
    EXPECT_TRUE(
        dial({{"dialled", [&] { return ras->dials.size() == 1; }, [&] { f.ui->btnClose->click(); }}}));
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(ras->hangUps.size(), 1u);
}

TEST_F(DialTest, RASDisconnectShowsOnlyAMessageThatHasText)
{
    installed();
    TfrmSelect& f = create();
    f.Timer1->start();
    f.RASDisconnect(f.RAS, 629, "The port was disconnected by the remote machine.");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "The port was disconnected by the remote machine.");
    EXPECT_EQ(boxes[0].caption, "KIVO95 Wizard");
    EXPECT_EQ(boxes[0].type, UINT(MB_OK));
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_FALSE(f.TI->Active());

    f.Timer1->start();
    f.RASDisconnect(f.RAS, 6, "");
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_EQ(f.PageIndex(), 0) << "neither the page";
}

// ---- the tune thread ----------------------------------------------------------------------

TEST_F(DialTest, TheTunePlaysOncePerAttemptWhenThePostDialWindowAppears)
{
    setenv("KIVO95_DIALUP_WINDOWS", "1", 1);
    ASSERT_TRUE(kivo::dialup::Start());
    kivo::test::TempDir out;
    setenv("KIVO95_SOUND", ("file:" + out.file("played.wav")).c_str(), 1);
    const std::string tune = out.file("tune.wav");
    kivo::test::writeSilentWav(tune, 0.2);
    kivo::test::TraceCapture trace;
    // The password is refused after the remote end has answered, so the
    // post-dial window comes up in every attempt.
    phonebook("[Office]\nOutcome=badpassword\nStepMs=60\n");
    SimSpy* sim = kivo::test::installSimSpy();
    installed();
    writeSetting("Tune", Variant(tune));
    TfrmSelect& f = create();
    EXPECT_EQ(f.PDTCaptionText, kivo::dialup::kPostDialCaption);
    SelectedEntries.Add("Office");
    f.show();
    f.setPageIndex(3);
    const auto plays = [&] { return trace.count("PlaySoundA(sound=\"" + tune + "\""); };
    EXPECT_TRUE(dial({
        {"tune thread", [&] { return f.PDTThread != nullptr; }},
        {"three attempts over", [&] { return sim->hangUps == 3; }, [&] { f.ui->btnAbort->click(); }},
    }));
    EXPECT_EQ(plays(), 3) << "once in each attempt";
    EXPECT_EQ(f.PDTThread, nullptr) << "a run that ends without a connection ends its tune thread";
    kivo::dialup::Stop();
}

TEST_F(DialTest, WithoutATuneNoThreadIsStarted)
{
    phonebook(kFailingBook);
    SimSpy* sim = kivo::test::installSimSpy();
    TfrmSelect& f = ready({"North"});
    EXPECT_TRUE(dial({{"dialled", [&] { return sim->dials.size() == 1; },
                       [&] {
                           EXPECT_EQ(f.PDTThread, nullptr);
                           f.ui->btnAbort->click();
                       }}}));
}
