// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// TRAS and TConnectionList: enumerations and their limits, dialing, every
// state's event and text, failures, Disconnect, and the demo phonebook
// dialled through the simulated service.
#include "components/Rascomp32.h"
#include "platform/ras/ras_backend.h"
#include "platform/system/system.h"
#include "tests/support/ras_scripted_backend.h"
#include "tests/support/ras_test_util.h"
#include "tests/support/testsupport.h"
#include "tests/support/tracecapture.h"

#include <QFile>
#include <QMetaObject>
#include <QVariant>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace kivo::test;

namespace
{

struct EventSlot {
    const char* name;
    TNotifyEvent TRAS::*slot;
};

const EventSlot kSlots[] = {
    {"OnCallBack", &TRAS::OnCallBack},
    {"OnConnect", &TRAS::OnConnect},
    {"OnAboutToOpenPort", &TRAS::OnAboutToOpenPort},
    {"OnPortOpened", &TRAS::OnPortOpened},
    {"OnAboutToConnDev", &TRAS::OnAboutToConnDev},
    {"OnDevConnected", &TRAS::OnDevConnected},
    {"OnAllDevsConnected", &TRAS::OnAllDevsConnected},
    {"OnAuthenticate", &TRAS::OnAuthenticate},
    {"OnAuthNotify", &TRAS::OnAuthNotify},
    {"OnAuthRetry", &TRAS::OnAuthRetry},
    {"OnAuthCallBack", &TRAS::OnAuthCallBack},
    {"OnAuthChangePassword", &TRAS::OnAuthChangePassword},
    {"OnAuthProject", &TRAS::OnAuthProject},
    {"OnAuthLinkSpeed", &TRAS::OnAuthLinkSpeed},
    {"OnAuthAck", &TRAS::OnAuthAck},
    {"OnReAuthenticate", &TRAS::OnReAuthenticate},
    {"OnAuthenticated", &TRAS::OnAuthenticated},
    {"OnPrepareforCallback", &TRAS::OnPrepareforCallback},
    {"OnWaitForModemReset", &TRAS::OnWaitForModemReset},
    {"OnInteractiveStarted", &TRAS::OnInteractiveStarted},
    {"OnRetryAuth", &TRAS::OnRetryAuth},
    {"OnPasswordExpired", &TRAS::OnPasswordExpired},
};

// A TRAS over a scripted service, with every event recorded by name.
class Dialer : public testing::Test
{
  protected:
    void SetUp() override
    {
        service = installScriptedRasBackend();
        ras = std::make_unique<TRAS>(nullptr);
        for (const EventSlot& e : kSlots)
            (*ras).*(e.slot) = [this, name = std::string(e.name)](QObject* sender) {
                EXPECT_EQ(sender, ras.get());
                events.push_back(name);
            };
        ras->OnDisconnect = [this](QObject* sender, std::int32_t error, QString text) {
            EXPECT_EQ(sender, ras.get());
            disconnects.emplace_back(error, text.toStdString());
        };
    }

    // Connects and waits for the first step to be handled.
    void dial()
    {
        ras->setEntryName("Office");
        ASSERT_EQ(ras->Connect(), 0);
        ASSERT_TRUE(ras->ConnHandle());
        step(RASCS_OpenPort);
        events.clear();
    }

    // The service reports a step; waits until the dialer has handled it.
    void step(DWORD state, DWORD error = 0)
    {
        service->step(state, error);
        drainPostedEvents();
    }

    ScriptedRasBackend* service = nullptr;
    std::unique_ptr<TRAS> ras;
    std::vector<std::string> events;
    std::vector<std::pair<std::int32_t, std::string>> disconnects;
};

RASCONN connection(std::uint32_t handle, const char* entry)
{
    RASCONN c;
    std::memset(&c, 0, sizeof c);
    c.dwSize = sizeof c;
    c.hrasconn = HRASCONN(handle);
    std::strcpy(c.szEntryName, entry);
    std::strcpy(c.szDeviceName, "ttyS0");
    return c;
}

} // namespace

// ---- enumerations -------------------------------------------------------------

TEST_F(Dialer, PhonebookEnumerationTakesTheFirstTwentyInThePlatformsOrder)
{
    for (int i = 0; i < 25; ++i)
        service->names.push_back("Entry " + std::to_string(25 - i));
    EXPECT_EQ(ras->GetPhoneBookEntries(), static_cast<std::int32_t>(ERROR_BUFFER_TOO_SMALL));
    EXPECT_EQ(ras->LastError(), static_cast<std::int32_t>(ERROR_BUFFER_TOO_SMALL));
    ASSERT_EQ(ras->PhoneBookEntries().size(), 20);
    EXPECT_EQ(ras->PhoneBookEntries().front(), "Entry 25");
    EXPECT_EQ(ras->PhoneBookEntries().back(), "Entry 6");

    // Empty names are skipped but keep their place among the twenty.
    service->names[2] = "";
    service->names[10] = "";
    service->names.push_back("Entry 25"); // duplicates are kept, beyond 20 is ignored
    ras->GetPhoneBookEntries();
    ASSERT_EQ(ras->PhoneBookEntries().size(), 18);
    EXPECT_FALSE(ras->PhoneBookEntries().contains("Entry 5"))
        << "a later name never takes an empty one's place";
    EXPECT_FALSE(ras->PhoneBookEntries().contains(""));

    service->names = {"B", "A", "B"};
    EXPECT_EQ(ras->GetPhoneBookEntries(), 0);
    EXPECT_EQ(ras->PhoneBookEntries(), (QStringList{"B", "A", "B"})) << "unsorted, duplicates kept";

    service->entriesResult = ERROR_CANNOT_OPEN_PHONEBOOK;
    EXPECT_EQ(ras->GetPhoneBookEntries(), static_cast<std::int32_t>(ERROR_CANNOT_OPEN_PHONEBOOK));
    EXPECT_TRUE(ras->PhoneBookEntries().isEmpty()) << "a failing enumeration leaves the list empty";
    EXPECT_EQ(ras->LastError(), static_cast<std::int32_t>(ERROR_CANNOT_OPEN_PHONEBOOK));

    service->entriesResult = 0;
    service->names.clear();
    EXPECT_EQ(ras->GetPhoneBookEntries(), 0);
    EXPECT_TRUE(ras->PhoneBookEntries().isEmpty());
}

TEST_F(Dialer, SettingThePhonebookPathRefreshesTheEntriesEveryTime)
{
    service->names = {"Office"};
    EXPECT_TRUE(service->phoneBooks.empty()) << "construction does not enumerate";
    ras->setPhoneBookPath("/home/u/work.pbk");
    ras->setPhoneBookPath("/home/u/work.pbk");
    ras->setProperty("PhoneBookPath", QString());
    EXPECT_EQ(service->phoneBooks, (std::vector<std::string>{"/home/u/work.pbk", "/home/u/work.pbk", ""}));
    EXPECT_EQ(ras->PhoneBookEntries(), QStringList{"Office"});
}

TEST_F(Dialer, ConnectionEnumerationKeepsFourAndReplacesTheLastResult)
{
    for (kivo::ras::ConnId id = 1; id <= 6; ++id)
        service->conns.push_back({id, "Link " + std::to_string(id), "modem", "ttyS" + std::to_string(id)});
    EXPECT_EQ(ras->GetConnections(), static_cast<std::int32_t>(ERROR_BUFFER_TOO_SMALL));
    TConnectionList* list = ras->Connections();
    ASSERT_EQ(list->Count(), 4);
    EXPECT_EQ(list->EntryName(0), "Link 1");
    EXPECT_EQ(list->EntryName(3), "Link 4");
    EXPECT_TRUE(list->RASConn(0));
    EXPECT_STREQ(list->Items(3).szDeviceName, "ttyS4") << "the whole record is kept";

    service->conns = {{9, "", "modem", "ttyS9"}, {1, "Link 1", "modem", "ttyS1"}};
    EXPECT_EQ(ras->GetConnections(), 0);
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->EntryName(0), "");
    EXPECT_EQ(list->EntryName(1), "Link 1");

    service->conns.clear();
    EXPECT_EQ(ras->GetConnections(), 0);
    EXPECT_EQ(list->Count(), 0);
}

TEST(TConnectionList, OwnsCopiesAndRaisesTheIndexErrorBeforeChangingAnything)
{
    TConnectionList list;
    RASCONN a = connection(11, "Alpha");
    list.AddConnection(a);
    list.AddConnection(connection(22, "Beta"));
    list.AddConnection(connection(33, ""));
    std::strcpy(a.szEntryName, "Changed");
    EXPECT_EQ(list.EntryName(0), "Alpha") << "the list keeps a copy";
    EXPECT_EQ(list.EntryName(2), "");

    EXPECT_THROW(list.RASConn(3), EListError);
    EXPECT_THROW(list.EntryName(3), EListError);
    EXPECT_THROW(list.Delete(3), EListError);
    EXPECT_THROW(list.Delete(-1), EListError);
    EXPECT_EQ(list.Count(), 3);

    list.Delete(0);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.RASConn(0), HRASCONN(22u));
    EXPECT_EQ(list.RASConn(1), HRASCONN(33u));

    // Published: looked up by name at run time.
    QString name;
    ASSERT_TRUE(QMetaObject::invokeMethod(&list, "EntryName", Q_RETURN_ARG(QString, name), Q_ARG(int, 0)));
    EXPECT_EQ(name, "Beta");
    HRASCONN h = nullptr;
    ASSERT_TRUE(QMetaObject::invokeMethod(&list, "RASConn", Q_RETURN_ARG(HRASCONN, h), Q_ARG(int, 1)));
    EXPECT_EQ(h, HRASCONN(33u));
    const RASCONN d = connection(44, "Delta");
    ASSERT_TRUE(QMetaObject::invokeMethod(&list, "AddConnection", Q_ARG(RASCONN, d)));
    ASSERT_TRUE(QMetaObject::invokeMethod(&list, "Delete", Q_ARG(int, 0)));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.EntryName(1), "Delta");
}

// ---- construction and properties ------------------------------------------------

TEST_F(Dialer, ConstructionRegistersTheMessageAndCreatesNoWindow)
{
    EXPECT_EQ(ras->DialEventMessage(), RegisterWindowMessageA("RASDialEvent"));
    EXPECT_EQ(ras->NotifierHandle(), nullptr);
    EXPECT_FALSE(ras->ConnHandle());
    EXPECT_EQ(ras->ConnectState(), 0);
    EXPECT_EQ(ras->LastError(), 0);
    EXPECT_EQ(ras->RedialAttempts(), 1);
    EXPECT_TRUE(ras->PhoneBookEntries().isEmpty());
    EXPECT_EQ(ras->Connections()->Count(), 0);

    // Published properties, as a form file would set them.
    for (const char* p : {"EntryName", "PhoneNumber", "CallbackNumber", "UserName", "Password", "Domain",
                          "DeviceType", "DeviceName"}) {
        ASSERT_TRUE(ras->setProperty(p, QString("value of ") + p)) << p;
        EXPECT_EQ(ras->property(p).toString(), QString("value of ") + p);
    }
    ASSERT_TRUE(ras->setProperty("RedialAttempts", 0));
    EXPECT_EQ(ras->RedialAttempts(), 0);
    dial();
    EXPECT_EQ(service->dials.size(), 1u) << "RedialAttempts makes no dial of its own";
}

// ---- dialing --------------------------------------------------------------------

TEST_F(Dialer, ConnectPassesEachTextCutToItsFieldAndReturnsBeforeAnyEvent)
{
    ras->setEntryName(QString(300, 'e'));
    ras->setPhoneNumber(QString(200, '5'));
    ras->setCallbackNumber(QString(200, '6'));
    ras->setUserName(QString(300, 'u'));
    ras->setPassword(QString(300, 'p'));
    ras->setDomain("ABCDEFGHIJKLMNOPQRST");
    ras->setPhoneBookPath("/home/u/book.pbk");
    ASSERT_EQ(ras->Connect(), 0);
    EXPECT_TRUE(events.empty());
    ASSERT_EQ(service->dials.size(), 1u);
    const kivo::ras::DialRequest& r = service->dials[0];
    EXPECT_EQ(r.entryName, std::string(256, 'e'));
    EXPECT_EQ(r.phoneNumber, std::string(128, '5'));
    EXPECT_EQ(r.callbackNumber, std::string(128, '6'));
    EXPECT_EQ(r.userName, std::string(256, 'u'));
    EXPECT_EQ(r.password, std::string(256, 'p'));
    EXPECT_EQ(r.domain, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(r.phoneBook, "/home/u/book.pbk");

    // Multi-byte characters are never split.
    ras->setEntryName(QString(200, QChar(0x00E9)));
    ASSERT_EQ(ras->Connect(), 0);
    EXPECT_EQ(QString::fromStdString(service->dials.back().entryName), QString(128, QChar(0x00E9)));
}

TEST_F(Dialer, EveryStateRaisesItsOwnEventAndShowsItsText)
{
    struct Row {
        DWORD state;
        const char* event; // "" for none
        const char* text;
    };
    const Row rows[] = {
        {0, "OnAboutToOpenPort", "Opening Port"},
        {1, "OnPortOpened", "Port Opened"},
        {2, "OnAboutToConnDev", "Using Device: Test Modem - modem"},
        {3, "OnDevConnected", "Device is connected"},
        {4, "OnAllDevsConnected", "All Required Devices Connected"},
        {5, "OnAuthenticate", "Validating User/Password/Domain"},
        {6, "OnAuthNotify", "Authentication Notification"},
        {7, "OnAuthRetry", ""},
        {8, "OnAuthCallBack", "Authentication Call Back"},
        {9, "OnAuthChangePassword", ""},
        {10, "OnAuthProject", "Project"},
        {11, "OnAuthLinkSpeed", "Calculating Link speed"},
        {12, "OnAuthAck", "Authentication acknowledged"},
        {13, "OnReAuthenticate", "Reauthenticating"},
        {14, "OnAuthenticated", "Login Authenticated"},
        {15, "OnPrepareforCallback", "Preparing for Callback"},
        {16, "OnWaitForModemReset", "Waiting for Modem Reset"},
        {17, "OnCallBack", "Waiting for Callback"},
        {18, "", ""},
        {0x1000, "OnInteractiveStarted", ""},
        {0x1001, "OnRetryAuth", ""},
        {0x1002, "", ""},
        {0x1003, "OnPasswordExpired", ""},
        {0x7777, "", ""},
        {0x2000, "OnConnect", ""},
    };
    dial();
    for (const Row& row : rows) {
        events.clear();
        step(row.state);
        EXPECT_EQ(ras->ConnectState(), row.state) << row.state;
        const std::vector<std::string> expected =
            *row.event ? std::vector<std::string>{row.event} : std::vector<std::string>{};
        EXPECT_EQ(events, expected) << row.state;
        EXPECT_EQ(ras->GetStatusText().toStdString(), row.text) << row.state;
    }
    EXPECT_TRUE(disconnects.empty());
    EXPECT_TRUE(ras->ConnHandle());
}

TEST_F(Dialer, TheStateUsesOnlyTheLowSixteenBits)
{
    dial();
    PostMessageA(ras->NotifierHandle(), ras->DialEventMessage(), 0x10003, 0);
    drainPostedEvents();
    EXPECT_EQ(events, std::vector<std::string>{"OnDevConnected"});
}

TEST_F(Dialer, AFailureNotificationRaisesNothingAndHangsNothingUp)
{
    dial();
    step(RASCS_ConnectDevice);
    events.clear();
    step(RASCS_ConnectDevice, ERROR_NO_ANSWER);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(disconnects.empty());
    EXPECT_TRUE(ras->ConnHandle());
    EXPECT_TRUE(service->hangUps.empty());
    EXPECT_EQ(ras->ConnectState(), RASCS_ConnectDevice);
    EXPECT_EQ(ras->LastError(), static_cast<std::int32_t>(ERROR_NO_ANSWER));
    EXPECT_EQ(ras->GetConnectStatus(), static_cast<std::int32_t>(ERROR_NO_ANSWER));
    EXPECT_EQ(ras->GetStatusText(), "The remote computer does not answer.");

    // The notification's error holds only until the status refresh replaces
    // it with the connection's own.
    service->live[service->lastId].error = 0;
    service->notifyOnly(RASCS_Authenticate, ERROR_LINE_BUSY);
    drainPostedEvents();
    EXPECT_EQ(ras->LastError(), 0);
    EXPECT_EQ(ras->ConnectState(), RASCS_ConnectDevice);
}

TEST_F(Dialer, DialMessagesWithoutAHandleGoToTheDefaultHandling)
{
    service->dialResult = ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    ras->setEntryName("Nowhere");
    EXPECT_EQ(ras->Connect(), static_cast<std::int32_t>(ERROR_CANNOT_FIND_PHONEBOOK_ENTRY));
    EXPECT_EQ(ras->LastError(), static_cast<std::int32_t>(ERROR_CANNOT_FIND_PHONEBOOK_ENTRY));
    EXPECT_FALSE(ras->ConnHandle());
    const HWND w = ras->NotifierHandle();
    ASSERT_TRUE(kivo::sys::IsHiddenWindow(w));

    EXPECT_EQ(kivo::sys::DispatchNow(w, ras->DialEventMessage(), RASCS_DeviceConnected, 0), 0);
    EXPECT_EQ(kivo::sys::DispatchNow(w, ras->DialEventMessage(), RASCS_Connected, 0), 0);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(ras->ConnectState(), 0);
    EXPECT_EQ(ras->LastError(), static_cast<std::int32_t>(ERROR_CANNOT_FIND_PHONEBOOK_ENTRY));
    EXPECT_EQ(kivo::sys::DispatchNow(w, WM_QUERYENDSESSION, 0, 0), TRUE) << "the default handling answers";
    EXPECT_EQ(ras->GetStatusText(), "Not Active");
    EXPECT_EQ(ras->GetErrorString(ERROR_LINE_BUSY), "");

    // The window is kept for the next dial.
    service->dialResult = 0;
    ASSERT_EQ(ras->Connect(), 0);
    EXPECT_EQ(ras->NotifierHandle(), w);
    // Other messages go to the default handling while a handle is held too.
    EXPECT_EQ(kivo::sys::DispatchNow(w, WM_QUERYENDSESSION, 0, 0), TRUE);
}

TEST_F(Dialer, ConnectWhileConnectedHangsUpSilentlyAndDialsAgain)
{
    dial();
    step(RASCS_Connected);
    EXPECT_EQ(events, std::vector<std::string>{"OnConnect"});
    const HWND first = ras->NotifierHandle();
    const auto firstId = service->lastId;
    const HRASCONN firstHandle = ras->ConnHandle();

    ASSERT_EQ(ras->Connect(), 0);
    EXPECT_TRUE(disconnects.empty());
    EXPECT_EQ(service->hangUps, std::vector<kivo::ras::ConnId>{firstId});
    EXPECT_FALSE(kivo::sys::IsHiddenWindow(first));
    EXPECT_TRUE(kivo::sys::IsHiddenWindow(ras->NotifierHandle()));
    EXPECT_TRUE(ras->ConnHandle());
    EXPECT_NE(ras->ConnHandle(), firstHandle);
    EXPECT_EQ(service->dials.size(), 2u);
}

TEST_F(Dialer, DisconnectAlwaysRaisesOnDisconnectWithAnEmptyText)
{
    EXPECT_EQ(ras->Disconnect(), 0);
    EXPECT_EQ(ras->Disconnect(), 0);
    EXPECT_EQ(ras->LastError(), 0);
    ASSERT_EQ(disconnects.size(), 2u);
    EXPECT_EQ(disconnects[0], std::make_pair(std::int32_t(ERROR_INVALID_HANDLE), std::string()));
    EXPECT_EQ(disconnects[1], disconnects[0]);

    disconnects.clear();
    dial();
    step(RASCS_Connected);
    const HWND w = ras->NotifierHandle();
    EXPECT_EQ(ras->Disconnect(), 0);
    EXPECT_FALSE(ras->ConnHandle());
    EXPECT_EQ(ras->NotifierHandle(), nullptr);
    EXPECT_FALSE(kivo::sys::IsHiddenWindow(w));
    EXPECT_EQ(service->hangUps.size(), 1u);
    ASSERT_EQ(disconnects.size(), 1u);
    EXPECT_EQ(disconnects[0].second, "");
}

TEST_F(Dialer, ADisconnectedNotificationRaisesOnDisconnectAndKeepsTheHandle)
{
    dial();
    step(RASCS_Connected);
    step(RASCS_Disconnected);
    ASSERT_EQ(disconnects.size(), 1u);
    EXPECT_EQ(disconnects[0].first, 0) << "the status query of the live connection succeeded";
    EXPECT_EQ(disconnects[0].second, "Status Unknown");
    EXPECT_TRUE(ras->ConnHandle());
    EXPECT_EQ(ras->ConnectState(), RASCS_Disconnected);

    ras->Disconnect();
    ASSERT_EQ(disconnects.size(), 2u);
    EXPECT_EQ(disconnects[1].second, "");
}

TEST_F(Dialer, HandlersMayHangUpOrRedialWhileTheirEventIsRaised)
{
    TraceCapture trace;
    dial();
    ras->OnAboutToConnDev = [&](QObject*) { ras->Disconnect(); };
    const HWND w = ras->NotifierHandle();
    trace.clear();
    step(RASCS_ConnectDevice);
    EXPECT_FALSE(ras->ConnHandle());
    EXPECT_EQ(disconnects.size(), 1u);
    // The only status query after the hang-up is OnDisconnect's, of no handle.
    EXPECT_EQ(trace.count("RasGetConnectStatusA("), 1);
    EXPECT_EQ(trace.count("RasGetConnectStatusA(hrasconn=0x0)"), 1);
    // The window that ran the handler goes once it has returned.
    EXPECT_TRUE(waitUntil([&] { return !kivo::sys::IsHiddenWindow(w); }));

    // Redial from OnConnect, as an owner cycling through entries would.
    int connects = 0;
    ras->OnConnect = [&](QObject*) {
        if (++connects == 1)
            ras->Connect();
    };
    dial();
    step(RASCS_Connected);
    EXPECT_EQ(connects, 1);
    EXPECT_TRUE(ras->ConnHandle());
    EXPECT_EQ(service->dials.size(), 3u);
    step(RASCS_Connected);
    EXPECT_EQ(connects, 2);
    EXPECT_TRUE(disconnects.size() == 1u) << "the redial hung up silently";
}

// ---- status ---------------------------------------------------------------------

TEST_F(Dialer, StatusTextsForErrorsAndSpecialCodes)
{
    EXPECT_EQ(ras->GetStatusText(), "Not Active");
    EXPECT_EQ(ras->GetErrorString(ERROR_LINE_BUSY), "") << "no handle, no text";
    dial();
    const auto setError = [&](DWORD e) { service->live[service->lastId].error = e; };
    setError(ERROR_INVALID_HANDLE);
    EXPECT_EQ(ras->GetStatusText(), "Invalid Handle");
    setError(ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(ras->GetStatusText(), "Not enough memory");
    setError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(ras->GetStatusText(), "");
    setError(static_cast<DWORD>(-3));
    EXPECT_EQ(ras->GetStatusText(), "");
    setError(ERROR_LINE_BUSY);
    EXPECT_EQ(ras->GetStatusText(), "The line is busy.");
    EXPECT_EQ(ras->GetConnectStatus(), static_cast<std::int32_t>(ERROR_LINE_BUSY));
    setError(987);
    EXPECT_EQ(ras->GetStatusText(), "Status Unknown");
    setError(0);
    service->live[service->lastId].state = RASCS_Connected;
    EXPECT_EQ(ras->GetStatusText(), "");
    EXPECT_EQ(ras->GetErrorString(ERROR_NO_DIALTONE), "There is no dial tone.");
    EXPECT_EQ(ras->GetErrorString(0), "Status Unknown");
}

TEST_F(Dialer, AFailedStatusQueryIsNotReportedAsSuccess)
{
    dial();
    step(RASCS_ConnectDevice);
    EXPECT_EQ(ras->DeviceName(), "Test Modem");
    // Someone else hangs the connection up behind the dialer's back.
    ASSERT_EQ(RasHangUpA(ras->ConnHandle()), 0u);
    EXPECT_EQ(ras->GetConnectStatus(), static_cast<std::int32_t>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(ras->GetStatusText(), "Invalid Handle");
    EXPECT_EQ(ras->DeviceName(), "Test Modem") << "what the failed query did not tell is kept";
    EXPECT_EQ(ras->ConnectState(), RASCS_ConnectDevice);
}

TEST_F(Dialer, ALineEndedElsewhereShowsAsAnErrorTheOwnerSees)
{
    dial();
    step(RASCS_Connected);
    ASSERT_EQ(kivo::ras::DisconnectLine(ras->ConnHandle()), 0u);
    drainPostedEvents();
    EXPECT_TRUE(ras->ConnHandle());
    EXPECT_GT(ras->GetConnectStatus(), 601) << "a polling owner ends its attempt";
    EXPECT_EQ(ras->GetStatusText(), "The connection was ended by the user.");
    EXPECT_TRUE(disconnects.empty());
}

TEST_F(Dialer, DestructionHangsUpWithoutOnDisconnect)
{
    dial();
    step(RASCS_Connected);
    const HWND w = ras->NotifierHandle();
    ras.reset();
    EXPECT_TRUE(disconnects.empty());
    EXPECT_EQ(service->hangUps.size(), 1u);
    EXPECT_FALSE(kivo::sys::IsHiddenWindow(w));
}

// ---- the demo phonebook through the simulated service ------------------------------

namespace
{

// The demo phonebook as shipped, with its steps and its drop made short.
std::string fastDemo()
{
    QFile f(":/kivo95/demo.pbk");
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    std::string out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("StepMs="))
            continue;
        if (line.startsWith("DropAfterSeconds=")) {
            EXPECT_EQ(line, "DropAfterSeconds=60");
            out += "DropAfterSeconds=0.05\n";
            continue;
        }
        out += line.toStdString() + "\n";
        if (line.startsWith('['))
            out += "StepMs=5\n";
    }
    return out;
}

struct DemoDial {
    std::vector<std::string> events;
    std::int32_t status = 0;
    QString text;
};

const std::vector<std::string> kAllSteps = {"OnAboutToOpenPort", "OnPortOpened",       "OnAboutToConnDev",
                                            "OnDevConnected",    "OnAllDevsConnected", "OnAuthenticate",
                                            "OnAuthenticated",   "OnConnect"};

std::vector<std::string> stepsUpTo(const std::string& last)
{
    std::vector<std::string> out;
    for (const std::string& e : kAllSteps) {
        out.push_back(e);
        if (e == last)
            break;
    }
    return out;
}

} // namespace

TEST(TRASDemo, EachDemoEntryDialsAsItsScriptSays)
{
    TraceCapture trace;
    kivo::ras::installBackend(kivo::ras::makeSimBackend(), "test");
    TempDir dir;
    writeFile(dir.file("demo.pbk"), fastDemo());
    TRAS ras(nullptr);
    std::vector<std::string> events;
    for (const EventSlot& e : kSlots)
        ras.*(e.slot) = [&events, name = std::string(e.name)](QObject*) { events.push_back(name); };
    int disconnects = 0;
    ras.OnDisconnect = [&](QObject*, std::int32_t, QString text) {
        ++disconnects;
        EXPECT_EQ(text, "") << "only the dialer's own Disconnect raises it here";
    };
    ras.setPhoneBookPath(QString::fromStdString(dir.file("demo.pbk")));
    ASSERT_EQ(ras.PhoneBookEntries().size(), 6);
    ras.setPassword("hunter2");

    // Dials as the wizard's queue does: poll until connected or failed.
    const auto dialOnce = [&](const char* entry) {
        DemoDial d;
        events.clear();
        ras.setEntryName(entry);
        EXPECT_EQ(ras.Connect(), 0) << entry;
        EXPECT_TRUE(waitUntil([&] {
            return (!events.empty() && events.back() == "OnConnect") || ras.GetConnectStatus() > 601;
        })) << entry;
        d.events = events;
        d.status = ras.GetConnectStatus();
        d.text = ras.GetStatusText();
        return d;
    };

    DemoDial d = dialOnce("Metronet Dial-Up");
    EXPECT_EQ(d.events, kAllSteps);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.text, "");
    EXPECT_EQ(ras.DeviceName(), "Standard 33600 bps Modem");
    EXPECT_EQ(ras.DeviceType(), "modem");
    ras.GetConnections();
    ASSERT_EQ(ras.Connections()->Count(), 1);
    EXPECT_EQ(ras.Connections()->EntryName(0), "Metronet Dial-Up");
    EXPECT_EQ(ras.Connections()->RASConn(0), ras.ConnHandle());
    ras.Disconnect();

    for (int attempt = 0; attempt < 2; ++attempt) {
        d = dialOnce("Horizon Online");
        EXPECT_EQ(d.events, stepsUpTo("OnAboutToConnDev")) << attempt;
        EXPECT_EQ(d.status, static_cast<std::int32_t>(ERROR_LINE_BUSY));
        EXPECT_EQ(d.text, "The line is busy.");
        ras.Disconnect();
    }
    d = dialOnce("Horizon Online");
    EXPECT_EQ(d.events, kAllSteps) << "through on the third try";
    ras.Disconnect();

    d = dialOnce("Northwind ISDN");
    EXPECT_EQ(d.events, stepsUpTo("OnAboutToConnDev"));
    EXPECT_EQ(d.status, static_cast<std::int32_t>(ERROR_NO_ANSWER));
    EXPECT_EQ(d.text, "The remote computer does not answer.");
    EXPECT_EQ(ras.DeviceType(), "isdn");
    ras.Disconnect();

    d = dialOnce("Office Remote Access");
    EXPECT_EQ(d.events, stepsUpTo("OnAuthenticate"));
    EXPECT_EQ(d.status, static_cast<std::int32_t>(ERROR_AUTHENTICATION_FAILURE));
    EXPECT_EQ(d.text, "The user name or password was not accepted.");
    ras.Disconnect();

    d = dialOnce("Harbour Light BBS");
    EXPECT_EQ(d.events, stepsUpTo("OnAboutToConnDev"));
    EXPECT_EQ(d.status, static_cast<std::int32_t>(ERROR_NO_DIALTONE));
    EXPECT_EQ(d.text, "There is no dial tone.");
    ras.Disconnect();

    // Connected, then the line drops: the owner sees it in the connection
    // list and in the status, without an event.
    d = dialOnce("Campus Modem Pool");
    EXPECT_EQ(d.events, kAllSteps);
    const int before = disconnects;
    ASSERT_TRUE(waitUntil([&] {
        ras.GetConnections();
        return ras.Connections()->Count() == 0;
    }));
    EXPECT_TRUE(waitUntil(
        [&] { return ras.GetConnectStatus() == static_cast<std::int32_t>(ERROR_REMOTE_DISCONNECTION); }));
    EXPECT_EQ(ras.GetStatusText(), "The remote computer ended the connection.");
    EXPECT_EQ(disconnects, before);
    ras.Disconnect();

    EXPECT_EQ(trace.count("RasDialA("), 8);
    EXPECT_EQ(trace.count("RasHangUpA("), 8);
    EXPECT_TRUE(trace.anyLineHas("RasDialA(", "entry=\"Campus Modem Pool\""));
    for (const std::string& line : trace.lines())
        EXPECT_EQ(line.find("hunter2"), std::string::npos) << line;
}
