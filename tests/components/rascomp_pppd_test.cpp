// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// TRAS over the pppd backend and the fake pppd: dials polled the way the
// wizard's dial queue polls them, with the events, status texts and errors
// its user sees.
#include "components/Rascomp32.h"
#include "platform/ras/pppd/ras_pppd.h"
#include "platform/ras/ras_backend.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using kivo::test::TempDir;
using kivo::test::waitUntil;
using kivo::test::writeFile;

namespace
{

const std::string kFakePppd = KIVO_SOURCE_DIR "/tests/support/fake-pppd";

// Children of this process, zombies included.
std::vector<long> children()
{
    std::vector<long> out;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(e.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos)
            continue;
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        std::string state;
        long ppid = 0;
        rest >> state >> ppid;
        if (ppid == getpid())
            out.push_back(std::stol(e.path().filename().string()));
    }
    return out;
}

class PppdDialer : public testing::Test
{
  protected:
    void SetUp() override
    {
        setenv("KIVO95_FAKE_PPPD_SCENARIOS", KIVO_SOURCE_DIR "/tests/data/pppd", 1);
        for (const char* peer : {"busy", "no-carrier", "bad-password", "connected", "dropped"})
            writeFile(peers.file(peer), "/dev/ttyS0\n115200\n");
        kivo::ras::installBackend(kivo::ras::pppd::makePppdBackend({kFakePppd, peers.path(), 5000, {}}),
                                  "test");
        ras = std::make_unique<TRAS>(nullptr);
        ras->setRedialAttempts(0);
        ras->OnAboutToOpenPort = [this](QObject*) { events.push_back("OnAboutToOpenPort"); };
        ras->OnPortOpened = [this](QObject*) { events.push_back("OnPortOpened"); };
        ras->OnAboutToConnDev = [this](QObject*) {
            events.push_back("OnAboutToConnDev");
            statusAtConnDev = ras->GetStatusText().toStdString();
        };
        ras->OnDevConnected = [this](QObject*) { events.push_back("OnDevConnected"); };
        ras->OnAllDevsConnected = [this](QObject*) { events.push_back("OnAllDevsConnected"); };
        ras->OnAuthenticate = [this](QObject*) { events.push_back("OnAuthenticate"); };
        ras->OnAuthenticated = [this](QObject*) { events.push_back("OnAuthenticated"); };
        ras->OnConnect = [this](QObject*) {
            events.push_back("OnConnect");
            stopDialing = true;
        };
        ras->OnDisconnect = [this](QObject*, std::int32_t error, QString text) {
            disconnects.emplace_back(error, text.toStdString());
        };
    }

    void TearDown() override
    {
        ras.reset();
        kivo::ras::installBackend(nullptr, "");
        unsetenv("KIVO95_FAKE_PPPD_SCENARIOS");
    }

    // One attempt of the dial queue: Connect, then poll until the dialer
    // reports an error above 601, has no connection, or the connect
    // handler stops the queue. Returns the last status text shown.
    std::string attempt(const char* entry)
    {
        events.clear();
        stopDialing = false;
        ras->setEntryName(entry);
        ras->Connect();
        std::string status;
        EXPECT_TRUE(waitUntil(
            [&] {
                status = ras->GetStatusText().toStdString();
                return ras->GetConnectStatus() > 601 || !ras->ConnHandle() || stopDialing;
            },
            20000))
            << entry;
        return status;
    }

    TempDir peers;
    std::unique_ptr<TRAS> ras;
    std::vector<std::string> events;
    std::vector<std::pair<std::int32_t, std::string>> disconnects;
    std::string statusAtConnDev;
    bool stopDialing = false;
};

const std::vector<std::string> kDialEvents = {"OnAboutToOpenPort", "OnPortOpened", "OnAboutToConnDev"};
const std::vector<std::string> kToAuthenticate = {"OnAboutToOpenPort",  "OnPortOpened",
                                                  "OnAboutToConnDev",   "OnDevConnected",
                                                  "OnAllDevsConnected", "OnAuthenticate"};

TEST_F(PppdDialer, FailedAttemptsShowTheirErrorAndEndThePoll)
{
    ASSERT_EQ(ras->GetPhoneBookEntries(), 0);
    EXPECT_EQ(ras->PhoneBookEntries(),
              (QStringList{"bad-password", "busy", "connected", "dropped", "no-carrier"}));

    EXPECT_EQ(attempt("busy"), "The line is busy.");
    EXPECT_EQ(ras->LastError(), 676);
    EXPECT_EQ(events, kDialEvents);
    EXPECT_EQ(statusAtConnDev, "Using Device: /dev/ttyS0 - modem");
    EXPECT_EQ(ras->DeviceName(), "/dev/ttyS0");
    EXPECT_EQ(ras->DeviceType(), "modem");
    // The queue hangs up after a failed attempt; its own hang-up says nothing.
    EXPECT_EQ(ras->Disconnect(), 0);
    ASSERT_EQ(disconnects.size(), 1u);
    EXPECT_EQ(disconnects.back().second, "");

    EXPECT_EQ(attempt("no-carrier"), "No carrier: the remote modem did not respond.");
    EXPECT_EQ(ras->LastError(), 679);
    ras->Disconnect();

    EXPECT_EQ(attempt("bad-password"), "The user name or password was not accepted.");
    EXPECT_EQ(ras->LastError(), 691);
    EXPECT_EQ(events, kToAuthenticate);
    ras->Disconnect();
    EXPECT_TRUE(waitUntil([] { return children().empty(); }));
}

TEST_F(PppdDialer, ConnectsAndTheMonitorSeesItUntilDisconnect)
{
    attempt("connected");
    ASSERT_TRUE(stopDialing);
    std::vector<std::string> want = kToAuthenticate;
    want.push_back("OnAuthenticated");
    want.push_back("OnConnect");
    EXPECT_EQ(events, want);
    EXPECT_EQ(ras->GetStatusText(), "");

    ASSERT_EQ(ras->GetConnections(), 0);
    ASSERT_EQ(ras->Connections()->Count(), 1);
    EXPECT_EQ(ras->Connections()->EntryName(0), "connected");
    EXPECT_EQ(ras->Connections()->RASConn(0), ras->ConnHandle());

    const std::vector<long> running = children();
    ASSERT_EQ(running.size(), 1u);
    EXPECT_EQ(ras->Disconnect(), 0);
    EXPECT_EQ(disconnects.back().second, "");
    ASSERT_EQ(ras->GetConnections(), 0);
    EXPECT_EQ(ras->Connections()->Count(), 0);
    // pppd ended and was waited for: not even a zombie is left.
    EXPECT_TRUE(waitUntil([] { return children().empty(); }));
}

TEST_F(PppdDialer, ADroppedLineShowsInTheListAndTheStatus)
{
    attempt("dropped");
    ASSERT_TRUE(stopDialing);
    // The monitor polls the connection list; the drop empties it.
    ASSERT_TRUE(waitUntil([&] {
        ras->GetConnections();
        return ras->Connections()->Count() == 0;
    }));
    EXPECT_TRUE(waitUntil([&] { return ras->GetConnectStatus() == 628; }));
    EXPECT_EQ(ras->GetStatusText(), "The connection was closed by the device.");
    EXPECT_TRUE(disconnects.empty());
    ASSERT_TRUE(ras->ConnHandle());
    ras->Disconnect();
    EXPECT_TRUE(waitUntil([] { return children().empty(); }));
}

} // namespace
