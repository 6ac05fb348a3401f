// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The RAS layer over a scripted backend: records and their limits, handles,
// the delivery of dial steps, observers, texts, the trace and the choice of
// the backend.
#include "platform/ras/ras.h"
#include "platform/ras/ras_backend.h"
#include "platform/system/system.h"
#include "tests/support/ras_scripted_backend.h"
#include "tests/support/ras_test_util.h"
#include "tests/support/testsupport.h"
#include "tests/support/tracecapture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

using namespace kivo::test;

namespace
{

constexpr char kSentinel = '\x5A';

template <typename T> void fillSentinel(T& record)
{
    std::memset(&record, kSentinel, sizeof record);
}

bool allSentinel(const void* p, std::size_t n)
{
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i)
        if (b[i] != static_cast<unsigned char>(kSentinel))
            return false;
    return true;
}

} // namespace

TEST(RasLayer, EntryEnumerationFillsFixedRecordsAndReportsWhatDidNotFit)
{
    ScriptedRasBackend* b = installScriptedRasBackend();
    b->names = {"Office", "Home", "Backup"};

    RASENTRYNAME two[2];
    fillSentinel(two);
    two[0].dwSize = sizeof(RASENTRYNAME);
    DWORD cb = sizeof two;
    DWORD count = 99;
    EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, two, &cb, &count), ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(count, 2u) << "the records that fit are written and counted";
    EXPECT_EQ(cb, 3 * sizeof(RASENTRYNAME)) << "the size all of them need";
    EXPECT_STREQ(two[0].szEntryName, "Office");
    EXPECT_STREQ(two[1].szEntryName, "Home");
    EXPECT_EQ(two[1].dwSize, sizeof(RASENTRYNAME));

    // A size query without a buffer.
    cb = 0;
    EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, nullptr, &cb, &count), ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(cb, 3 * sizeof(RASENTRYNAME));

    DWORD r = 0;
    EXPECT_EQ(listEntries(nullptr, &r), (std::vector<std::string>{"Office", "Home", "Backup"}));
    EXPECT_EQ(r, 0u);
    ASSERT_FALSE(b->phoneBooks.empty());
    EXPECT_EQ(b->phoneBooks.back(), "") << "a null phonebook means the backend's default";
    listEntries("/tmp/some.pbk");
    EXPECT_EQ(b->phoneBooks.back(), "/tmp/some.pbk");

    // Bad arguments change nothing.
    RASENTRYNAME one;
    fillSentinel(one);
    one.dwSize = 260;
    cb = sizeof one;
    count = 7;
    EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, &one, &cb, &count), ERROR_INVALID_SIZE);
    EXPECT_TRUE(allSentinel(one.szEntryName, sizeof one.szEntryName));
    EXPECT_EQ(count, 7u);
    one.dwSize = sizeof one;
    EXPECT_EQ(RasEnumEntriesA("reserved", nullptr, &one, &cb, &count), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, &one, nullptr, &count), ERROR_INVALID_PARAMETER);

    // A failing phonebook: the code, and nothing written.
    b->entriesResult = ERROR_CANNOT_OPEN_PHONEBOOK;
    EXPECT_TRUE(listEntries(nullptr, &r).empty());
    EXPECT_EQ(r, ERROR_CANNOT_OPEN_PHONEBOOK);
}

TEST(RasLayer, EntryNamesLongerThanARecordHoldsAreLeftOut)
{
    ScriptedRasBackend* b = installScriptedRasBackend();
    const std::string longest(RAS_MaxEntryName, 'x');
    b->names = {"A", std::string(RAS_MaxEntryName + 1, 'y'), longest, "B"};
    EXPECT_EQ(listEntries(nullptr), (std::vector<std::string>{"A", longest, "B"}));
}

TEST(RasLayer, TextsAreCutWithoutSplittingACharacter)
{
    EXPECT_EQ(kivo::ras::cutText("abcdef", 4), "abcd");
    EXPECT_EQ(kivo::ras::cutText("abc", 4), "abc");
    // "é" is two bytes: a cut in its middle leaves it out whole.
    EXPECT_EQ(kivo::ras::cutText("ab\xC3\xA9", 3), "ab");
    EXPECT_EQ(kivo::ras::cutText("ab\xC3\xA9", 4), "ab\xC3\xA9");
    EXPECT_EQ(kivo::ras::cutText("\xE2\x82\xAC\xE2\x82\xAC", 5), "\xE2\x82\xAC");
}

TEST(RasLayer, DialChecksItsArgumentsBeforeAnythingHappens)
{
    ScriptedRasBackend* b = installScriptedRasBackend();
    StepRecorder rec;
    RASDIALPARAMS p;
    std::memset(&p, 0, sizeof p);
    p.dwSize = sizeof p;
    std::strcpy(p.szEntryName, "Office");
    HRASCONN h = nullptr;

    EXPECT_EQ(RasDialA(nullptr, nullptr, nullptr, RASNOTIFIER_HWND, rec.hwnd, &h), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RasDialA(nullptr, nullptr, &p, RASNOTIFIER_HWND, rec.hwnd, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RasDialA(nullptr, nullptr, &p, RASDIALFUNC_NOTIFIER, rec.hwnd, &h), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RasDialA(nullptr, nullptr, &p, RASNOTIFIER_HWND, nullptr, &h), ERROR_INVALID_PARAMETER)
        << "a synchronous dial is not supported";
    HWND gone = kivo::sys::AllocateHWnd([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    kivo::sys::DeallocateHWnd(gone);
    EXPECT_EQ(RasDialA(nullptr, nullptr, &p, RASNOTIFIER_HWND, gone, &h), ERROR_INVALID_PARAMETER);
    HRASCONN resumed(0x1234u);
    EXPECT_EQ(RasDialA(nullptr, nullptr, &p, RASNOTIFIER_HWND, rec.hwnd, &resumed), ERROR_INVALID_PARAMETER);
    p.dwSize = 1048;
    EXPECT_EQ(RasDialA(nullptr, nullptr, &p, RASNOTIFIER_HWND, rec.hwnd, &h), ERROR_INVALID_SIZE);
    EXPECT_TRUE(b->dials.empty()) << "nothing reached the service";
    EXPECT_FALSE(h);

    // The service's refusal comes back as it is, with no handle.
    p.dwSize = sizeof p;
    b->dialResult = ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    EXPECT_EQ(RasDialA(nullptr, nullptr, &p, RASNOTIFIER_HWND, rec.hwnd, &h),
              ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    EXPECT_FALSE(h);

    // Texts without their NUL are read no further than their field.
    b->dialResult = 0;
    std::memset(p.szDomain, 'D', sizeof p.szDomain);
    std::memset(p.szPassword, 'P', sizeof p.szPassword);
    ASSERT_EQ(RasDialA(nullptr, "/x.pbk", &p, RASNOTIFIER_HWND, rec.hwnd, &h), 0u);
    EXPECT_TRUE(h);
    EXPECT_EQ(b->dials.back().domain, std::string(sizeof p.szDomain, 'D'));
    EXPECT_EQ(b->dials.back().password.size(), sizeof p.szPassword);
    EXPECT_EQ(b->dials.back().phoneBook, "/x.pbk");
    RasHangUpA(h);
}

TEST(RasLayer, StepsArriveInOrderOnTheOwnerThreadAndNotAfterHangUp)
{
    ScriptedRasBackend* b = installScriptedRasBackend();
    StepRecorder rec;
    HRASCONN h = nullptr;
    ASSERT_EQ(dialEntry(nullptr, "Office", rec.hwnd, h), 0u);
    ASSERT_TRUE(h);
    for (DWORD s : {RASCS_OpenPort, RASCS_PortOpened, RASCS_ConnectDevice})
        b->step(s);
    EXPECT_TRUE(rec.steps.empty()) << "steps wait for the owner's event loop";
    ASSERT_TRUE(rec.waitForSteps(3));
    EXPECT_EQ(rec.steps, (std::vector<RasStep>{{0, 0}, {1, 0}, {2, 0}}));

    // Reported before the hang-up, still queued when it happens: dropped.
    b->step(RASCS_DeviceConnected);
    b->step(RASCS_AllDevicesConnected);
    const kivo::ras::ConnId id = b->lastId;
    EXPECT_EQ(RasHangUpA(h), 0u);
    // Reported after it: dropped too.
    b->notifyOnly(RASCS_Authenticate, 0, id);
    drainPostedEvents();
    EXPECT_EQ(rec.steps.size(), 3u);
    EXPECT_TRUE(rec.others.empty());
    EXPECT_EQ(b->hangUps, (std::vector<kivo::ras::ConnId>{id}));

    // The handle is stale from now on.
    EXPECT_EQ(RasHangUpA(h), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    DWORD r = 0;
    connectStatus(h, &r);
    EXPECT_EQ(r, static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(RasHangUpA(nullptr), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(RasLayer, EveryDialGetsAHandleOfItsOwn)
{
    ScriptedRasBackend* b = installScriptedRasBackend();
    StepRecorder one, two;
    HRASCONN h1 = nullptr, h2 = nullptr;
    ASSERT_EQ(dialEntry(nullptr, "A", one.hwnd, h1), 0u);
    const auto id1 = b->lastId;
    ASSERT_EQ(dialEntry(nullptr, "B", two.hwnd, h2), 0u);
    EXPECT_NE(h1, h2);
    b->step(RASCS_PortOpened, 0, id1);
    b->step(RASCS_ConnectDevice);
    ASSERT_TRUE(one.waitForSteps(1));
    ASSERT_TRUE(two.waitForSteps(1));
    EXPECT_EQ(one.steps, (std::vector<RasStep>{{1, 0}}));
    EXPECT_EQ(two.steps, (std::vector<RasStep>{{2, 0}}));
    RasHangUpA(h1);
    // A new dial never gets a handle that was used before.
    HRASCONN h3 = nullptr;
    ASSERT_EQ(dialEntry(nullptr, "A", one.hwnd, h3), 0u);
    EXPECT_NE(h3, h1);
    EXPECT_NE(h3, h2);
    RasHangUpA(h2);
    RasHangUpA(h3);
}

TEST(RasLayer, StatusIsFilledOnlyOnSuccess)
{
    ScriptedRasBackend* b = installScriptedRasBackend();
    StepRecorder rec;
    HRASCONN h = nullptr;
    ASSERT_EQ(dialEntry(nullptr, "Office", rec.hwnd, h), 0u);
    b->live[b->lastId] = {RASCS_ConnectDevice, 0, std::string(40, 't'), std::string(300, 'n')};

    RASCONNSTATUS st;
    fillSentinel(st);
    st.dwSize = sizeof st;
    ASSERT_EQ(RasGetConnectStatusA(h, &st), 0u);
    EXPECT_EQ(st.rasconnstate, RASCS_ConnectDevice);
    EXPECT_EQ(st.dwError, 0u);
    EXPECT_EQ(std::string(st.szDeviceType), std::string(RAS_MaxDeviceType, 't'));
    EXPECT_EQ(std::string(st.szDeviceName), std::string(RAS_MaxDeviceName, 'n'));

    // Failures leave the record as it was.
    for (HRASCONN bad : {HRASCONN(nullptr), HRASCONN(0x77u)}) {
        fillSentinel(st);
        st.dwSize = sizeof st;
        EXPECT_EQ(RasGetConnectStatusA(bad, &st), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_TRUE(allSentinel(reinterpret_cast<char*>(&st) + 4, sizeof st - 4));
    }
    fillSentinel(st);
    st.dwSize = 144;
    EXPECT_EQ(RasGetConnectStatusA(h, &st), ERROR_INVALID_SIZE);
    EXPECT_TRUE(allSentinel(reinterpret_cast<char*>(&st) + 4, sizeof st - 4));
    EXPECT_EQ(RasGetConnectStatusA(h, nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    b->statusResult = ERROR_NOT_ENOUGH_MEMORY;
    fillSentinel(st);
    st.dwSize = sizeof st;
    EXPECT_EQ(RasGetConnectStatusA(h, &st), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_TRUE(allSentinel(reinterpret_cast<char*>(&st) + 4, sizeof st - 4));
    RasHangUpA(h);
}

TEST(RasLayer, ConnectionsNotDialledHereGetHandlesWhileTheyLast)
{
    ScriptedRasBackend* b = installScriptedRasBackend();
    b->conns = {
        {101, "Elsewhere", "modem", "ttyS0"}, {102, "Also", "isdn", "capi"}, {103, "Third", "vpn", "tun0"}};
    b->live[101] = {RASCS_Connected, 0, "modem", "ttyS0"};

    RASCONN two[2];
    fillSentinel(two);
    two[0].dwSize = sizeof(RASCONN);
    DWORD cb = sizeof two;
    DWORD count = 0;
    EXPECT_EQ(RasEnumConnectionsA(two, &cb, &count), ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(cb, 3 * sizeof(RASCONN));
    EXPECT_STREQ(two[0].szEntryName, "Elsewhere");
    EXPECT_STREQ(two[0].szDeviceType, "modem");
    EXPECT_STREQ(two[0].szDeviceName, "ttyS0");
    EXPECT_EQ(two[1].dwSize, sizeof(RASCONN));
    EXPECT_EQ(two[1].szDeviceName[5], '\0') << "unused bytes are zero";
    ASSERT_TRUE(two[0].hrasconn);
    EXPECT_NE(two[0].hrasconn, two[1].hrasconn);

    // Stable while they last; the status comes from the service.
    std::vector<RASCONN> all = listConnections();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].hrasconn, two[0].hrasconn);
    EXPECT_EQ(connectStatus(all[0].hrasconn).rasconnstate, RASCS_Connected);

    // Gone from the service: gone from the list, and the handle is stale.
    b->conns.erase(b->conns.begin());
    ASSERT_EQ(listConnections().size(), 2u);
    DWORD r = 0;
    connectStatus(all[0].hrasconn, &r);
    EXPECT_EQ(r, static_cast<DWORD>(ERROR_INVALID_HANDLE));

    RASCONN bad;
    fillSentinel(bad);
    bad.dwSize = 400;
    cb = sizeof bad;
    EXPECT_EQ(RasEnumConnectionsA(&bad, &cb, &count), ERROR_INVALID_SIZE);
    EXPECT_TRUE(allSentinel(reinterpret_cast<char*>(&bad) + 4, sizeof bad - 4));
}

TEST(RasLayer, ObserversFollowEveryDialledConnection)
{
    ScriptedRasBackend* b = installScriptedRasBackend();
    std::vector<std::string> seen;
    const int id = kivo::ras::addConnectionObserver(
        {[&](HRASCONN, const std::string& e) { seen.push_back("device " + e); },
         [&](HRASCONN, const std::string& e) { seen.push_back("connected " + e); },
         [&](HRASCONN) { seen.push_back("ended"); }});
    StepRecorder rec;
    HRASCONN h = nullptr;
    ASSERT_EQ(dialEntry(nullptr, "Office", rec.hwnd, h), 0u);
    for (DWORD s : {RASCS_OpenPort, RASCS_ConnectDevice, RASCS_DeviceConnected, RASCS_AllDevicesConnected,
                    RASCS_Connected})
        b->step(s);
    ASSERT_TRUE(rec.waitForSteps(5));
    EXPECT_EQ(seen, (std::vector<std::string>{"device Office", "connected Office"}));
    RasHangUpA(h);
    EXPECT_EQ(seen.back(), "ended");

    // A failure ends it at once; the hang-up after it tells nothing more.
    seen.clear();
    ASSERT_EQ(dialEntry(nullptr, "Home", rec.hwnd, h), 0u);
    b->step(RASCS_ConnectDevice, ERROR_LINE_BUSY);
    ASSERT_TRUE(waitUntil([&] { return !seen.empty(); }));
    RasHangUpA(h);
    EXPECT_EQ(seen, (std::vector<std::string>{"ended"}));

    // Connections this process did not dial are not followed.
    seen.clear();
    b->conns = {{500, "Elsewhere", "modem", "ttyS1"}};
    listConnections();
    b->conns.clear();
    listConnections();
    EXPECT_TRUE(seen.empty());

    kivo::ras::removeConnectionObserver(id);
    ASSERT_EQ(dialEntry(nullptr, "Office", rec.hwnd, h), 0u);
    RasHangUpA(h);
    EXPECT_TRUE(seen.empty());
}

TEST(RasLayer, DisconnectLineEndsTheLineButLeavesTheHandleToItsOwner)
{
    ScriptedRasBackend* b = installScriptedRasBackend();
    int ended = 0;
    const int obs = kivo::ras::addConnectionObserver({nullptr, nullptr, [&](HRASCONN) { ++ended; }});
    StepRecorder rec;
    HRASCONN h = nullptr;
    ASSERT_EQ(dialEntry(nullptr, "Office", rec.hwnd, h), 0u);
    b->live[b->lastId] = {RASCS_Connected, 0, "modem", "Test Modem"};
    const auto id = b->lastId;

    EXPECT_EQ(kivo::ras::DisconnectLine(h), 0u);
    EXPECT_EQ(b->hangUps, (std::vector<kivo::ras::ConnId>{id}));
    ASSERT_TRUE(rec.waitForSteps(1));
    EXPECT_EQ(rec.steps.back(), RasStep(RASCS_Disconnected, ERROR_USER_DISCONNECTION));
    EXPECT_EQ(ended, 1);
    const RASCONNSTATUS st = connectStatus(h);
    EXPECT_EQ(st.rasconnstate, RASCS_Disconnected);
    EXPECT_EQ(st.dwError, ERROR_USER_DISCONNECTION);
    EXPECT_STREQ(st.szDeviceName, "Test Modem");
    EXPECT_EQ(kivo::ras::DisconnectLine(h), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "only once";

    EXPECT_EQ(RasHangUpA(h), 0u);
    EXPECT_EQ(b->hangUps.size(), 1u) << "the service let go of it already";
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(kivo::ras::DisconnectLine(h), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    kivo::ras::removeConnectionObserver(obs);
}

TEST(RasLayer, EveryCodeTheLayerReturnsHasAOneLineText)
{
    const DWORD codes[] = {ERROR_ACCESS_DENIED,
                           ERROR_INVALID_HANDLE,
                           ERROR_NOT_ENOUGH_MEMORY,
                           ERROR_INVALID_PARAMETER,
                           PENDING,
                           ERROR_INVALID_PORT_HANDLE,
                           ERROR_PORT_ALREADY_OPEN,
                           ERROR_BUFFER_TOO_SMALL,
                           ERROR_DEVICE_DOES_NOT_EXIST,
                           ERROR_BUFFER_INVALID,
                           ERROR_PORT_NOT_CONNECTED,
                           ERROR_CANNOT_OPEN_PHONEBOOK,
                           ERROR_CANNOT_LOAD_PHONEBOOK,
                           ERROR_CANNOT_FIND_PHONEBOOK_ENTRY,
                           ERROR_PORT_DISCONNECTED,
                           ERROR_REMOTE_DISCONNECTION,
                           ERROR_USER_DISCONNECTION,
                           ERROR_INVALID_SIZE,
                           ERROR_PORT_NOT_AVAILABLE,
                           ERROR_REQUEST_TIMEOUT,
                           ERROR_FROM_DEVICE,
                           ERROR_LINE_BUSY,
                           ERROR_VOICE_ANSWER,
                           ERROR_NO_ANSWER,
                           ERROR_NO_CARRIER,
                           ERROR_NO_DIALTONE,
                           ERROR_AUTHENTICATION_FAILURE,
                           ERROR_HARDWARE_FAILURE,
                           ERROR_IP_CONFIGURATION,
                           ERROR_PPP_TIMEOUT,
                           ERROR_PROTOCOL_NOT_CONFIGURED,
                           ERROR_PPP_LCP_TERMINATED,
                           ERROR_PPP_LOOPBACK_DETECTED,
                           ERROR_UNABLE_TO_AUTHENTICATE_SERVER};
    for (DWORD code : codes) {
        char buf[257];
        std::memset(buf, 0, sizeof buf);
        EXPECT_EQ(RasGetErrorStringA(code, buf, 256), 0u) << code;
        EXPECT_GT(std::strlen(buf), 10u) << code;
        EXPECT_EQ(std::strchr(buf, '\n'), nullptr) << code;
    }
    char buf[64];
    std::memset(buf, kSentinel, sizeof buf);
    EXPECT_EQ(RasGetErrorStringA(0, buf, sizeof buf), static_cast<DWORD>(ERROR_INVALID_PARAMETER))
        << "success is no error";
    EXPECT_EQ(RasGetErrorStringA(4242, buf, sizeof buf), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(allSentinel(buf, sizeof buf));
    EXPECT_EQ(RasGetErrorStringA(ERROR_LINE_BUSY, buf, 5), ERROR_BUFFER_TOO_SMALL);
    EXPECT_TRUE(allSentinel(buf, sizeof buf));
    EXPECT_EQ(RasGetErrorStringA(ERROR_LINE_BUSY, nullptr, 256), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(RasLayer, CallsFromAnotherThreadAreRefused)
{
    ScriptedRasBackend* b = installScriptedRasBackend();
    b->names = {"Office"};
    DWORD enumResult = 0, hangResult = 0, textResult = 1;
    std::thread worker([&] {
        listEntries(nullptr, &enumResult);
        hangResult = RasHangUpA(HRASCONN(1u));
        char buf[257] = {};
        textResult = RasGetErrorStringA(ERROR_LINE_BUSY, buf, 256);
    });
    worker.join();
    EXPECT_EQ(enumResult, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(hangResult, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(textResult, 0u) << "texts are for any thread";
    EXPECT_EQ(listEntries(nullptr), std::vector<std::string>{"Office"});
}

TEST(RasLayer, TraceShowsEveryCallWithItsArgumentsButNoPassword)
{
    TraceCapture trace;
    ScriptedRasBackend* b = installScriptedRasBackend();
    b->names = {"Office"};
    StepRecorder rec;
    HRASCONN h = nullptr;
    ASSERT_EQ(dialEntry(nullptr, "Office", rec.hwnd, h, "s3cret-pw"), 0u);
    b->step(RASCS_OpenPort);
    ASSERT_TRUE(rec.waitForSteps(1));
    connectStatus(h);
    listEntries("/tmp/book.pbk");
    listConnections();
    char buf[257] = {};
    RasGetErrorStringA(ERROR_NO_ANSWER, buf, 256);
    RasHangUpA(h);

    for (const char* call : {"RasDialA(", "RasGetConnectStatusA(", "RasEnumEntriesA(", "RasEnumConnectionsA(",
                             "RasGetErrorStringA(", "RasHangUpA("})
        EXPECT_EQ(trace.count(call), 1) << call;
    EXPECT_TRUE(trace.anyLineHas("RasDialA(", "entry=\"Office\""));
    EXPECT_TRUE(trace.anyLineHas("RasDialA(", "password=***"));
    EXPECT_TRUE(trace.anyLineHas("RasEnumEntriesA(", "phonebook=\"/tmp/book.pbk\""));
    EXPECT_TRUE(trace.anyLineHas("RasGetErrorStringA(code=678", "= 0"));
    EXPECT_TRUE(trace.anyLineHas("RasDialEvent(", "state=0, error=0"));
    for (const std::string& line : trace.lines())
        EXPECT_EQ(line.find("s3cret"), std::string::npos) << line;
}

TEST(RasFactory, TheEnvironmentChoosesTheBackendAndTheReasonIsKept)
{
    kivo::ras::installBackend(nullptr, "");
    setenv("KIVO95_RAS", "sim", 1);
    EXPECT_EQ(kivo::ras::backendName(), "sim");
    EXPECT_NE(kivo::ras::backendReason().find("KIVO95_RAS=sim"), std::string::npos);

    // A name that is no backend is not obeyed: one is chosen as usual.
    kivo::ras::installBackend(nullptr, "");
    setenv("KIVO95_RAS", "carrier-pigeon", 1);
    EXPECT_EQ(kivo::ras::backendName(), "sim");
    EXPECT_EQ(kivo::ras::backendReason().find("carrier-pigeon"), std::string::npos);
    unsetenv("KIVO95_RAS");
    kivo::ras::installBackend(nullptr, "");
}
