// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The pppd backend: its exit-code table, its reading of recorded pppd logs,
// the peers listing, and whole dials with a fake pppd (and the real one
// where it can run without a modem).
#include "platform/ras/pppd/ras_pppd.h"
#include "tests/support/testsupport.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace kivo::ras;
using namespace kivo::ras::pppd;
using kivo::test::readFile;
using kivo::test::TempDir;
using kivo::test::waitUntil;
using kivo::test::writeFile;

namespace
{

const std::string kFakePppd = KIVO_SOURCE_DIR "/tests/support/fake-pppd";
const std::string kScenarios = KIVO_SOURCE_DIR "/tests/data/pppd";

constexpr DWORD kUpToConnected[] = {RASCS_OpenPort,
                                    RASCS_PortOpened,
                                    RASCS_ConnectDevice,
                                    RASCS_DeviceConnected,
                                    RASCS_AllDevicesConnected,
                                    RASCS_Authenticate,
                                    RASCS_Authenticated,
                                    RASCS_Connected};

std::vector<DWORD> ladderTo(DWORD last)
{
    std::vector<DWORD> out;
    for (DWORD s : kUpToConnected) {
        out.push_back(s);
        if (s == last)
            break;
    }
    return out;
}

// ---- exit codes ----

struct ExitRow {
    int exitCode;
    void (*setUp)(LogFacts&);
    DWORD error;
    const char* what;
};

void nothing(LogFacts&)
{
}
void connected(LogFacts& f)
{
    f.connected = true;
}
void optionsFile(LogFacts& f)
{
    f.optionsFileError = true;
}
void optionsFileDenied(LogFacts& f)
{
    f.optionsFileError = f.permissionDenied = true;
}
void busy(LogFacts& f)
{
    f.dialSent = true, f.chatFailure = "BUSY";
}
void noCarrier(LogFacts& f)
{
    f.dialSent = true, f.chatFailure = "NO CARRIER";
}
void noDialtone(LogFacts& f)
{
    f.dialSent = true, f.chatFailure = "NO DIALTONE";
}
void noDialTone(LogFacts& f)
{
    f.dialSent = true, f.chatFailure = "NO DIAL TONE";
}
void noAnswer(LogFacts& f)
{
    f.dialSent = true, f.chatFailure = "NO ANSWER";
}
void voice(LogFacts& f)
{
    f.dialSent = true, f.chatFailure = "VOICE";
}
void timeoutAfterDial(LogFacts& f)
{
    f.dialSent = f.chatAlarm = true;
}
void timeoutBeforeDial(LogFacts& f)
{
    f.chatAlarm = true;
}
void otherAbort(LogFacts& f)
{
    f.dialSent = true, f.chatFailure = "DELAYED";
}
void lcpTimeout(LogFacts& f)
{
    f.lcpTimeout = true;
}
void noPppSupport(LogFacts& f)
{
    f.noPppSupport = true;
}

const ExitRow kExitRows[] = {
    {0, connected, ERROR_REMOTE_DISCONNECTION, "peer ended the link"},
    {1, nothing, ERROR_FROM_DEVICE, "fatal error"},
    {2, optionsFile, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY, "options file missing"},
    {2, optionsFileDenied, ERROR_NO_DIALIN_PERMISSION, "options file not readable"},
    {2, nothing, ERROR_CANNOT_LOAD_PHONEBOOK, "bad option"},
    {3, nothing, ERROR_NO_DIALIN_PERMISSION, "not setuid, not root"},
    {1, noPppSupport, ERROR_PROTOCOL_NOT_CONFIGURED, "no PPP line discipline"},
    {4, nothing, ERROR_PROTOCOL_NOT_CONFIGURED, "no kernel PPP"},
    {5, connected, ERROR_USER_DISCONNECTION, "SIGTERM"},
    {5, nothing, ERROR_USER_DISCONNECTION, "SIGTERM while dialling"},
    {6, nothing, ERROR_PORT_ALREADY_OPEN, "port locked"},
    {7, nothing, ERROR_PORT_NOT_AVAILABLE, "port cannot be opened"},
    {8, busy, ERROR_LINE_BUSY, "BUSY"},
    {8, noCarrier, ERROR_NO_CARRIER, "NO CARRIER"},
    {8, noDialtone, ERROR_NO_DIALTONE, "NO DIALTONE"},
    {8, noDialTone, ERROR_NO_DIALTONE, "NO DIAL TONE"},
    {8, noAnswer, ERROR_NO_ANSWER, "NO ANSWER"},
    {8, voice, ERROR_VOICE_ANSWER, "VOICE"},
    {8, timeoutAfterDial, ERROR_NO_ANSWER, "timeout after dialling"},
    {8, timeoutBeforeDial, ERROR_FROM_DEVICE, "modem silent before dialling"},
    {8, otherAbort, ERROR_FROM_DEVICE, "another abort string"},
    {8, nothing, ERROR_FROM_DEVICE, "chat logging elsewhere"},
    {9, nothing, ERROR_PORT_NOT_AVAILABLE, "pty command"},
    {10, nothing, ERROR_PPP_LCP_TERMINATED, "negotiation failed"},
    {10, lcpTimeout, ERROR_PPP_TIMEOUT, "LCP timeout"},
    {11, nothing, ERROR_UNABLE_TO_AUTHENTICATE_SERVER, "peer did not authenticate"},
    {12, connected, ERROR_PORT_DISCONNECTED, "idle"},
    {13, connected, ERROR_PORT_DISCONNECTED, "connect time limit"},
    {14, nothing, ERROR_FROM_DEVICE, "callback"},
    {15, connected, ERROR_PORT_DISCONNECTED, "peer dead"},
    {16, connected, ERROR_PORT_DISCONNECTED, "modem hangup"},
    {17, nothing, ERROR_PPP_LOOPBACK_DETECTED, "loopback"},
    {18, nothing, ERROR_HARDWARE_FAILURE, "init script"},
    {19, nothing, ERROR_AUTHENTICATION_FAILURE, "our password refused"},
    {20, connected, ERROR_PORT_DISCONNECTED, "traffic limit"},
    {21, nothing, ERROR_AUTHENTICATION_FAILURE, "caller number refused"},
    {kKilledBySignal, connected, ERROR_PORT_DISCONNECTED, "killed while up"},
    {kKilledBySignal, nothing, ERROR_FROM_DEVICE, "killed while dialling"},
    {kExitCannotRun, nothing, ERROR_DEVICE_DOES_NOT_EXIST, "the guard could not run pppd"},
    {99, nothing, ERROR_FROM_DEVICE, "unknown code"},
};

TEST(PppdExitTable, EveryRow)
{
    for (const ExitRow& row : kExitRows) {
        LogFacts facts;
        row.setUp(facts);
        EXPECT_EQ(errorForExit(row.exitCode, facts), row.error)
            << "exit " << row.exitCode << ": " << row.what;
        // Every error pppd can end with is one that ends a dial attempt and
        // has a text to show.
        EXPECT_GT(row.error, 601u) << row.what;
        char text[257] = {};
        EXPECT_EQ(RasGetErrorStringA(row.error, text, 256), 0u) << row.what;
    }
    char text[257] = {};
    RasGetErrorStringA(ERROR_NO_DIALIN_PERMISSION, text, 256);
    EXPECT_NE(std::string(text).find("dip group"), std::string::npos) << text;
}

// ---- the log ----

// The recorded runs that fail, where they fail and with which error. The
// options error comes on pppd's standard error.
struct FailedRun {
    const char* scenario;
    DWORD lastState;
    DWORD error;
};
const FailedRun kFailedRuns[] = {
    {"busy", RASCS_ConnectDevice, ERROR_LINE_BUSY},
    {"no-carrier", RASCS_ConnectDevice, ERROR_NO_CARRIER},
    {"no-dialtone", RASCS_ConnectDevice, ERROR_NO_DIALTONE},
    {"no-answer", RASCS_ConnectDevice, ERROR_NO_ANSWER},
    {"bad-password", RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE},
    {"lcp-timeout", RASCS_Authenticate, ERROR_PPP_TIMEOUT},
    {"options-missing", RASCS_OpenPort, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY},
};

struct Replay {
    std::vector<DWORD> states;
    LogFacts facts;
    int exitCode = 0;
    bool holds = false;
};

// Feeds the lines of a recorded run to a reader, as the backend does once
// pppd has started.
Replay replay(const std::string& scenario)
{
    Replay r;
    LogReader reader;
    r.states = reader.reach(RASCS_OpenPort);
    std::istringstream in(readFile(kScenarios + "/" + scenario + ".scenario"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("exit ", 0) == 0)
            r.exitCode = std::stoi(line.substr(5));
        else if (line == "hold")
            r.holds = true;
        if (line.empty() || line[0] == '#' || !std::isdigit(static_cast<unsigned char>(line[0])))
            continue;
        const std::size_t stream = line.find(' ');
        const std::size_t text = line.find(' ', stream + 1);
        for (DWORD s : reader.feed(text == std::string::npos ? "" : line.substr(text + 1)))
            r.states.push_back(s);
    }
    r.facts = reader.facts();
    return r;
}

TEST(PppdLog, RecordedRunsGiveStatesAndErrors)
{
    for (const FailedRun& c : kFailedRuns) {
        const Replay r = replay(c.scenario);
        EXPECT_EQ(r.states, ladderTo(c.lastState)) << c.scenario;
        EXPECT_FALSE(r.facts.connected) << c.scenario;
        EXPECT_EQ(errorForExit(r.exitCode, r.facts), c.error) << c.scenario;
    }
}

TEST(PppdLog, ConnectedRunsClimbTheWholeLadderThenDrop)
{
    Replay r = replay("dropped");
    std::vector<DWORD> expected = ladderTo(RASCS_Connected);
    expected.push_back(RASCS_Disconnected);
    EXPECT_EQ(r.states, expected);
    EXPECT_EQ(r.facts.interface, "ppp0");
    EXPECT_EQ(r.facts.device, "/dev/ttyS0");
    EXPECT_EQ(errorForExit(r.exitCode, r.facts), ERROR_PORT_DISCONNECTED);

    r = replay("connected");
    EXPECT_EQ(r.states, ladderTo(RASCS_Connected));
    EXPECT_TRUE(r.holds);

    // Without chat script the first steps come together at "Connect:", and
    // the peer's LCP terminate is a remote disconnection.
    r = replay("no-chat");
    EXPECT_EQ(r.states, ladderTo(RASCS_Connected));
    EXPECT_EQ(r.facts.device, "/dev/ttyS1");
    EXPECT_EQ(errorForExit(r.exitCode, r.facts), ERROR_REMOTE_DISCONNECTION);
}

TEST(PppdLog, LinesAsTheyMayArrive)
{
    LogReader r;
    // Program prefixes of stderr and syslog, and carriage returns.
    EXPECT_EQ(r.feed("chat[812]: send (ATZ^M)\r"), (std::vector<DWORD>{RASCS_OpenPort, RASCS_PortOpened}));
    // Init strings and the modem's echo of the dial are no dial.
    EXPECT_TRUE(r.feed("send (AT&F&D2^M)").empty());
    EXPECT_TRUE(r.feed("ATDT5551234^M^M").empty());
    EXPECT_FALSE(r.facts().dialSent);
    EXPECT_EQ(r.feed("chat: send (atdp0,5551234^M)"), std::vector<DWORD>{RASCS_ConnectDevice});
    EXPECT_TRUE(r.facts().dialSent);
    EXPECT_TRUE(r.feed("chat:  Failed (NO DIAL TONE)").empty());
    EXPECT_EQ(r.facts().chatFailure, "NO DIAL TONE");
    // A state is reported once, however often its line comes.
    EXPECT_EQ(r.feed("expect (OK)"), std::vector<DWORD>{});

    // A kernel without PPP, as pppd says it before and after the connect script.
    for (const char* line : {"Couldn't open the /dev/ppp device: No such file or directory",
                             "Couldn't set tty to PPP discipline: Invalid argument"}) {
        LogReader noPpp;
        EXPECT_TRUE(noPpp.feed(line).empty());
        EXPECT_TRUE(noPpp.facts().noPppSupport) << line;
    }

    LogReader denied;
    denied.feed("/usr/sbin/pppd: Can't open options file /etc/ppp/peers/isp: Permission denied");
    EXPECT_TRUE(denied.facts().optionsFileError);
    EXPECT_TRUE(denied.facts().permissionDenied);

    // An IPv6-only link is up at its link-local address.
    LogReader v6;
    v6.feed("Connect: ppp1 <--> /dev/ttyI0");
    EXPECT_EQ(v6.feed("local  LL address fe80::1c2d:3e4f:5a6b:7c8d"),
              (std::vector<DWORD>{RASCS_Authenticated, RASCS_Connected}));
    EXPECT_EQ(v6.facts().interface, "ppp1");
    EXPECT_EQ(deviceTypeOf(v6.facts().device), "isdn");
    EXPECT_EQ(v6.feed("Modem hangup"), std::vector<DWORD>{RASCS_Disconnected});
    EXPECT_TRUE(v6.feed("Modem hangup").empty());

    // A hang-up before the link was up is the exit code's business.
    LogReader early;
    early.feed("Serial connection established.");
    EXPECT_TRUE(early.feed("Modem hangup").empty());
    EXPECT_TRUE(early.facts().modemHangup);
    EXPECT_EQ(early.state(), RASCS_AllDevicesConnected);

    // The remote IP address and other chatter move nothing.
    LogReader chatter;
    for (const char* line : {"remote IP address 10.0.0.1", "pppd 2.4.9 started by joe, uid 1000", "",
                             "Script /etc/ppp/ip-up started (pid 4242)", "local_opts IP address"})
        EXPECT_TRUE(chatter.feed(line).empty()) << line;
}

// ---- peers ----

TEST(PppdPeers, ListsReadableRegularFilesInNameOrder)
{
    TempDir dir;
    for (const char* name : {"work", "Home", "backup.bak", "isp~", "isp.orig", "isp.dpkg-old",
                             "isp.dpkg-dist", "#isp#", ".hidden", "isp"})
        writeFile(dir.file(name), "/dev/ttyS0\n");
    std::filesystem::create_directory(dir.file("subdir"));
    std::filesystem::create_symlink(dir.file("isp"), dir.file("isp-link"));
    std::filesystem::create_symlink(dir.file("gone"), dir.file("dangling"));
    std::vector<std::string> names{"kept"};
    ASSERT_EQ(listPeers(dir.path(), names), 0u);
    EXPECT_EQ(names, (std::vector<std::string>{"kept", "Home", "isp", "isp-link", "work"}));

    if (geteuid() != 0) {
        chmod(dir.file("work").c_str(), 0);
        names.clear();
        ASSERT_EQ(listPeers(dir.path(), names), 0u);
        EXPECT_EQ(names, (std::vector<std::string>{"Home", "isp", "isp-link"}));
    }

    names.clear();
    EXPECT_EQ(listPeers(dir.file("missing"), names), ERROR_CANNOT_OPEN_PHONEBOOK);
    EXPECT_EQ(listPeers(dir.file("isp"), names), ERROR_CANNOT_OPEN_PHONEBOOK);
    EXPECT_TRUE(names.empty());
}

TEST(PppdPeers, DeviceOfAPeerFile)
{
    TempDir dir;
    writeFile(dir.file("a"), "# the modem: /dev/ttyS9\nuser \"joe\"\nconnect \"/usr/sbin/chat -v -s -f x\"\n"
                             "/dev/ttyUSB0 115200 # USB modem\nnoauth\n");
    writeFile(dir.file("b"), "ttyS1\n");
    writeFile(dir.file("c"), "pty \"ssh host pppd\"\n");
    // A line named by a path of another kind (a modem emulator's pty link,
    // /dev/serial/by-id/...): pppd takes any character device. Options'
    // arguments are no device, quoted or not.
    std::filesystem::create_symlink("/dev/null", dir.file("modem"));
    writeFile(dir.file("d"), "logfile /dev/null\ninit '/dev/null'\nconnect /usr/sbin/chat\n" +
                                 dir.file("peers.txt") + "\n" + dir.file("modem") +
                                 " # the emulator\n115200\n");
    writeFile(dir.file("e"), "\"" + dir.file("modem") + "\"\n");
    EXPECT_EQ(peerDevice(dir.file("a")), "/dev/ttyUSB0");
    EXPECT_EQ(peerDevice(dir.file("b")), "/dev/ttyS1");
    EXPECT_EQ(peerDevice(dir.file("c")), "");
    EXPECT_EQ(peerDevice(dir.file("d")), dir.file("modem"));
    EXPECT_EQ(peerDevice(dir.file("e")), dir.file("modem"));
    EXPECT_EQ(peerDevice(dir.file("missing")), "");
    EXPECT_EQ(deviceTypeOf("/dev/ttyS0"), "modem");
    EXPECT_EQ(deviceTypeOf("/dev/ttyI3"), "isdn");
    EXPECT_EQ(deviceTypeOf("/dev/capi/20"), "isdn");
}

// ---- processes ----

// The parent of a process and its name, from /proc/PID/stat.
long parentOf(long pid, std::string* name = nullptr)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // pid (comm) state ppid ...
    const std::size_t open = line.find('(');
    const std::size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos)
        return 0;
    if (name)
        *name = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 2));
    std::string state;
    long ppid = 0;
    rest >> state >> ppid;
    return ppid;
}

// The fake pppds this process started, zombies included: children of ours,
// or children of a guard of ours.
std::vector<long> fakeChildren()
{
    std::vector<long> out;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        const std::string pid = e.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string name;
        const long ppid = parentOf(std::stol(pid), &name);
        if (name == "fake-pppd" && (ppid == getpid() || parentOf(ppid) == getpid()))
            out.push_back(std::stol(pid));
    }
    return out;
}

bool gone(long pid)
{
    return !std::filesystem::exists("/proc/" + std::to_string(pid));
}

struct Step {
    ConnId id;
    DWORD state;
    DWORD error;
    bool operator==(const Step&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Step& s)
{
    return os << "{conn " << s.id << ", state " << s.state << ", error " << s.error << "}";
}

// A pppd backend on the fake pppd and a peers directory of its own.
class PppdBackendTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        setenv("KIVO95_FAKE_PPPD_SCENARIOS", kScenarios.c_str(), 1);
        setenv("KIVO95_FAKE_PPPD_ARGS", peers.file("args.log").c_str(), 1);
        for (const char* peer : {"busy", "no-carrier", "no-dialtone", "no-answer", "bad-password", "dropped",
                                 "connected", "stuck", "lcp-timeout", "options-missing"})
            writeFile(peers.file(peer),
                      "/dev/ttyS0\n115200\nconnect \"/usr/sbin/chat -v -s -f /etc/chatscripts/isp\"\n");
        writeFile(peers.file("no-chat"), "/dev/ttyS1\nlocal\n");
        makeBackend({kFakePppd, peers.path(), 5000, {}});
    }

    void TearDown() override
    {
        backend.reset();
        unsetenv("KIVO95_FAKE_PPPD_SCENARIOS");
        unsetenv("KIVO95_FAKE_PPPD_ARGS");
    }

    void makeBackend(Options options)
    {
        backend = makePppdBackend(std::move(options));
        steps.clear();
        backend->setProgressSink([this](ConnId id, DWORD state, DWORD error) {
            steps.push_back({id, state, error});
        });
    }

    ConnId dial(const std::string& entry, const std::string& user = {})
    {
        DialRequest req;
        req.entryName = entry;
        req.userName = user;
        ConnId id = 0;
        EXPECT_EQ(backend->dial(req, id), 0u) << entry;
        EXPECT_NE(id, 0u);
        return id;
    }

    bool ended(ConnId id) const
    {
        return std::any_of(steps.begin(), steps.end(), [&](const Step& s) {
            return s.id == id && (s.error != 0 || s.state == RASCS_Disconnected);
        });
    }
    bool reached(ConnId id, DWORD state) const
    {
        return std::find(steps.begin(), steps.end(), Step{id, state, 0}) != steps.end();
    }

    std::vector<Step> expected(ConnId id, DWORD last, DWORD endState, DWORD error) const
    {
        std::vector<Step> out;
        for (DWORD s : ladderTo(last))
            out.push_back({id, s, 0});
        out.push_back({id, endState, error});
        return out;
    }

    TempDir peers;
    std::unique_ptr<RasBackend> backend;
    std::vector<Step> steps;
};

TEST_F(PppdBackendTest, FailedDialsReportTheirStepsThenTheError)
{
    for (const FailedRun& c : kFailedRuns) {
        steps.clear();
        const ConnId id = dial(c.scenario);
        EXPECT_TRUE(steps.empty()) << "nothing is reported from within dial()";
        ASSERT_TRUE(waitUntil([&] { return ended(id); })) << c.scenario;
        std::vector<Step> want = expected(id, c.lastState, c.lastState, c.error);
        EXPECT_EQ(steps, want) << c.scenario;

        // The failure stays readable until the hang-up; the dial is no
        // connection any more.
        ConnStatus st;
        ASSERT_EQ(backend->status(id, st), 0u);
        EXPECT_EQ(st.state, c.lastState);
        EXPECT_EQ(st.error, c.error);
        EXPECT_EQ(st.deviceName, "/dev/ttyS0");
        EXPECT_EQ(st.deviceType, "modem");
        EXPECT_TRUE(backend->connections().empty()) << c.scenario;
        EXPECT_EQ(backend->hangUp(id), 0u);
        EXPECT_EQ(backend->status(id, st), ERROR_INVALID_HANDLE);
        EXPECT_EQ(backend->hangUp(id), ERROR_INVALID_HANDLE);
    }
    EXPECT_TRUE(waitUntil([] { return fakeChildren().empty(); }));
}

TEST_F(PppdBackendTest, ConnectsAndIsListedUntilTheModemHangsUp)
{
    const ConnId id = dial("dropped");
    ASSERT_TRUE(waitUntil([&] { return reached(id, RASCS_Connected); }));
    const std::vector<ConnInfo> up = backend->connections();
    if (!ended(id)) {
        ASSERT_EQ(up.size(), 1u);
        EXPECT_EQ(up[0].id, id);
        EXPECT_EQ(up[0].entryName, "dropped");
        EXPECT_EQ(up[0].deviceName, "/dev/ttyS0");
        EXPECT_EQ(up[0].deviceType, "modem");
    }
    ASSERT_TRUE(waitUntil([&] { return ended(id); }));
    EXPECT_EQ(steps, expected(id, RASCS_Connected, RASCS_Disconnected, ERROR_PORT_DISCONNECTED));
    ConnStatus st;
    ASSERT_EQ(backend->status(id, st), 0u);
    EXPECT_EQ(st.state, RASCS_Disconnected);
    EXPECT_EQ(st.error, ERROR_PORT_DISCONNECTED);
    EXPECT_TRUE(backend->connections().empty());
    // pppd's own exit after the hang-up adds nothing.
    ASSERT_TRUE(waitUntil([] { return fakeChildren().empty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(steps.size(), std::size(kUpToConnected) + 1);
}

TEST_F(PppdBackendTest, PeerWithoutChatScriptReportsTheFirstStepsTogether)
{
    const ConnId id = dial("no-chat");
    ASSERT_TRUE(waitUntil([&] { return ended(id); }));
    EXPECT_EQ(steps, expected(id, RASCS_Connected, RASCS_Disconnected, ERROR_REMOTE_DISCONNECTION));
    ConnStatus st;
    ASSERT_EQ(backend->status(id, st), 0u);
    EXPECT_EQ(st.deviceName, "/dev/ttyS1");
}

TEST_F(PppdBackendTest, HangUpEndsPppdAndReapsIt)
{
    // Under the guard, and without one (a wizard that cannot find it).
    ASSERT_FALSE(guardProgram().empty()) << "kivo-pppd-guard is built beside the tests";
    for (const std::string& guard : {guardProgram(), std::string()}) {
        SCOPED_TRACE(guard.empty() ? "no guard" : guard);
        makeBackend({kFakePppd, peers.path(), 5000, {}, guard});
        const ConnId id = dial("connected");
        ASSERT_TRUE(waitUntil([&] { return reached(id, RASCS_Connected); }));
        const std::vector<long> children = fakeChildren();
        ASSERT_EQ(children.size(), 1u);
        // A process group of its own.
        EXPECT_EQ(getpgid(static_cast<pid_t>(children[0])),
                  guard.empty() ? children[0] : parentOf(children[0]));
        const std::size_t reported = steps.size();

        EXPECT_EQ(backend->hangUp(id), 0u);
        // Gone from /proc: it ended and was waited for, so no zombie is left.
        EXPECT_TRUE(waitUntil([&] { return gone(children[0]); }));
        QCoreApplication::processEvents();
        EXPECT_EQ(steps.size(), reported) << "nothing is reported after the hang-up";
        EXPECT_TRUE(backend->connections().empty());
    }
}

TEST_F(PppdBackendTest, HangUpWhileDiallingAndAPppdThatIgnoresSigterm)
{
    makeBackend({kFakePppd, peers.path(), 100, {}});
    const ConnId dialling = dial("dropped");
    ASSERT_TRUE(waitUntil([&] { return !fakeChildren().empty(); }));
    EXPECT_EQ(backend->hangUp(dialling), 0u);

    const ConnId stuck = dial("stuck");
    ASSERT_TRUE(waitUntil([&] { return reached(stuck, RASCS_Connected); }));
    EXPECT_EQ(backend->hangUp(stuck), 0u);
    // SIGKILL after the grace period.
    EXPECT_TRUE(waitUntil([] { return fakeChildren().empty(); }));
    EXPECT_FALSE(ended(dialling));
    EXPECT_FALSE(ended(stuck));
}

TEST_F(PppdBackendTest, DestroyingTheBackendEndsItsPppds)
{
    const ConnId a = dial("connected");
    const ConnId b = dial("stuck");
    ASSERT_TRUE(waitUntil([&] { return reached(a, RASCS_Connected) && reached(b, RASCS_Connected); }));
    const std::vector<long> children = fakeChildren();
    ASSERT_EQ(children.size(), 2u);
    backend.reset();
    for (long pid : children)
        EXPECT_TRUE(gone(pid)) << pid;
}

TEST_F(PppdBackendTest, RunsPppdWithArgumentsOnly)
{
    const ConnId id = dial("busy", "joe; rm -rf /");
    ASSERT_TRUE(waitUntil([&] { return ended(id); }));
    EXPECT_EQ(readFile(peers.file("args.log")),
              "file\t" + peers.file("busy") + "\tnodetach\tnopersist\tuser\tjoe; rm -rf /\n");

    // The system's peers are called by name. The run itself fails (the fake
    // has no such scenario); only its arguments matter here.
    if (std::filesystem::exists("/etc/ppp/peers/provider") && access("/etc/ppp/peers/provider", R_OK) == 0) {
        makeBackend({kFakePppd, "/etc/ppp/peers", 5000, {}});
        const ConnId sys = dial("provider");
        ASSERT_TRUE(waitUntil([&] { return ended(sys); }));
        EXPECT_NE(readFile(peers.file("args.log")).find("call\tprovider\tnodetach\tnopersist\n"),
                  std::string::npos);
    }
}

TEST_F(PppdBackendTest, DialsThatCannotStart)
{
    DialRequest req;
    ConnId id = 0;
    req.entryName = "nobody";
    EXPECT_EQ(backend->dial(req, id), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    req.entryName = "../busy";
    EXPECT_EQ(backend->dial(req, id), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    req.entryName = "busy";
    req.phoneBook = peers.file("missing");
    EXPECT_EQ(backend->dial(req, id), ERROR_CANNOT_OPEN_PHONEBOOK);

    // A pppd this user may not run (Debian's is root:dip 4754).
    writeFile(peers.file("pppd"), "#!/bin/sh\n");
    chmod(peers.file("pppd").c_str(), 0644);
    makeBackend({peers.file("pppd"), peers.path(), 5000, {}});
    req.phoneBook.clear();
    EXPECT_EQ(backend->dial(req, id), ERROR_NO_DIALIN_PERMISSION);
    makeBackend({peers.file("no-pppd"), peers.path(), 5000, {}});
    EXPECT_EQ(backend->dial(req, id), ERROR_DEVICE_DOES_NOT_EXIST);
    EXPECT_TRUE(steps.empty());
}

TEST_F(PppdBackendTest, EntriesOfAnotherPeersDirectory)
{
    std::vector<std::string> names;
    ASSERT_EQ(backend->entries("", names), 0u);
    EXPECT_EQ(names.size(), 11u);
    EXPECT_EQ(names.front(), "bad-password");
    TempDir other;
    writeFile(other.file("isp"), "ttyS0\n");
    names.clear();
    ASSERT_EQ(backend->entries(other.path(), names), 0u);
    EXPECT_EQ(names, std::vector<std::string>{"isp"});
    EXPECT_EQ(backend->entries(other.file("nothing"), names), ERROR_CANNOT_OPEN_PHONEBOOK);
}

TEST_F(PppdBackendTest, LinksStartedElsewhere)
{
    TempDir run;
    makeBackend({kFakePppd, peers.path(), 5000, {run.path()}});
    QProcess other;
    other.start(QString::fromStdString(kFakePppd), {"call", "connected", "nodetach"});
    ASSERT_TRUE(other.waitForStarted());
    QProcess dead;
    dead.start("/bin/true");
    ASSERT_TRUE(dead.waitForFinished());
    const long deadPid = dead.processId() ? dead.processId() : 999999;

    writeFile(run.file("ppp-elsewhere.pid"), std::to_string(other.processId()) + "\nppp0\n");
    writeFile(run.file("ppp0.pid"), std::to_string(other.processId()) + "\n");
    writeFile(run.file("ppp1.pid"), std::to_string(deadPid) + "\n");
    // A pid that lives but runs something else: a stale file's pid reused.
    writeFile(run.file("ppp-stale.pid"), std::to_string(getpid()) + "\n");
    writeFile(run.file("pppoe.pid"), std::to_string(other.processId()) + "\n");

    std::vector<ConnInfo> conns = backend->connections();
    ASSERT_EQ(conns.size(), 1u);
    EXPECT_EQ(conns[0].entryName, "elsewhere");
    const ConnId id = conns[0].id;
    EXPECT_EQ(backend->connections()[0].id, id) << "stable while it lasts";
    ConnStatus st;
    ASSERT_EQ(backend->status(id, st), 0u);
    EXPECT_EQ(st.state, RASCS_Connected);

    // Our own dials are not listed twice.
    const ConnId own = dial("connected");
    ASSERT_TRUE(waitUntil([&] { return reached(own, RASCS_Connected); }));
    const std::vector<long> children = fakeChildren();
    ASSERT_EQ(children.size(), 2u);
    for (long pid : children)
        if (pid != other.processId())
            writeFile(run.file("ppp2.pid"), std::to_string(pid) + "\n");
    conns = backend->connections();
    ASSERT_EQ(conns.size(), 2u);
    EXPECT_EQ(conns[0].id, own);
    EXPECT_EQ(conns[1].id, id);

    // Hanging it up ends it as poff would.
    EXPECT_EQ(backend->hangUp(id), 0u);
    ASSERT_TRUE(other.waitForFinished());
    EXPECT_EQ(other.exitCode(), 5);
    EXPECT_EQ(backend->connections().size(), 1u);
    EXPECT_EQ(backend->status(id, st), ERROR_INVALID_HANDLE);
}

// The real pppd, where it can run without modem or root: its option errors
// and its missing kernel support.
TEST_F(PppdBackendTest, RealPppd)
{
    if (access(kSystemPppd, X_OK) != 0)
        GTEST_SKIP() << kSystemPppd << " cannot be run here";
    makeBackend({kSystemPppd, peers.path(), 5000, {}});
    writeFile(peers.file("gone"), "file /nonexistent/options.isp\n");
    ConnId id = dial("gone");
    ASSERT_TRUE(waitUntil([&] { return ended(id); }, 20000));
    EXPECT_EQ(steps, expected(id, RASCS_OpenPort, RASCS_OpenPort, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY));

    if (geteuid() != 0 || std::filesystem::exists("/dev/ppp"))
        return; // noauth is root's; with /dev/ppp pppd would really start
    steps.clear();
    writeFile(peers.file("null-modem"), "/dev/null\nnoauth\nlocal\n");
    id = dial("null-modem");
    ASSERT_TRUE(waitUntil([&] { return ended(id); }, 20000));
    EXPECT_EQ(steps, expected(id, RASCS_OpenPort, RASCS_OpenPort, ERROR_PROTOCOL_NOT_CONFIGURED));
}

} // namespace

namespace
{

// ---- choosing the backend ----

class PppdChoice : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        unsetenv("KIVO95_RAS");
        // No NetworkManager to be found, whatever this machine runs.
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + peers.file("no-bus")).c_str(), 1);
        setenv("KIVO95_PPPD", kFakePppd.c_str(), 1);
        setenv("KIVO95_PPP_PEERS", peers.path().c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("KIVO95_RAS");
        unsetenv("KIVO95_PPPD");
        unsetenv("KIVO95_PPP_PEERS");
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
    TempDir peers;
};

TEST_F(PppdChoice, PppdWhenItHasPeersOfTheUsersOwn)
{
    // The ppp package's example, as installed.
    writeFile(peers.file("provider"),
              "user \"myusername@realm\"\nconnect \"/usr/sbin/chat -v -f x\"\n/dev/modem\n");
    BackendChoice c = chooseBackend();
    EXPECT_EQ(c.backend->name(), "sim");
    EXPECT_NE(c.reason.find("pppd: no peers of the user's own in " + peers.path()), std::string::npos)
        << c.reason;

    writeFile(peers.file("isp"), "/dev/ttyS0\n");
    c = chooseBackend();
    EXPECT_EQ(c.backend->name(), "pppd");
    EXPECT_EQ(c.reason.rfind("1 peer in " + peers.path() + " (nm: no system bus", 0), 0u) << c.reason;
    EXPECT_NE(c.backend->describe().find(kFakePppd), std::string::npos);
    std::vector<std::string> names;
    ASSERT_EQ(c.backend->entries("", names), 0u);
    EXPECT_EQ(names, (std::vector<std::string>{"isp", "provider"}));

    setenv("KIVO95_PPPD", peers.file("no-such-pppd").c_str(), 1);
    c = chooseBackend();
    EXPECT_EQ(c.backend->name(), "sim");
    EXPECT_NE(c.reason.find("no-such-pppd cannot be run"), std::string::npos) << c.reason;

    // Asked for by name, it is taken whatever it finds.
    setenv("KIVO95_RAS", "pppd", 1);
    c = chooseBackend();
    EXPECT_EQ(c.backend->name(), "pppd");
    EXPECT_EQ(c.reason, "KIVO95_RAS=pppd");
}

} // namespace
