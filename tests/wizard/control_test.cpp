// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The wizard driven from outside through its controller (what the command
// line and D-Bus call): a dial of named entries runs the window's own dial
// queue, the state and signals follow it, hang-up is the tray menu's, and a
// wizard out of sight tells the desktop about its connection and a broken
// line.
#include "tests/support/private_bus.h"
#include "tests/wizard/dial_support.h"
#include "wizard/DesktopNotifier.h"
#include "wizard/WizardControl.h"

#include <QSignalSpy>

using kivo::WizardControl;
using kivo::test::DialTest;
using kivo::test::PrivateBus;
using kivo::test::SimSpy;
using kivo::test::waitUntil;

namespace
{

class ControlTest : public DialTest
{
  protected:
    // A wizard on its selection page with "Other" selected by hand.
    TfrmSelect& wizard(const std::string& extra = "")
    {
        phonebook("[Busy Line]\nStepMs=5\nOutcome=busy\n"
                  "[Good Line]\nStepMs=5\n" +
                  extra + "[Other]\nStepMs=5\n");
        sim = kivo::test::installSimSpy();
        installed(0);
        TfrmSelect& f = create();
        f.NotificationAreaAvailable = [] { return true; };
        f.show();
        for (int i = 0; i < f.ui->ConList->Count(); ++i)
            f.ui->ConList->Item(i)->setSelected(f.ui->ConList->Item(i)->Caption() == "Other");
        EXPECT_EQ(SelectedEntries.Strings(), std::vector<std::string>{"Other"});
        return f;
    }

    std::vector<std::string> selected() const { return SelectedEntries.Strings(); }

    SimSpy* sim = nullptr;
};

// Lets every event already queued (a 0 ms timer included) be handled.
void handleQueuedEvents()
{
    bool reached = false;
    QTimer::singleShot(0, [&] { reached = true; });
    ASSERT_TRUE(waitUntil([&] { return reached; }));
}

} // namespace

TEST_F(ControlTest, DialsExactlyTheNamedEntriesThenHangsUpLikeTheTrayMenu)
{
    TfrmSelect& f = wizard();
    WizardControl control(&f);
    QSignalSpy failed(&control, &WizardControl::AttemptFailed);
    QSignalSpy connected(&control, &WizardControl::Connected);
    QSignalSpy disconnected(&control, &WizardControl::Disconnected);
    QStringList stateChanges;
    QStringList statusAtFailure;
    QObject::connect(&control, &WizardControl::propertiesChanged, [&](const QStringList& names) {
        if (names.contains("State"))
            stateChanges << control.State() + ":" + control.Entry();
    });
    QObject::connect(&control, &WizardControl::AttemptFailed,
                     [&] { statusAtFailure << control.StatusText(); });
    const std::string tune = cwd.file("ring.wav");
    kivo::test::writeSilentWav(tune, 0.1);

    ASSERT_EQ(control.Entries(), (QStringList{"Busy Line", "Good Line", "Other"}));
    EXPECT_EQ(control.StatusText(), "idle");
    // Names as a script may spell them.
    const WizardControl::Outcome outcome =
        control.Dial({"good line", "Busy Line"}, QString::fromStdString(tune));
    ASSERT_TRUE(outcome) << outcome.message.toStdString();
    EXPECT_TRUE(sim->dials.empty()) << "the dial starts from the event loop";

    ASSERT_TRUE(waitUntil([&] { return control.State() == "connected"; }));
    // The wizard's own queue did it: the selection, the tune, every attempt.
    EXPECT_EQ(selected(), (std::vector<std::string>{"Busy Line", "Good Line"}))
        << "Other is no longer selected";
    EXPECT_EQ(f.ui->lbEntries->count(), 2) << "the confirmation page listed them";
    EXPECT_EQ(readSetting("Tune").toString(), tune);
    EXPECT_EQ(sim->dials, (std::vector<std::string>{"Busy Line", "Good Line"}));
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed[0][0].toString(), "Busy Line");
    EXPECT_EQ(failed[0][1].toUInt(), 676u);
    const QString busyText = failed[0][2].toString();
    EXPECT_FALSE(busyText.isEmpty());
    EXPECT_EQ(statusAtFailure, QStringList{"dialing Busy Line, attempt 1, last error: " + busyText});
    ASSERT_EQ(connected.size(), 1);
    EXPECT_EQ(connected[0][0].toString(), "Good Line");
    EXPECT_EQ(stateChanges, (QStringList{"dialing:Busy Line", "connected:Good Line"}));
    EXPECT_EQ(control.Entry(), "Good Line");
    EXPECT_EQ(control.Attempt(), 2);
    EXPECT_EQ(control.LastError(), 676u) << "the run's last failure stays readable";
    EXPECT_EQ(f.PageIndex(), 5);
    EXPECT_EQ(readStat("Good Line", "Accesses").toInt(), 1);
    EXPECT_EQ(readStat("Busy Line", "Accesses").toInt(), 0);
    EXPECT_TRUE(control.StatusText().startsWith("connected to Good Line for 00:00:0"))
        << control.StatusText().toStdString();
    // A script reads the clock the Info page shows, tick for tick.
    f.Timer1->stop();
    for (int i = 0; i < 3; ++i)
        f.Timer1Timer(f.Timer1);
    EXPECT_EQ(control.ConnectedSeconds(), static_cast<std::uint32_t>(ConnectSeconds));
    EXPECT_TRUE(control.StatusText().endsWith(QString::fromStdString(readStat("Good Line", "LastTime").toString())))
        << control.StatusText().toStdString();

    // Connected: another dial is refused, and nothing is dialled.
    const WizardControl::Outcome again = control.Dial({"Other"}, {});
    EXPECT_EQ(again.kind, WizardControl::Outcome::Busy);
    EXPECT_TRUE(again.message.contains("\"Good Line\"")) << again.message.toStdString();

    control.HangUp();
    EXPECT_EQ(control.State(), "idle");
    EXPECT_EQ(control.Entry(), "");
    EXPECT_EQ(control.ConnectedSeconds(), 0u);
    ASSERT_EQ(disconnected.size(), 1);
    EXPECT_EQ(disconnected[0], (QList<QVariant>{"Good Line", 0u, ""})) << "hung up by the wizard";
    // As the tray menu's Disconnect: the selection page, Back disabled, Next and Close there.
    EXPECT_EQ(f.PageIndex(), 1);
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.TI->Active());
    EXPECT_FALSE(f.RAS->ConnHandle());
    EXPECT_EQ(sim->dials.size(), 2u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ControlTest, WrongRequestsAreRefusedAndNothingIsDialled)
{
    TfrmSelect& f = wizard();
    WizardControl control(&f);

    WizardControl::Outcome o = control.Dial({"Good Line", "Nowhere", "Elsewhere"}, {});
    EXPECT_EQ(o.kind, WizardControl::Outcome::UnknownEntry);
    const std::string m = o.message.toStdString();
    EXPECT_NE(m.find("\"Nowhere\", \"Elsewhere\""), std::string::npos) << m;
    EXPECT_EQ(m.find("\"Good Line\","), m.rfind("\"Good Line\","))
        << "named once, among those that exist: " << m;
    EXPECT_NE(m.find("\"Busy Line\", \"Good Line\", \"Other\""), std::string::npos) << m;

    EXPECT_EQ(control.Dial({}, {}).kind, WizardControl::Outcome::UnknownEntry);
    EXPECT_EQ(control.Dial({"Good Line"}, "ring.wav").kind, WizardControl::Outcome::BadTune)
        << "not a full path";
    EXPECT_EQ(control.Dial({"Good Line"}, QString::fromStdString(cwd.file("missing.wav"))).kind,
              WizardControl::Outcome::BadTune);

    handleQueuedEvents();
    EXPECT_TRUE(sim->dials.empty());
    EXPECT_EQ(f.PageIndex(), 1);
    EXPECT_EQ(selected(), std::vector<std::string>{"Other"});
    EXPECT_EQ(control.State(), "idle");
}

TEST_F(ControlTest, ADialDuringADialTakesOverAndHangUpAbortsIt)
{
    TfrmSelect& f = wizard("[Ringing]\nStepMs=50\nOutcome=noanswer\n");
    WizardControl control(&f);
    ASSERT_TRUE(control.Dial({"Ringing"}, {}));

    // The dial queue runs until it ends; what follows acts from inside it.
    bool replaced = false;
    bool hungUp = false;
    int attemptOfTheNewRun = -1;
    QTimer check;
    check.setInterval(10);
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (!replaced && control.State() == "dialing") {
            replaced = true;
            EXPECT_EQ(control.Entry(), "Ringing");
            // A second request replaces the first: the dial under way is aborted.
            EXPECT_TRUE(control.Dial({"Ringing"}, {}));
        } else if (replaced && !hungUp && sim->dials.size() == 2 && control.State() == "dialing") {
            hungUp = true;
            attemptOfTheNewRun = control.Attempt();
            control.HangUp();
            EXPECT_EQ(control.State(), "idle");
            EXPECT_EQ(f.PageIndex(), 1) << "as Abort Dialing";
        }
    });
    check.start();
    ASSERT_TRUE(waitUntil([&] { return hungUp; }));
    check.stop();
    EXPECT_EQ(attemptOfTheNewRun, 1) << "a new run counts from 1";
    handleQueuedEvents();
    EXPECT_EQ(sim->dials.size(), 2u);
    EXPECT_EQ(control.State(), "idle");
    EXPECT_FALSE(f.RAS->ConnHandle());

    // A dial asked for and withdrawn before it began never starts.
    ASSERT_TRUE(control.Dial({"Good Line"}, {}));
    control.HangUp();
    handleQueuedEvents();
    EXPECT_EQ(sim->dials.size(), 2u);
    EXPECT_EQ(control.State(), "idle");
}

// A wizard that went out of sight tells the desktop: one notification when it
// connects, one when the line breaks (with the box it always shows).
TEST_F(ControlTest, AHiddenWizardNotifiesItsConnectionAndABrokenLineOnce)
{
    PrivateBus bus;
    ASSERT_EQ(bus.error(), "");
    ASSERT_EQ(bus.startNotificationStandIn(), "");
    TfrmSelect& f = wizard("[Dropping]\nStepMs=5\nDropAfterSeconds=1\n");
    WizardControl control(&f);
    kivo::DesktopNotifier notifier(bus.connection());
    control.setNotifier(&notifier);
    QSignalSpy disconnected(&control, &WizardControl::Disconnected);

    ASSERT_TRUE(control.Dial({"Dropping"}, {}));
    ASSERT_TRUE(waitUntil([&] { return disconnected.size() == 1; }));
    ASSERT_TRUE(waitUntil([&] { return notifier.answered() == 2; }));
    EXPECT_EQ(bus.standInSummaries(), (QStringList{"Connected to Dropping", "Connection has been broken!"}));
    EXPECT_EQ(disconnected[0][0].toString(), "Dropping");
    EXPECT_EQ(disconnected[0][1].toUInt(), 629u);
    EXPECT_EQ(control.LastError(), 629u);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Connection has been broken!");
    EXPECT_EQ(notifier.sent(), 2) << "one per event";
}

TEST(DesktopNotifier, WithoutAServerNothingIsShownOrReported)
{
    PrivateBus bus;
    ASSERT_EQ(bus.error(), "");
    kivo::DesktopNotifier notifier(bus.connection());
    notifier.notify("Connected to Nowhere", {}, kivo::DesktopNotifier::Kind::Connected);
    ASSERT_TRUE(waitUntil([&] { return notifier.failed() == 1; }));
    EXPECT_EQ(notifier.answered(), 0);

    // No bus at all: nothing is sent.
    kivo::DesktopNotifier offline(QDBusConnection(QStringLiteral("kivo95-no-such-connection")));
    offline.notify("Connected to Nowhere", {}, kivo::DesktopNotifier::Kind::Connected);
    EXPECT_EQ(offline.sent(), 0);
}
