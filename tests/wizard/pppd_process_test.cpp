// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The kivo95 program ended by its surroundings while it dials with Debian's
// real pppd and chat: SIGTERM, SIGINT and SIGHUP close it as Close does (the
// line is hung up, exit code 0), and so does the loss of its X server; even
// after SIGKILL no pppd or chat of its dial stays on the line. A connection
// that a signal ends keeps the statistics of its last tick (the connected
// state comes from the fake pppd, since the real one cannot connect here).
//
// The program runs on Qt's xcb platform on a private Xvfb; the test clicks
// the first entry and Next three times through XTEST (xdotool), at positions
// read from the same window built in this process.
#include "tests/support/needs_root.h"
#include "tests/support/pppd_real.h"
#include "tests/support/x11_server.h"
#include "tests/wizard/dial_support.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <csignal>
#include <sstream>
#include <sys/prctl.h>
#include <unistd.h>

using kivo::test::HayesModem;
using kivo::test::ProcessInfo;
using kivo::test::readFile;
using kivo::test::TempDir;
using kivo::test::waitUntil;
using kivo::test::XServer;

namespace
{

class ProgramDialTest : public kivo::test::WizardTest
{
  protected:
    void SetUp() override
    {
        WizardTest::SetUp();
        ASSERT_EQ(kivo::test::pppdToolsMissing(), "");
        for (const char* tool : {"Xvfb", "xdotool"})
            ASSERT_FALSE(QStandardPaths::findExecutable(tool).isEmpty()) << tool << " must be installed";
        installed(0); // straight to the selection page
        setenv("KIVO95_RAS", "pppd", 1);
        setenv("KIVO95_PPP_PEERS", peers.path().c_str(), 1);
    }
    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(10000);
        }
        WizardTest::TearDown();
        for (const char* v : {"KIVO95_RAS", "KIVO95_PPP_PEERS", "KIVO95_PPPD", "KIVO95_FAKE_PPPD_SCENARIOS"})
            unsetenv(v);
    }

    // Where the first entry and the Next button are in the window, read from
    // the same window built here (on the offscreen platform).
    void measure()
    {
        TfrmSelect& f = create();
        ASSERT_EQ(f.PageIndex(), 1);
        ASSERT_GE(f.ui->ConList->Count(), 1);
        // Laid out as shown.
        f.show();
        QCoreApplication::processEvents();
        QListView* icons = f.ui->ConList->IconView();
        const QRect item = icons->visualRect(f.ui->ConList->Model()->index(0, 0));
        entryAt = icons->viewport()->mapTo(&f, item.center());
        nextAt = f.ui->btnNext->mapTo(&f, f.ui->btnNext->rect().center());
        form.reset();
    }

    std::string xdotool(const QStringList& args)
    {
        QProcess p;
        p.start("xdotool", args);
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "xdotool " << args.join(' ').toStdString() << " did not finish";
            return {};
        }
        return p.readAllStandardOutput().toStdString();
    }

    // Waits for the program's window with a title that starts with title;
    // returns its top-left corner on the screen (-1, -1 when it never shows).
    QPoint windowAt(const QString& title)
    {
        QPoint at(-1, -1);
        const std::string id = xdotool(
            {"search", "--sync", "--onlyvisible", "--name", "^" + title, "getwindowgeometry", "--shell"});
        std::istringstream shell(id);
        for (std::string line; std::getline(shell, line);) {
            if (line.rfind("X=", 0) == 0)
                at.setX(std::stoi(line.substr(2)));
            else if (line.rfind("Y=", 0) == 0)
                at.setY(std::stoi(line.substr(2)));
        }
        return at;
    }

    // The server takes XTEST's events in order, so the click lands where the
    // pointer was moved (mousemove --sync would wait for a move that does
    // not happen when the pointer is there already).
    void click(QPoint at)
    {
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    }

    // Starts kivo95 on the X server and takes it through to the dialing
    // page with the first entry selected.
    void startDialling(const XServer& x, const QString& pppd)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", QString::fromStdString(x.display()));
        env.insert("KIVO95_TRACE", QString::fromStdString(trace));
        env.insert("KIVO95_MESSAGEBOX", "default");
        env.insert("KIVO95_PPPD", pppd);
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(QString::fromStdString(cwd.path()));
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        // Not left running by a test that is killed.
        program.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        program.start(KIVO_BIN_DIR "/kivo95", {});
        ASSERT_TRUE(program.waitForStarted());

        const QPoint window = windowAt("KIVO95 Wizard - Entry Selection");
        ASSERT_GE(window.x(), 0) << "the wizard's window never showed";
        click(window + entryAt);
        click(window + nextAt);
        ASSERT_GE(windowAt("KIVO95 Wizard - Tune").x(), 0);
        click(window + nextAt);
        ASSERT_GE(windowAt("KIVO95 Wizard - Confirmation").x(), 0);
        click(window + nextAt);
        ASSERT_GE(windowAt("KIVO95 Wizard - Dialing").x(), 0);
    }

    std::string traced() { return readFile(trace); }

    TempDir peers;
    TempDir out;
    std::string trace = out.file("trace");
    QProcess program;
    QPoint entryAt, nextAt;
};

} // namespace

TEST_F(ProgramDialTest, EndedBySignalOrALostDisplayItLeavesNoPppdOrChatOnTheLine)
{
    KIVO_REQUIRE_ROOT("pppd takes the /dev/ppp test aid only from root");
    HayesModem modem(peers.path(), {{"5550004", ""}});
    ASSERT_TRUE(modem.ok()) << modem.error();
    kivo::test::writePeer(peers.path(), "silent", modem.path(), "5550004", 60);
    const QString pppd = QString::fromStdString(kivo::test::pppdWithAid(peers.path()));
    measure();

    constexpr int kLostDisplay = 0;
    for (int how : {SIGTERM, SIGINT, SIGHUP, SIGKILL, kLostDisplay}) {
        const std::string what = how == kLostDisplay ? "the X server ends" : strsignal(how);
        SCOPED_TRACE(what);
        XServer x;
        ASSERT_TRUE(x.ok()) << x.error();
        const int before = modem.dialled();
        startDialling(x, pppd);
        std::vector<ProcessInfo> running;
        ASSERT_TRUE(waitUntil([&] {
            running = kivo::test::dialProcesses(peers.path(), modem.pids());
            return modem.dialled() == before + 1 &&
                   std::any_of(running.begin(), running.end(),
                               [](const ProcessInfo& p) { return p.name == "chat"; });
        })) << "chat never talked to the modem; the wizard's trace:\n"
            << traced();
        std::vector<long> dial;
        for (const ProcessInfo& p : running)
            dial.push_back(p.pid);

        QElapsedTimer since;
        since.start();
        if (how == kLostDisplay)
            x.stop();
        else
            ::kill(static_cast<pid_t>(program.processId()), how);
        ASSERT_TRUE(program.waitForFinished(30000));
        if (how == SIGKILL) {
            EXPECT_EQ(program.exitStatus(), QProcess::CrashExit);
        } else {
            EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(program.exitCode(), 0);
            EXPECT_NE(traced().find("RasHangUpA("), std::string::npos) << "hung up as Close does";
        }
        EXPECT_TRUE(waitUntil([&] { return !kivo::test::anyAlive(dial); },
                              static_cast<int>(std::max<qint64>(0, 5000 - since.elapsed()))))
            << "pppd or chat still there 5 s after the wizard ended";
        EXPECT_TRUE(waitUntil([&] { return kivo::test::dialProcesses(peers.path(), modem.pids()).empty(); }));
        EXPECT_EQ(kivo::test::ttyHolders(modem.tty(), modem.pids()), std::vector<long>{});
    }
}

TEST_F(ProgramDialTest, ASignalEndsAConnectionWithTheStatisticsOfItsLastTick)
{
    // pppd cannot connect on this kernel: the fake pppd replays a
    // connection that holds until it is hung up.
    setenv("KIVO95_FAKE_PPPD_SCENARIOS", KIVO_SOURCE_DIR "/tests/data/pppd", 1);
    kivo::test::writeFile(peers.file("connected"), "/dev/ttyS0\n115200\n");
    measure();
    XServer x;
    ASSERT_TRUE(x.ok()) << x.error();
    startDialling(x, KIVO_SOURCE_DIR "/tests/support/fake-pppd");
    const auto ticks = [&] {
        const std::string t = traced();
        int n = 0;
        for (std::size_t at = 0; (at = t.find("name=\"LastTime\", type=", at)) != std::string::npos; ++at)
            ++n;
        return n;
    };
    ASSERT_TRUE(waitUntil([&] { return ticks() >= 2; })) << "connected and timed";

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    const std::string expected = SecsToStr(ticks());
    TRegFile reg;
    reg.setRootKey(hkLocalMachine);
    reg.setKey(kivo::reg::EntryKey("connected"));
    EXPECT_EQ(reg.ReadValue("LastTime").toString(), expected);
    EXPECT_EQ(reg.ReadValue("TotalTime").toString(), expected);
    EXPECT_EQ(reg.ReadValue("Accesses").toInt(), 1);
    EXPECT_NE(traced().find("RasHangUpA("), std::string::npos);
    EXPECT_TRUE(waitUntil([&] { return kivo::test::dialProcesses(peers.path()).empty(); }, 5000));
}
