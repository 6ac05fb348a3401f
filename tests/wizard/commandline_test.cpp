// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// kivo95's command line and its D-Bus interface, on the real program: the
// wizard started with --dial, later starts that ask it for its status or to
// hang up, gdbus calls on a private session bus, and the desktop
// notifications a notification server receives (python3-dbusmock's stand-in,
// and Debian's dunst on an X server).
#include "tests/support/private_bus.h"
#include "tests/support/x11_server.h"
#include "tests/wizard/program_support.h"
#include "wizard/ProgramInfo.h"

#include <QRegularExpression>

using kivo::test::Finished;
using kivo::test::PrivateBus;
using kivo::test::ProgramHome;
using kivo::test::waitUntil;
using kivo::test::XServer;

namespace
{

const char kPhonebook[] = "[Busy Line]\nStepMs=5\nOutcome=busy\n"
                          "[Good Line]\nStepMs=5\n"
                          "[Other]\nStepMs=5\n";

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// "connected to Good Line for 00:00:07"
bool connectedStatus(const Finished& f, const std::string& entry)
{
    const QRegularExpression re(QStringLiteral("^connected to %1 for \\d\\d:\\d\\d:\\d\\d\\n$")
                                    .arg(QRegularExpression::escape(QString::fromStdString(entry))));
    return f.status == 0 && re.match(QString::fromStdString(f.out)).hasMatch();
}

// gdbus on the private session bus, aimed at the wizard's object.
class Gdbus
{
  public:
    explicit Gdbus(ProgramHome& home) : m_home(home) {}
    Finished call(const QString& method, const QStringList& args = {})
    {
        return m_home.run(QStringLiteral("gdbus"),
                          QStringList{"call", "--session", "--dest", "org.kivo95.Wizard", "--object-path",
                                      "/org/kivo95/Wizard", "--method", method} +
                              args);
    }
    Finished property(const QString& name)
    {
        return call("org.freedesktop.DBus.Properties.Get", {"org.kivo95.Wizard1", name});
    }

  private:
    ProgramHome& m_home;
};

// gdbus monitor's record of everything the wizard sends on the bus.
class BusMonitor
{
  public:
    explicit BusMonitor(ProgramHome& home)
        : m_process(home.start("gdbus", {"monitor", "--session", "--dest", "org.kivo95.Wizard"}))
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput,
                         [this] { m_text += m_process.readAllStandardOutput().toStdString(); });
    }
    const std::string& text() const { return m_text; }
    int count(const std::string& part) const
    {
        int n = 0;
        for (std::size_t at = m_text.find(part); at != std::string::npos; at = m_text.find(part, at + 1))
            ++n;
        return n;
    }
    bool waitFor(const std::string& part, int times = 1)
    {
        return waitUntil([&] { return count(part) >= times; });
    }

  private:
    QProcess& m_process;
    std::string m_text;
};

} // namespace

TEST(CommandLine, HelpVersionAndMistakes)
{
    ProgramHome home;
    home.phonebook(kPhonebook);

    const Finished help = home.kivo95({"--help"});
    EXPECT_EQ(help.status, 0) << help;
    for (const char* option : {"--dial", "--tune <FILE>", "--hang-up", "--status", "--version", "[ENTRY...]"})
        EXPECT_TRUE(contains(help.out, option)) << option << " in " << help.out;
    EXPECT_FALSE(contains(help.out, "platform")) << "Qt's own options are accepted, not advertised";
    EXPECT_EQ(help.err, "");

    const Finished version = home.kivo95({"--version"});
    EXPECT_EQ(version.status, 0) << version;
    EXPECT_EQ(version.out.rfind(std::string("kivo95 ") + kivo::program::kVersion + "\n", 0), 0u) << version;
    EXPECT_TRUE(contains(version.out, "GPL-3.0-or-later")) << version;

    for (const QStringList& wrong : {QStringList{"--bogus"}, QStringList{"--dial"}, QStringList{"Good Line"},
                                     QStringList{"--tune", "x.wav"}, QStringList{"--status", "--hang-up"}}) {
        const Finished f = home.kivo95(wrong);
        EXPECT_EQ(f.status, 2) << wrong.join(' ').toStdString() << ": " << f;
        EXPECT_TRUE(contains(f.err, "kivo95 --help")) << f;
        EXPECT_EQ(f.out, "");
    }

    // No wizard runs.
    const Finished status = home.kivo95({"--status"});
    EXPECT_EQ(status.status, 1) << status;
    EXPECT_EQ(status.out, "no wizard runs\n");
    const Finished hangUp = home.kivo95({"--hang-up"});
    EXPECT_EQ(hangUp.status, 1) << hangUp;
    EXPECT_TRUE(contains(hangUp.err, "no wizard runs")) << hangUp;

    // A dial of an unknown entry starts no wizard and dials nothing.
    const Finished unknown = home.kivo95({"--dial", "Good Line", "Nowhere"});
    EXPECT_EQ(unknown.status, 2) << unknown;
    EXPECT_TRUE(contains(unknown.err, "\"Nowhere\"")) << unknown;
    EXPECT_TRUE(contains(unknown.err, "\"Busy Line\", \"Good Line\", \"Other\"")) << unknown;
    EXPECT_EQ(home.kivo95({"--status"}).status, 1) << "no wizard stayed";
    EXPECT_EQ(home.accesses("Good Line"), 0);
}

// Through the single-instance channel only: no session bus at all, which
// the wizard reports once and then runs without.
TEST(CommandLine, DialStatusAndHangUpWithoutASessionBus)
{
    ProgramHome home;
    home.phonebook(kPhonebook);
    QProcess& wizard = home.startWizard({"--dial", "Good Line"});
    std::string wizardErr;
    QObject::connect(&wizard, &QProcess::readyReadStandardError,
                     [&] { wizardErr += wizard.readAllStandardError().toStdString(); });
    ASSERT_TRUE(waitUntil([&] { return home.accesses("Good Line") == 1; })) << wizardErr;
    EXPECT_TRUE(contains(wizardErr, "runs without D-Bus control")) << wizardErr;

    EXPECT_TRUE(connectedStatus(home.kivo95({"--status"}), "Good Line"));
    const Finished refused = home.kivo95({"--dial", "Other"});
    EXPECT_EQ(refused.status, 1) << refused;
    EXPECT_TRUE(contains(refused.err, "Already connected to \"Good Line\"")) << refused;
    const Finished unknown = home.kivo95({"--dial", "Nowhere"});
    EXPECT_EQ(unknown.status, 2) << unknown;
    EXPECT_TRUE(contains(unknown.err, "\"Busy Line\", \"Good Line\", \"Other\"")) << unknown;

    const Finished hangUp = home.kivo95({"--hang-up"});
    EXPECT_EQ(hangUp.status, 0) << hangUp;
    EXPECT_EQ(home.kivo95({"--status"}).out, "idle\n");

    // Again through the running wizard, a failing entry first.
    const std::string tune = home.home.file("ring.wav");
    kivo::test::writeFile(tune, std::string("RIFF"));
    const Finished dial = home.kivo95({"--dial", "Good Line", "Busy Line", "--tune", "ring.wav"});
    EXPECT_EQ(dial.status, 0) << dial;
    ASSERT_TRUE(waitUntil([&] { return home.accesses("Good Line") == 2; })) << wizardErr;
    EXPECT_EQ(home.accesses("Busy Line"), 0);
    EXPECT_TRUE(connectedStatus(home.kivo95({"--status"}), "Good Line"));
    TRegFile reg;
    reg.setRootKey(hkLocalMachine);
    reg.setKey(kivo::reg::AppKey);
    EXPECT_EQ(reg.ReadValue(kivo::reg::Tune).toString(), tune) << "the tune, by its full path";
    EXPECT_EQ(wizard.state(), QProcess::Running);
}

// What a desktop has: an X server with a window manager, a session bus, a
// notification server. kivo95 --dial connects without a click; its status,
// its hang-up, the same through gdbus, and one notification per connection.
TEST(CommandLine, DialFromTheCommandLineAndFromDBusUnderX)
{
    XServer x(XServer::WindowManager::Openbox);
    ASSERT_TRUE(x.ok()) << x.error();
    PrivateBus bus;
    ASSERT_EQ(bus.error(), "");
    ASSERT_EQ(bus.startNotificationStandIn(), "");
    ProgramHome home(QStringLiteral("xcb"));
    home.phonebook(kPhonebook);
    BusMonitor monitor(home);
    Gdbus gdbus(home);

    home.startWizard({"--dial", "Good Line"});
    ASSERT_TRUE(monitor.waitFor("org.kivo95.Wizard1.Connected ('Good Line',)")) << monitor.text();
    EXPECT_EQ(home.accesses("Good Line"), 1);
    EXPECT_TRUE(connectedStatus(home.kivo95({"--status"}), "Good Line"));
    EXPECT_EQ(gdbus.property("State").out, "(<'connected'>,)\n");
    EXPECT_EQ(gdbus.property("Entry").out, "(<'Good Line'>,)\n");
    EXPECT_TRUE(contains(monitor.text(), "PropertiesChanged ('org.kivo95.Wizard1', {"));
    EXPECT_TRUE(contains(monitor.text(), "'State': <'connected'>")) << monitor.text();
    ASSERT_TRUE(waitUntil([&] { return bus.standInSummaries().size() == 1; }));
    EXPECT_EQ(bus.standInSummaries(), QStringList{"Connected to Good Line"});

    EXPECT_EQ(home.kivo95({"--hang-up"}).status, 0);
    ASSERT_TRUE(monitor.waitFor("org.kivo95.Wizard1.Disconnected ('Good Line', uint32 0, '')"))
        << monitor.text();
    EXPECT_EQ(home.kivo95({"--status"}).out, "idle\n");

    // The same through D-Bus.
    EXPECT_EQ(gdbus.call("org.kivo95.Wizard1.Entries").out, "(['Busy Line', 'Good Line', 'Other'],)\n");
    const Finished unknown = gdbus.call("org.kivo95.Wizard1.Dial", {"['Nowhere']", ""});
    EXPECT_NE(unknown.status, 0);
    EXPECT_TRUE(contains(unknown.err, "org.kivo95.Wizard1.Error.UnknownEntry")) << unknown;
    EXPECT_TRUE(contains(unknown.err, "\"Nowhere\"")) << unknown;

    const Finished dial = gdbus.call("org.kivo95.Wizard1.Dial", {"['Busy Line', 'Good Line']", ""});
    EXPECT_EQ(dial.status, 0) << dial;
    ASSERT_TRUE(monitor.waitFor("org.kivo95.Wizard1.Connected ('Good Line',)", 2)) << monitor.text();
    EXPECT_TRUE(contains(monitor.text(), "org.kivo95.Wizard1.AttemptFailed ('Busy Line', uint32 676, "))
        << monitor.text();
    EXPECT_EQ(home.accesses("Good Line"), 2);
    EXPECT_EQ(gdbus.property("LastError").out, "(<uint32 676>,)\n");
    const Finished busy = gdbus.call("org.kivo95.Wizard1.Dial", {"['Other']", ""});
    EXPECT_TRUE(contains(busy.err, "org.kivo95.Wizard1.Error.Busy")) << busy;

    EXPECT_EQ(gdbus.call("org.kivo95.Wizard1.HangUp").status, 0);
    ASSERT_TRUE(monitor.waitFor("org.kivo95.Wizard1.Disconnected ('Good Line', uint32 0, '')", 2))
        << monitor.text();
    EXPECT_EQ(gdbus.property("State").out, "(<'idle'>,)\n");
    ASSERT_TRUE(waitUntil([&] { return bus.standInSummaries().size() >= 2; }));
    EXPECT_EQ(bus.standInSummaries(), (QStringList{"Connected to Good Line", "Connected to Good Line"}))
        << "exactly one per connection";
}

// A real notification server of the desktop (dunst): it shows the
// connection, and the broken line of the wizard out of sight.
TEST(CommandLine, ARealNotificationServerShowsTheConnectionAndTheBrokenLine)
{
    XServer x(XServer::WindowManager::Openbox);
    ASSERT_TRUE(x.ok()) << x.error();
    PrivateBus bus;
    ASSERT_EQ(bus.error(), "");
    ASSERT_EQ(bus.startDunst(), "");
    ProgramHome home(QStringLiteral("xcb"));
    home.phonebook("[Dropping]\nStepMs=5\nDropAfterSeconds=2\n");

    home.startWizard({"--dial", "Dropping"});
    ASSERT_TRUE(waitUntil([&] { return bus.dunstShown().size() >= 2; }))
        << bus.dunstShown().join('\n').toStdString();
    const QStringList shown = bus.dunstShown();
    ASSERT_EQ(shown.size(), 2) << shown.join('\n').toStdString();
    EXPECT_EQ(shown[0], "Connected to Dropping|");
    EXPECT_TRUE(shown[1].startsWith("Connection has been broken!|Dropping: ")) << shown[1].toStdString();
    EXPECT_EQ(home.accesses("Dropping"), 1);
    EXPECT_EQ(home.kivo95({"--status"}).out, "idle\n");
}
