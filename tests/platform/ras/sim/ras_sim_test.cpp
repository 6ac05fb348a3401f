// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The simulated RAS service: its phonebook, its scripted attempts, drops,
// and what every backend must do (the contract suite at the end, which the
// other backends join with instantiations of their own).
#include "platform/ras/pppd/ras_pppd.h"
#include "platform/ras/ras.h"
#include "platform/ras/ras_backend.h"
#include "platform/ras/sim/ras_sim_phonebook.h"
#include "platform/system/trace.h"
#include "tests/support/ras_test_util.h"
#include "tests/support/testsupport.h"
#include "tests/support/tracecapture.h"

#include <QDir>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

using namespace kivo::test;
using kivo::ras::sim::Outcome;
using kivo::ras::sim::parsePhonebook;

namespace
{

// A sim of its own over a phonebook written by the test.
struct SimBook {
    explicit SimBook(const std::string& text) : path(dir.file("test.pbk"))
    {
        writeFile(path, text);
        kivo::ras::installBackend(kivo::ras::makeSimBackend(), "test");
    }
    const char* pbk() const { return path.c_str(); }
    TempDir dir;
    std::string path;
};

const std::vector<RasStep> kConnected = {{0, 0}, {1, 0}, {2, 0},  {3, 0},
                                         {4, 0}, {5, 0}, {14, 0}, {0x2000, 0}};

std::vector<RasStep> upTo(DWORD state, DWORD error)
{
    std::vector<RasStep> out;
    for (const RasStep& s : kConnected) {
        out.push_back(s);
        if (s.first == state)
            break;
    }
    out.emplace_back(state, error);
    return out;
}

// Dials an entry and waits for the dial to end; returns its steps.
std::vector<RasStep> dialToTheEnd(const SimBook& book, const std::string& entry, HRASCONN* keep = nullptr)
{
    StepRecorder rec;
    HRASCONN h = nullptr;
    if (dialEntry(book.pbk(), entry, rec.hwnd, h) != 0)
        return {};
    waitUntil([&] {
        return rec.ended() || (!rec.steps.empty() && rec.steps.back().first == RASCS_Connected && !keep);
    });
    if (keep)
        *keep = h;
    else
        RasHangUpA(h);
    return rec.steps;
}

} // namespace

TEST(SimPhonebook, ReadsEntriesKeysAndDefaults)
{
    const auto book = parsePhonebook("\xEF\xBB\xBF; comment\r\n"
                                     "[Office]\r\n"
                                     "  phonenumber = 555-0100  \r\n"
                                     "Device=Acme 56K\r\n"
                                     "DEVICETYPE=isdn\r\n"
                                     "Outcome = busy, NoAnswer ,connect,fail:651\r\n"
                                     "StepMs=20\r\n"
                                     "DropAfterSeconds=1.5\r\n"
                                     "AreaCode=0113\r\n"
                                     "# another comment\n"
                                     "[ Home ]\n");
    EXPECT_TRUE(book.problems.empty());
    ASSERT_EQ(book.entries.size(), 2u);
    const auto& o = book.entries[0];
    EXPECT_EQ(o.name, "Office");
    EXPECT_EQ(o.phoneNumber, "555-0100");
    EXPECT_EQ(o.device, "Acme 56K");
    EXPECT_EQ(o.deviceType, "isdn");
    ASSERT_EQ(o.outcomes.size(), 4u);
    EXPECT_EQ(o.outcomes[0].outcome, Outcome::Busy);
    EXPECT_EQ(o.outcomes[1].outcome, Outcome::NoAnswer);
    EXPECT_EQ(o.outcomes[2].outcome, Outcome::Connect);
    EXPECT_EQ(o.outcomes[3].outcome, Outcome::Fail);
    EXPECT_EQ(o.outcomes[3].code, 651u);
    EXPECT_EQ(o.stepMs, 20);
    EXPECT_DOUBLE_EQ(o.dropAfterSeconds, 1.5);

    const auto& h = book.entries[1];
    EXPECT_EQ(h.name, "Home");
    EXPECT_EQ(h.stepMs, 300);
    EXPECT_EQ(h.dropAfterSeconds, 0);
    ASSERT_EQ(h.outcomes.size(), 1u);
    EXPECT_EQ(h.outcomes[0].outcome, Outcome::Connect);
    EXPECT_EQ(h.deviceType, "modem");
    EXPECT_EQ(book.find("HOME"), &h) << "names compare ignoring case";
    EXPECT_EQ(book.find("Cottage"), nullptr);
}

TEST(SimPhonebook, MalformedLinesAreSkippedWithTheirLineNumbers)
{
    const std::string longName(257, 'n');
    const auto book = parsePhonebook("StepMs=5\n"                     // 1: before any entry
                                     "[Good]\n"                       // 2
                                     "just words\n"                   // 3
                                     "StepMs=fast\n"                  // 4
                                     "Outcome=busy,,connect\n"        // 5
                                     "Outcome=fail:42\n"              // 6
                                     "DropAfterSeconds=-1\n"          // 7
                                     "DeviceType=a-very-long-type!\n" // 8: 17 bytes
                                     "=value\n"                       // 9
                                     "[Unclosed\n"                    // 10
                                     "PhoneNumber=1\n"                // 11: belongs to the skipped entry
                                     "[]\n"                           // 12
                                     "[" +
                                     longName +
                                     "]\n"                  // 13
                                     "[good]\n"             // 14: already defined
                                     "[Also Good]\n"        // 15
                                     "Outcome=teleport\n"); // 16
    std::vector<int> lines;
    for (const auto& p : book.problems)
        lines.push_back(p.line);
    EXPECT_EQ(lines, (std::vector<int>{1, 3, 4, 5, 6, 7, 8, 9, 10, 12, 13, 14, 16}));
    ASSERT_EQ(book.entries.size(), 2u);
    EXPECT_EQ(book.entries[0].name, "Good");
    EXPECT_EQ(book.entries[0].stepMs, 300) << "a bad value leaves the default";
    EXPECT_EQ(book.entries[0].outcomes.size(), 1u);
    EXPECT_EQ(book.entries[0].deviceType, "modem");
    EXPECT_EQ(book.entries[1].name, "Also Good");
    for (const auto& p : book.problems)
        EXPECT_NE(p.message.find("skipped"), std::string::npos) << p.message;

    // Binary junk never crashes the reader.
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk.push_back(static_cast<char>((i * 7919) % 256));
    parsePhonebook(junk);
}

TEST(SimBackend, MalformedLinesAreReportedOnStderrOnceWithFileAndLine)
{
    SimBook book("[Office]\nStepMs=5\nOutcome=sometimes\n[Home]\n");
    testing::internal::CaptureStderr();
    const auto names = listEntries(book.pbk());
    listEntries(book.pbk());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(names, (std::vector<std::string>{"Office", "Home"}));
    EXPECT_NE(err.find(book.path + ":3: "), std::string::npos) << err;
    EXPECT_EQ(err.find(book.path + ":3: "), err.rfind(book.path + ":3: ")) << "reported once, not per call";

    // Edited by hand: read again, reported again.
    writeFile(book.path, "[Office]\nStepMs=5\n[Home]\nbroken\n[Cottage]\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(listEntries(book.pbk()), (std::vector<std::string>{"Office", "Home", "Cottage"}));
    EXPECT_NE(testing::internal::GetCapturedStderr().find(book.path + ":4: "), std::string::npos);
}

TEST(SimBackend, LogLinesShowControlCharactersInNamesEscaped)
{
    // Entry names come from a file anyone may have written: an escape
    // sequence in one must not reach a terminal through standard error or
    // the trace as it is.
    const std::string evil = "Evil\x1b]0;owned\x07\x1b[2J\xc2\x9b"
                             "31m";
    const std::string tooLong = "\x1b[31m" + std::string(300, 'x');
    SimBook book("[" + evil + "]\nStepMs=5\n[" + evil + "]\n[" + tooLong + "]\n");
    TraceCapture trace;
    setenv("QT_FORCE_STDERR_LOGGING", "1", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(listEntries(book.pbk()), std::vector<std::string>{evil});
    StepRecorder rec;
    HRASCONN h = nullptr;
    ASSERT_EQ(dialEntry(book.pbk(), evil, rec.hwnd, h), 0u);
    RasHangUpA(h);
    const std::string err = testing::internal::GetCapturedStderr();
    unsetenv("QT_FORCE_STDERR_LOGGING");

    EXPECT_NE(err.find("entry \"Evil\\x1b]0;owned\\x07\\x1b[2J\\u009b31m\" is already defined"),
              std::string::npos)
        << err;
    std::string all = err;
    for (const std::string& line : trace.lines())
        all += line + "\n";
    EXPECT_TRUE(trace.anyLineHas("RasDialA(", "entry=\"Evil\\x1b]0;owned\\x07\\x1b[2J\\u009b31m\""));
    for (const unsigned char c : all)
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c != 0x7f)) << "a raw control character in:\n" << all;
    EXPECT_EQ(all.find("\xc2\x9b"), std::string::npos) << "nor a C1 control";

    EXPECT_EQ(kivo::trace::escape("tab\there \\ \"q\" \xff caf\xc3\xa9"),
              "tab\\there \\\\ \"q\" \\xff caf\xc3\xa9");
    EXPECT_EQ(kivo::trace::quote("\"q\""), "\"\\\"q\\\"\"");
}

TEST(SimBackend, ScriptedOutcomesComeInOrderAttemptByAttempt)
{
    SimBook book("[Horizon]\nStepMs=5\nOutcome=busy,busy,connect\n[Other]\nStepMs=5\nOutcome=busy\n");
    EXPECT_EQ(dialToTheEnd(book, "Horizon"), upTo(RASCS_ConnectDevice, ERROR_LINE_BUSY));
    // Another entry's attempts do not move this one's script.
    EXPECT_EQ(dialToTheEnd(book, "Other"), upTo(RASCS_ConnectDevice, ERROR_LINE_BUSY));
    EXPECT_EQ(dialToTheEnd(book, "horizon"), upTo(RASCS_ConnectDevice, ERROR_LINE_BUSY));
    EXPECT_EQ(dialToTheEnd(book, "Horizon"), kConnected);
    // The list is cycled.
    EXPECT_EQ(dialToTheEnd(book, "Horizon"), upTo(RASCS_ConnectDevice, ERROR_LINE_BUSY));
}

TEST(SimBackend, EachFailureComesAtItsStepWithItsCode)
{
    SimBook book(
        "[A]\nStepMs=5\nOutcome=noanswer,nodialtone,badpassword,fail:633,fail:718,fail:716,fail:679\n");
    EXPECT_EQ(dialToTheEnd(book, "A"), upTo(RASCS_ConnectDevice, ERROR_NO_ANSWER));
    EXPECT_EQ(dialToTheEnd(book, "A"), upTo(RASCS_ConnectDevice, ERROR_NO_DIALTONE));
    EXPECT_EQ(dialToTheEnd(book, "A"), upTo(RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE));
    EXPECT_EQ(dialToTheEnd(book, "A"), upTo(RASCS_OpenPort, ERROR_PORT_NOT_AVAILABLE));
    EXPECT_EQ(dialToTheEnd(book, "A"), upTo(RASCS_Authenticate, ERROR_PPP_TIMEOUT));
    EXPECT_EQ(dialToTheEnd(book, "A"), upTo(RASCS_Authenticated, ERROR_IP_CONFIGURATION));
    EXPECT_EQ(dialToTheEnd(book, "A"), upTo(RASCS_ConnectDevice, ERROR_NO_CARRIER));
}

TEST(SimBackend, AFailedDialKeepsItsStatusButLeavesTheConnectionList)
{
    SimBook book("[Busy]\nStepMs=5\nOutcome=busy\nDevice=Hayes Optima\nDeviceType=modem\n");
    HRASCONN h = nullptr;
    dialToTheEnd(book, "Busy", &h);
    ASSERT_TRUE(h);
    DWORD r = 1;
    const RASCONNSTATUS st = connectStatus(h, &r);
    EXPECT_EQ(r, 0u);
    EXPECT_EQ(st.rasconnstate, RASCS_ConnectDevice);
    EXPECT_EQ(st.dwError, ERROR_LINE_BUSY);
    EXPECT_STREQ(st.szDeviceName, "Hayes Optima");
    EXPECT_STREQ(st.szDeviceType, "modem");
    EXPECT_TRUE(listConnections().empty());
    EXPECT_EQ(RasHangUpA(h), 0u);
}

TEST(SimBackend, TheLineDropsAfterDropAfterSeconds)
{
    SimBook book("[Pool]\nStepMs=5\nDropAfterSeconds=0.05\n");
    StepRecorder rec;
    HRASCONN h = nullptr;
    ASSERT_EQ(dialEntry(book.pbk(), "Pool", rec.hwnd, h), 0u);
    ASSERT_TRUE(waitUntil([&] { return !rec.steps.empty() && rec.steps.back().first == RASCS_Connected; }));
    std::vector<RASCONN> up = listConnections();
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].hrasconn, h);
    EXPECT_STREQ(up[0].szEntryName, "Pool");

    ASSERT_TRUE(rec.waitForSteps(kConnected.size() + 1));
    EXPECT_EQ(rec.steps.back(), RasStep(RASCS_Disconnected, ERROR_REMOTE_DISCONNECTION));
    EXPECT_TRUE(listConnections().empty());
    const RASCONNSTATUS st = connectStatus(h);
    EXPECT_EQ(st.rasconnstate, RASCS_Disconnected);
    EXPECT_EQ(st.dwError, ERROR_REMOTE_DISCONNECTION);
    EXPECT_EQ(RasHangUpA(h), 0u);
}

TEST(SimBackend, PhonebookIsTheNamedOneElseTheUsersElseTheDemo)
{
    kivo::ras::installBackend(kivo::ras::makeSimBackend(), "test");
    // The test main points XDG_CONFIG_HOME at an empty folder: the demo.
    const std::vector<std::string> demo = listEntries(nullptr);
    EXPECT_EQ(demo,
              (std::vector<std::string>{"Metronet Dial-Up", "Horizon Online", "Northwind ISDN",
                                        "Office Remote Access", "Campus Modem Pool", "Harbour Light BBS"}));
    EXPECT_NE(kivo::ras::backendReason().find("demo phonebook"), std::string::npos);

    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/kivo95";
    QDir().mkpath(user);
    writeFile((user + "/phonebook.pbk").toStdString(), "[Mine]\n");
    EXPECT_EQ(listEntries(nullptr), std::vector<std::string>{"Mine"});
    EXPECT_NE(kivo::ras::backendReason().find("phonebook.pbk"), std::string::npos);

    DWORD r = 0;
    EXPECT_TRUE(listEntries("/nonexistent/book.pbk", &r).empty());
    EXPECT_EQ(r, ERROR_CANNOT_OPEN_PHONEBOOK);
    StepRecorder rec;
    HRASCONN h = nullptr;
    EXPECT_EQ(dialEntry("/nonexistent/book.pbk", "Mine", rec.hwnd, h), ERROR_CANNOT_OPEN_PHONEBOOK);
    EXPECT_EQ(dialEntry(nullptr, "Metronet Dial-Up", rec.hwnd, h), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY)
        << "the demo is not used while the user has a phonebook";
    EXPECT_FALSE(h);
    QFile::remove(user + "/phonebook.pbk");
}

// ---- what every backend must do -------------------------------------------

struct ContractBackend {
    std::string name;
    // Installs the backend; returns the phonebook to pass (may be empty).
    std::function<std::string(TempDir&)> install;
    std::string connects; // an entry that connects and stays up
    std::string busy;     // an entry whose line is busy
    std::string drops;    // an entry that connects and drops soon after
};

void PrintTo(const ContractBackend& backend, std::ostream* os)
{
    *os << backend.name;
}

class RasContract : public testing::TestWithParam<ContractBackend>
{
  protected:
    void SetUp() override { m_pbk = GetParam().install(m_dir); }
    const char* pbk() const { return m_pbk.empty() ? nullptr : m_pbk.c_str(); }
    TempDir m_dir;
    std::string m_pbk;
};

TEST_P(RasContract, ADialWalksForwardToConnectedAndIsListed)
{
    StepRecorder rec;
    HRASCONN h = nullptr;
    ASSERT_EQ(dialEntry(pbk(), GetParam().connects, rec.hwnd, h), 0u);
    ASSERT_TRUE(
        waitUntil([&] { return !rec.steps.empty() && rec.steps.back().first == RASCS_Connected; }, 30000));
    DWORD last = 0;
    for (const RasStep& s : rec.steps) {
        EXPECT_EQ(s.second, 0u);
        EXPECT_GE(s.first, last) << "states only move forward";
        last = s.first;
    }
    EXPECT_EQ(connectStatus(h).rasconnstate, RASCS_Connected);
    bool listed = false;
    for (const RASCONN& c : listConnections())
        listed = listed || (c.hrasconn == h && GetParam().connects == c.szEntryName);
    EXPECT_TRUE(listed);
    EXPECT_EQ(RasHangUpA(h), 0u);
    for (const RASCONN& c : listConnections())
        EXPECT_NE(c.hrasconn, h);
}

TEST_P(RasContract, ABusyLineFailsWith676AndIsNotListed)
{
    StepRecorder rec;
    HRASCONN h = nullptr;
    ASSERT_EQ(dialEntry(pbk(), GetParam().busy, rec.hwnd, h), 0u);
    ASSERT_TRUE(waitUntil([&] { return rec.ended(); }, 30000));
    EXPECT_EQ(rec.steps.back().second, ERROR_LINE_BUSY);
    EXPECT_EQ(connectStatus(h).dwError, ERROR_LINE_BUSY);
    for (const RASCONN& c : listConnections())
        EXPECT_NE(c.hrasconn, h);
    EXPECT_EQ(RasHangUpA(h), 0u);
}

TEST_P(RasContract, ADroppedLineIsReportedAsDisconnected)
{
    StepRecorder rec;
    HRASCONN h = nullptr;
    ASSERT_EQ(dialEntry(pbk(), GetParam().drops, rec.hwnd, h), 0u);
    ASSERT_TRUE(waitUntil([&] { return rec.ended(); }, 30000));
    EXPECT_EQ(rec.steps.back().first, RASCS_Disconnected);
    const DWORD e = rec.steps.back().second;
    EXPECT_TRUE(e == ERROR_PORT_NOT_CONNECTED || e == ERROR_PORT_DISCONNECTED ||
                e == ERROR_REMOTE_DISCONNECTION)
        << e;
    EXPECT_EQ(RasHangUpA(h), 0u);
}

TEST_P(RasContract, NothingArrivesAfterTheHangUp)
{
    StepRecorder first, later;
    HRASCONN h = nullptr;
    ASSERT_EQ(dialEntry(pbk(), GetParam().connects, first.hwnd, h), 0u);
    ASSERT_TRUE(first.waitForSteps(1, 30000));
    EXPECT_EQ(RasHangUpA(h), 0u);
    const std::size_t seen = first.steps.size();
    // A whole second dial is the barrier: the first one's steps, had they
    // gone on, would have come before its end.
    HRASCONN h2 = nullptr;
    ASSERT_EQ(dialEntry(pbk(), GetParam().connects, later.hwnd, h2), 0u);
    ASSERT_TRUE(waitUntil([&] { return !later.steps.empty() && later.steps.back().first == RASCS_Connected; },
                          30000));
    drainPostedEvents();
    EXPECT_EQ(first.steps.size(), seen);
    RasHangUpA(h2);
}

INSTANTIATE_TEST_SUITE_P(Sim, RasContract,
                         testing::Values(ContractBackend{
                             "sim",
                             [](TempDir& dir) {
                                 const std::string path = dir.file("contract.pbk");
                                 writeFile(path, "[Up]\nStepMs=5\n"
                                                 "[Busy]\nStepMs=5\nOutcome=busy\n"
                                                 "[Drops]\nStepMs=5\nDropAfterSeconds=0.02\n");
                                 kivo::ras::installBackend(kivo::ras::makeSimBackend(), "test");
                                 return path;
                             },
                             "Up", "Busy", "Drops"}),
                         [](const testing::TestParamInfo<ContractBackend>& info) { return info.param.name; });

// pppd, run as the fake pppd that replays recorded runs.
INSTANTIATE_TEST_SUITE_P(Pppd, RasContract,
                         testing::Values(ContractBackend{
                             "pppd",
                             [](TempDir& dir) {
                                 setenv("KIVO95_FAKE_PPPD_SCENARIOS", KIVO_SOURCE_DIR "/tests/data/pppd", 1);
                                 for (const char* peer : {"connected", "busy", "dropped"})
                                     writeFile(dir.file(peer), "/dev/ttyS0\n");
                                 kivo::ras::installBackend(
                                     kivo::ras::pppd::makePppdBackend(
                                         {KIVO_SOURCE_DIR "/tests/support/fake-pppd", dir.path(), 5000, {}}),
                                     "test");
                                 return dir.path();
                             },
                             "connected", "busy", "dropped"}),
                         [](const testing::TestParamInfo<ContractBackend>& info) { return info.param.name; });
