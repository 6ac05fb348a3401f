// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The wizard over Debian's real pppd and chat, dialling a modem of ours
// (tests/support/pppd_real.h): what each answer of the modem shows, what a
// kernel without PPP shows, and that no hang-up leaves pppd or chat on the
// line. The wizard chooses the pppd backend itself (KIVO95_RAS=pppd) and
// lists the test's own peers directory.
//
// What a failed attempt shows is read from the trace (the dial's status and
// the error text the status line was given), because the status line shows
// it only for a moment; the device is read from the status line itself.
#include "tests/support/needs_root.h"
#include "tests/support/pppd_real.h"
#include "tests/support/tracecapture.h"
#include "tests/wizard/dial_support.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <regex>
#include <unistd.h>

using kivo::test::DialTest;
using kivo::test::HayesModem;
using kivo::test::ProcessInfo;
using kivo::test::QueueStep;
using kivo::test::TempDir;
using kivo::test::TraceCapture;
using kivo::test::waitUntil;

namespace
{

// What the trace says about the attempts, by entry: the first error of the
// dial's status and the text the layer gave for it.
struct Attempt {
    std::string handle;
    DWORD error = 0;
    std::string text;
};

std::map<std::string, Attempt> attemptsOf(const TraceCapture& trace)
{
    static const std::regex dialed(R"re(^RasDialA\(.*, entry="([^"]*)",.*\) = 0 hrasconn=(0x[0-9a-f]+))re");
    static const std::regex status(
        R"re(^RasGetConnectStatusA\(hrasconn=(0x[0-9a-f]+)\) = 0 state=\d+ error=(\d+))re");
    static const std::regex text(R"re(^RasGetErrorStringA\(code=(\d+), size=\d+\) = 0 "(.*)"$)re");
    std::map<std::string, Attempt> byEntry;
    std::map<std::string, std::string> entryOf;
    std::map<DWORD, std::string> texts;
    for (const std::string& line : trace.lines()) {
        std::smatch m;
        if (std::regex_search(line, m, dialed)) {
            entryOf[m[2]] = m[1];
            byEntry[m[1]].handle = m[2];
        } else if (std::regex_search(line, m, status)) {
            Attempt& a = byEntry[entryOf[m[1]]];
            if (a.error == 0)
                a.error = static_cast<DWORD>(std::stoul(m[2]));
        } else if (std::regex_search(line, m, text)) {
            texts[static_cast<DWORD>(std::stoul(m[1]))] = m[2];
        }
    }
    for (auto& [entry, a] : byEntry)
        a.text = texts[a.error];
    return byEntry;
}

std::string errorText(DWORD code)
{
    char text[257] = {};
    RasGetErrorStringA(code, text, 256);
    return text;
}

std::vector<long> pidsOf(const std::vector<ProcessInfo>& processes)
{
    std::vector<long> out;
    for (const ProcessInfo& p : processes)
        out.push_back(p.pid);
    return out;
}

bool has(const std::vector<ProcessInfo>& processes, const std::string& name)
{
    return std::any_of(processes.begin(), processes.end(),
                       [&](const ProcessInfo& p) { return p.name == name; });
}

class RealPppdTest : public DialTest
{
  protected:
    void SetUp() override
    {
        DialTest::SetUp();
        ASSERT_EQ(kivo::test::pppdToolsMissing(), "");
        setenv("KIVO95_RAS", "pppd", 1);
        setenv("KIVO95_PPP_PEERS", peers.path().c_str(), 1);
        unsetenv("KIVO95_PPPD");
    }
    void TearDown() override
    {
        DialTest::TearDown();
        unsetenv("KIVO95_RAS");
        unsetenv("KIVO95_PPP_PEERS");
        unsetenv("KIVO95_PPPD");
    }

    QString statusText() const { return form->ui->lblStatus->text(); }

    TempDir peers;
};

} // namespace

TEST_F(RealPppdTest, EachAnswerOfTheModemEndsItsAttemptWithItsOwnError)
{
    KIVO_REQUIRE_ROOT("pppd takes the /dev/ppp test aid only from root");
    HayesModem modem(peers.path(), {{"5550001", "BUSY"},
                                    {"5550002", "NO CARRIER"},
                                    {"5550003", "NO DIALTONE"},
                                    {"5550004", ""},
                                    {"5550005", "VOICE"},
                                    {"5550006", "CONNECT 33600"}});
    ASSERT_TRUE(modem.ok()) << modem.error();
    struct Row {
        const char* entry;
        const char* number;
        DWORD error;
    };
    const Row rows[] = {
        {"busy", "5550001", ERROR_LINE_BUSY},
        {"no-carrier", "5550002", ERROR_NO_CARRIER},
        {"no-dialtone", "5550003", ERROR_NO_DIALTONE},
        // chat gives up after its TIMEOUT
        {"no-answer", "5550004", ERROR_NO_ANSWER},
        {"voice", "5550005", ERROR_VOICE_ANSWER},
        // the modem connects; pppd cannot give the line to the kernel's PPP
        {"connect", "5550006", ERROR_PROTOCOL_NOT_CONFIGURED},
    };
    for (const Row& r : rows)
        kivo::test::writePeer(peers.path(), r.entry, modem.path(), r.number, 2);
    setenv("KIVO95_PPPD", kivo::test::pppdWithAid(peers.path()).c_str(), 1);

    TraceCapture trace;
    TfrmSelect& f = ready({"busy", "no-carrier", "no-dialtone", "no-answer", "voice", "connect"});
    // The peers name their line by the modem's pty link, a path of no
    // /dev/tty* kind: the status line names it all the same.
    const QString dialling = QString::fromStdString("Using Device: " + modem.path() + " - modem");
    EXPECT_TRUE(dial(
        {
            {"the device shown while dialling", [&] { return statusText() == dialling; }},
            {"every entry dialled and given up",
             [&] {
                 const auto attempts = attemptsOf(trace);
                 return attempts.size() == 6 && std::all_of(attempts.begin(), attempts.end(),
                                                            [](const auto& a) { return a.second.error; });
             },
             [&] { f.ui->btnAbort->click(); }},
        },
        60000));

    const auto attempts = attemptsOf(trace);
    for (const Row& r : rows) {
        ASSERT_TRUE(attempts.count(r.entry)) << r.entry;
        const Attempt& a = attempts.at(r.entry);
        EXPECT_EQ(a.error, r.error) << r.entry;
        EXPECT_EQ(a.text, errorText(r.error)) << r.entry << ": the status line's text";
    }
    // Each attempt reached its ATD: every pppd before it had let the line go.
    const auto commands = modem.commands();
    for (const Row& r : rows)
        EXPECT_NE(std::find(commands.begin(), commands.end(), std::string("ATDT") + r.number), commands.end())
            << r.entry;
    EXPECT_TRUE(
        waitUntil([&] { return kivo::test::dialProcesses(peers.path(), modem.pids()).empty(); }, 5000));
    EXPECT_TRUE(kivo::test::ttyHolders(modem.tty(), modem.pids()).empty());
}

TEST_F(RealPppdTest, AKernelWithoutPppSaysSoBeforeTheLineIsOpened)
{
    if (std::filesystem::exists("/dev/ppp"))
        GTEST_SKIP() << "this kernel has PPP support (/dev/ppp): nothing to show";
    if (::access(kivo::test::kRealPppd, X_OK) != 0)
        KIVO_REQUIRE_ROOT("only root and the dip group may run pppd");
    HayesModem modem(peers.path(), {{"5550001", "CONNECT 33600"}});
    ASSERT_TRUE(modem.ok()) << modem.error();
    kivo::test::writePeer(peers.path(), "isp", modem.path(), "5550001", 10);

    TraceCapture trace;
    TfrmSelect& f = ready({"isp"});
    EXPECT_TRUE(dial({{"the attempt given up", [&] { return attemptsOf(trace)["isp"].error != 0; },
                       [&] { f.ui->btnAbort->click(); }}}));
    const Attempt a = attemptsOf(trace)["isp"];
    EXPECT_EQ(a.error, ERROR_PROTOCOL_NOT_CONFIGURED);
    EXPECT_EQ(a.text, errorText(ERROR_PROTOCOL_NOT_CONFIGURED));
    EXPECT_NE(a.text.find("kernel lacks PPP support"), std::string::npos) << a.text;
    EXPECT_TRUE(trace.anyLineHas("exited code=4", "error=731"));
    EXPECT_TRUE(modem.commands().empty()) << "pppd stops before it opens the line";
}

// Skip, Abort and Close while chat talks to the modem: pppd, the shell of
// its connect script and chat all end, the line is free, and (after Skip)
// the next attempt gets its answers from the modem.
TEST_F(RealPppdTest, NoHangUpLeavesPppdOrChatOnTheLine)
{
    KIVO_REQUIRE_ROOT("pppd takes the /dev/ppp test aid only from root");
    HayesModem modem(peers.path(), {{"5550004", ""}});
    ASSERT_TRUE(modem.ok()) << modem.error();
    kivo::test::writePeer(peers.path(), "silent", modem.path(), "5550004", 60);
    setenv("KIVO95_PPPD", kivo::test::pppdWithAid(peers.path()).c_str(), 1);

    enum class Way { Skip, Abort, Close };
    for (Way way : {Way::Skip, Way::Abort, Way::Close}) {
        const char* name = way == Way::Skip ? "Skip" : way == Way::Abort ? "Abort" : "Close";
        SCOPED_TRACE(name);
        TfrmSelect& f = ready({"silent"});
        const int before = modem.dialled();
        std::vector<long> dial1;
        QElapsedTimer since;
        std::vector<QueueStep> steps = {
            {"chat waits for the modem's answer",
             [&] {
                 const auto running = kivo::test::dialProcesses(peers.path(), modem.pids());
                 return modem.dialled() == before + 1 && has(running, "pppd") && has(running, "chat");
             },
             [&] {
                 const auto running = kivo::test::dialProcesses(peers.path(), modem.pids());
                 dial1 = pidsOf(running);
                 // pppd, the shell and chat, in one group of their own.
                 for (const ProcessInfo& p : running)
                     EXPECT_NE(p.pgid, ::getpgrp()) << p.name;
                 since.start();
                 if (way == Way::Skip)
                     f.ui->btnSkip->click();
                 else if (way == Way::Abort)
                     f.ui->btnAbort->click();
                 else
                     f.ui->btnClose->click();
             }},
        };
        if (way == Way::Skip) {
            steps.push_back({"the skipped dial ends (5 s at most)",
                             [&] { return !kivo::test::anyAlive(dial1) || since.hasExpired(5000); }});
            steps.push_back({"the next attempt dials on the freed line",
                             [&] { return modem.dialled() == before + 2; },
                             [&] { f.ui->btnAbort->click(); }});
        }
        EXPECT_TRUE(dial(steps, 30000));
        ASSERT_FALSE(dial1.empty());
        EXPECT_TRUE(waitUntil([&] { return !kivo::test::anyAlive(dial1); },
                              static_cast<int>(std::max<qint64>(0, 5000 - since.elapsed()))))
            << "pppd or chat still there 5 s after the hang-up";
        EXPECT_TRUE(
            waitUntil([&] { return kivo::test::dialProcesses(peers.path(), modem.pids()).empty(); }, 5000));
        EXPECT_EQ(kivo::test::ttyHolders(modem.tty(), modem.pids()), std::vector<long>{});
    }
}
