// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The NetworkManager backend against python3-dbusmock's NetworkManager
// stand-in on a private system bus.
#include "platform/ras/nm/ras_nm.h"

#include "platform/ras/ras.h"
#include "tests/support/nm_standin.h"
#include "tests/support/ras_test_util.h"
#include "tests/support/testsupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

using namespace kivo::ras;
using kivo::test::NmStandIn;
using kivo::test::RasStep;
using kivo::test::waitUntil;

namespace
{

// NMDeviceState, NMActiveConnectionState and NMVpnConnectionState values.
constexpr unsigned kDevUnavailable = 20, kDevDisconnected = 30, kDevPrepare = 40, kDevConfig = 50,
                   kDevNeedAuth = 60, kDevIpConfig = 70, kDevActivated = 100, kDevDeactivating = 110,
                   kDevFailed = 120;
constexpr unsigned kActActivated = 2, kActDeactivating = 3, kActDeactivated = 4;
constexpr unsigned kVpnConnect = 3, kVpnFailed = 6;

const std::vector<RasStep> kWholeLadder = {
    {RASCS_OpenPort, 0},        {RASCS_PortOpened, 0},          {RASCS_ConnectDevice, 0},
    {RASCS_DeviceConnected, 0}, {RASCS_AllDevicesConnected, 0}, {RASCS_Authenticate, 0},
    {RASCS_Authenticated, 0},   {RASCS_Connected, 0},
};

DialRequest req(const std::string& entry)
{
    DialRequest r;
    r.entryName = entry;
    return r;
}

class NmBackendTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(nm.busError(), "");
        ASSERT_EQ(nm.startNetworkManager(), "");
    }

    std::unique_ptr<RasBackend> makeBackend()
    {
        auto b = makeNmBackend();
        b->setProgressSink(
            [this](ConnId id, DWORD state, DWORD error) { steps[id].emplace_back(state, error); });
        return b;
    }

    bool waitForSteps(ConnId id, std::size_t n, int timeoutMs = 5000)
    {
        return waitUntil([&] { return steps[id].size() >= n; }, timeoutMs);
    }
    bool waitForStep(ConnId id, RasStep step)
    {
        return waitUntil(
            [&] { return std::find(steps[id].begin(), steps[id].end(), step) != steps[id].end(); });
    }
    bool waitForEnd(ConnId id)
    {
        return waitUntil([&] {
            return !steps[id].empty() &&
                   (steps[id].back().second != 0 || steps[id].back().first == RASCS_Disconnected);
        });
    }
    // Dials and waits until NetworkManager's activation is under way.
    ConnId dialUnderWay(RasBackend& b, const std::string& entry)
    {
        ConnId id = 0;
        EXPECT_EQ(b.dial(req(entry), id), 0u);
        EXPECT_TRUE(waitForStep(id, {RASCS_PortOpened, 0}));
        return id;
    }
    // Returns once every signal NetworkManager sent so far has been handled:
    // a call of the backend's own answered after them, then the events they
    // were queued as.
    void settle(RasBackend& b)
    {
        std::vector<std::string> names;
        b.entries("", names);
        QCoreApplication::processEvents();
    }
    // The active connection NetworkManager made for the latest activation.
    QString latestActive()
    {
        const QStringList list = nm.activeConnections();
        return list.isEmpty() ? QString() : list.back();
    }

    NmStandIn nm;
    std::map<ConnId, std::vector<RasStep>> steps;
};

std::vector<std::string> entriesOf(RasBackend& b, DWORD* result = nullptr)
{
    std::vector<std::string> names;
    const DWORD r = b.entries("", names);
    if (result)
        *result = r;
    return names;
}

TEST_F(NmBackendTest, ProfilesAreTheEntriesDialUpKindsFirstInNetworkManagersOrder)
{
    nm.addProfile("lo", "loopback");
    nm.addProfile("Home", "802-11-wireless");
    nm.addProfile("Zeta VPN", "vpn");
    nm.addProfile("Office", "802-3-ethernet");
    const QString dsl = nm.addProfile("Alpha DSL", "pppoe");
    nm.addProfile("Mobile", "gsm");
    auto b = makeBackend();
    DWORD r = 1;
    EXPECT_EQ(entriesOf(*b, &r),
              (std::vector<std::string>{"Zeta VPN", "Alpha DSL", "Mobile", "Home", "Office"}));
    EXPECT_EQ(r, 0u);

    // Read again at every call: a profile deleted meanwhile is gone.
    nm.call(dsl, "org.freedesktop.NetworkManager.Settings.Connection", "Delete");
    EXPECT_EQ(entriesOf(*b), (std::vector<std::string>{"Zeta VPN", "Mobile", "Home", "Office"}));
    // NetworkManager has one set of profiles, whatever phonebook is named.
    std::vector<std::string> names;
    EXPECT_EQ(b->entries("/some/phonebook.pbk", names), 0u);
    EXPECT_EQ(names.size(), 4u);
    // Loopback is no line to dial.
    ConnId id = 0;
    EXPECT_EQ(b->dial(req("lo"), id), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
}

TEST_F(NmBackendTest, ActivatedAtOnceReportsEveryStepInOrder)
{
    const QString profile = nm.addProfile("Mobile", "gsm");
    auto b = makeBackend();
    ConnId id = 0;
    ASSERT_EQ(b->dial(req("Mobile"), id), 0u);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(steps[id].empty()) << "nothing is reported from within dial()";
    ASSERT_TRUE(waitForSteps(id, kWholeLadder.size()));
    EXPECT_EQ(steps[id], kWholeLadder);
    EXPECT_TRUE(nm.waitForManagerCall("ActivateConnection", profile));

    ConnStatus st;
    ASSERT_EQ(b->status(id, st), 0u);
    EXPECT_EQ(st.state, RASCS_Connected);
    EXPECT_EQ(st.error, 0u);
    EXPECT_EQ(st.deviceType, "modem");
    const auto conns = b->connections();
    ASSERT_EQ(conns.size(), 1u);
    EXPECT_EQ(conns[0].id, id);
    EXPECT_EQ(conns[0].entryName, "Mobile");
}

TEST_F(NmBackendTest, StatesWalkedByNetworkManagerBecomeRasStepsInOrder)
{
    nm.addProfile("Dial-up", "gsm");
    const QString dev = nm.addDevice("modem0", "ttyUSB0");
    nm.activateSlowly(dev);
    auto b = makeBackend();
    const ConnId id = dialUnderWay(*b, "Dial-up");
    EXPECT_EQ(steps[id], (std::vector<RasStep>{{RASCS_OpenPort, 0}, {RASCS_PortOpened, 0}}));
    const QString active = latestActive();

    // A device made for the activation (a bridge, a PPPoE link) first comes
    // up to disconnected "by the user's request": its way up, no hang-up.
    nm.deviceState(dev, kDevDisconnected, kDevUnavailable, 39);
    nm.deviceState(dev, kDevPrepare, kDevDisconnected, 0);
    ASSERT_TRUE(waitForStep(id, {RASCS_ConnectDevice, 0}));
    ConnStatus st;
    ASSERT_EQ(b->status(id, st), 0u);
    EXPECT_EQ(st.deviceName, "ttyUSB0");
    EXPECT_EQ(st.deviceType, "modem");

    nm.deviceState(dev, kDevConfig, kDevPrepare, 0);
    nm.deviceState(dev, kDevNeedAuth, kDevConfig, 0);
    nm.deviceState(dev, kDevIpConfig, kDevNeedAuth, 0);
    ASSERT_TRUE(waitForStep(id, {RASCS_Authenticated, 0}));
    // A state already passed (authentication asked again) goes nowhere back.
    nm.deviceState(dev, kDevNeedAuth, kDevIpConfig, 0);
    nm.deviceState(dev, kDevActivated, kDevNeedAuth, 0);
    nm.activeState(active, kActActivated, 1);
    ASSERT_TRUE(waitForStep(id, {RASCS_Connected, 0}));
    EXPECT_EQ(steps[id], kWholeLadder);
}

// Every reason NetworkManager gives that has a RAS code, with the numbers
// of NetworkManager's D-Bus API (NMDeviceStateReason,
// NMActiveConnectionStateReason).
struct ReasonCase {
    const char* name;
    unsigned reason;
    DWORD error;
};

const ReasonCase kDeviceReasons[] = {
    {"IP_CONFIG_UNAVAILABLE", 5, ERROR_IP_CONFIGURATION},
    {"IP_CONFIG_EXPIRED", 6, ERROR_IP_CONFIGURATION},
    {"NO_SECRETS", 7, ERROR_AUTHENTICATION_FAILURE},
    {"PPP_START_FAILED", 12, ERROR_PORT_NOT_AVAILABLE},
    {"PPP_DISCONNECT", 13, ERROR_REMOTE_DISCONNECTION},
    {"PPP_FAILED", 14, ERROR_FROM_DEVICE},
    {"MODEM_BUSY", 23, ERROR_LINE_BUSY},
    {"MODEM_NO_DIAL_TONE", 24, ERROR_NO_DIALTONE},
    {"MODEM_NO_CARRIER", 25, ERROR_NO_CARRIER},
    {"MODEM_DIAL_TIMEOUT", 26, ERROR_NO_ANSWER},
    {"MODEM_DIAL_FAILED", 27, ERROR_FROM_DEVICE},
    {"MODEM_INIT_FAILED", 28, ERROR_HARDWARE_FAILURE},
    {"REMOVED", 36, ERROR_PORT_DISCONNECTED},
    {"CONNECTION_REMOVED", 38, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY},
    {"USER_REQUESTED", 39, ERROR_USER_DISCONNECTION},
    {"CARRIER", 40, ERROR_PORT_DISCONNECTED},
    {"MODEM_NOT_FOUND", 43, ERROR_DEVICE_DOES_NOT_EXIST},
    // no word on why: the device failed all the same
    {"UNKNOWN", 1, ERROR_FROM_DEVICE},
    {"GSM_APN_FAILED", 29, ERROR_FROM_DEVICE},
};

const ReasonCase kConnectionReasons[] = {
    {"USER_DISCONNECTED", 2, ERROR_USER_DISCONNECTION},
    {"DEVICE_DISCONNECTED", 3, ERROR_PORT_DISCONNECTED},
    {"SERVICE_STOPPED", 4, ERROR_PORT_DISCONNECTED},
    {"IP_CONFIG_INVALID", 5, ERROR_IP_CONFIGURATION},
    {"CONNECT_TIMEOUT", 6, ERROR_REQUEST_TIMEOUT},
    {"SERVICE_START_TIMEOUT", 7, ERROR_REQUEST_TIMEOUT},
    {"SERVICE_START_FAILED", 8, ERROR_PORT_NOT_AVAILABLE},
    {"NO_SECRETS", 9, ERROR_AUTHENTICATION_FAILURE},
    {"LOGIN_FAILED", 10, ERROR_AUTHENTICATION_FAILURE},
    {"CONNECTION_REMOVED", 11, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY},
    {"DEVICE_REMOVED", 14, ERROR_PORT_DISCONNECTED},
    // no word on why: the line is simply gone
    {"UNKNOWN", 0, ERROR_PORT_DISCONNECTED},
    {"NONE", 1, ERROR_PORT_DISCONNECTED},
};

TEST_F(NmBackendTest, EveryDeviceFailureReasonBecomesItsRasError)
{
    nm.addProfile("Dial-up", "gsm");
    const QString dev = nm.addDevice("modem0", "ttyUSB0");
    nm.activateSlowly(dev);
    auto b = makeBackend();
    for (const ReasonCase& row : kDeviceReasons) {
        SCOPED_TRACE(row.name);
        const ConnId id = dialUnderWay(*b, "Dial-up");
        nm.deviceState(dev, kDevPrepare, kDevDisconnected, 0);
        ASSERT_TRUE(waitForStep(id, {RASCS_ConnectDevice, 0}));
        nm.deviceState(dev, kDevFailed, kDevPrepare, row.reason);
        ASSERT_TRUE(waitForEnd(id));
        // The failure comes in the state the dial had reached.
        EXPECT_EQ(steps[id].back(), (RasStep{RASCS_ConnectDevice, row.error}));
        ConnStatus st;
        ASSERT_EQ(b->status(id, st), 0u);
        EXPECT_EQ(st.error, row.error);
        EXPECT_TRUE(b->connections().empty()) << "a failed dial is not a connection";
        EXPECT_EQ(b->hangUp(id), 0u);
    }
}

TEST_F(NmBackendTest, DeviceFailureBeforeTheActivationIsReadIsNotMissed)
{
    nm.addProfile("Dial-up", "gsm");
    const QString dev = nm.addDevice("modem0", "ttyUSB0");
    // The device gives up (modem not found) before NetworkManager's answer
    // reaches us; its own properties no longer say so afterwards.
    nm.replaceMethod(NmStandIn::kManagerPath, "org.freedesktop.NetworkManager", "ActivateConnection", "ooo",
                     "o",
                     QString("ret = self.activate_connection(self, args[0], args[1], args[2])\n"
                             "a = objects[ret]\n"
                             "a.Set('%1', 'State', dbus.UInt32(1))\n"
                             "a.Set('%1', 'Devices', dbus.Array([dbus.ObjectPath('%2')], signature='o'))\n"
                             "objects['%2'].EmitSignal('%3', 'StateChanged', 'uuu', "
                             "[dbus.UInt32(120), dbus.UInt32(40), dbus.UInt32(43)])\n")
                         .arg(NmStandIn::kActiveIface, dev, NmStandIn::kDeviceIface));
    auto b = makeBackend();
    ConnId id = 0;
    ASSERT_EQ(b->dial(req("Dial-up"), id), 0u);
    ASSERT_TRUE(waitForEnd(id));
    EXPECT_EQ(steps[id].back().second, ERROR_DEVICE_DOES_NOT_EXIST);
}

TEST_F(NmBackendTest, EveryConnectionReasonBecomesItsRasError)
{
    nm.addProfile("Office", "vpn");
    const QString dev = nm.addDevice("eth0", "eth0", kDevActivated);
    nm.activateSlowly(dev);
    auto b = makeBackend();
    for (const ReasonCase& row : kConnectionReasons) {
        SCOPED_TRACE(row.name);
        const ConnId id = dialUnderWay(*b, "Office");
        nm.activeState(latestActive(), kActDeactivated, row.reason);
        ASSERT_TRUE(waitForEnd(id));
        EXPECT_EQ(steps[id].back(), (RasStep{RASCS_PortOpened, row.error}));
        EXPECT_EQ(b->hangUp(id), 0u);
    }
}

TEST_F(NmBackendTest, ReasonGivenWhileGoingDownIsKeptForTheEnd)
{
    nm.addProfile("Office", "vpn");
    const QString dev = nm.addDevice("eth0", "eth0", kDevActivated);
    nm.activateSlowly(dev);
    auto b = makeBackend();
    const ConnId id = dialUnderWay(*b, "Office");
    const QString active = latestActive();
    nm.vpnState(active, kVpnConnect, 1);
    ASSERT_TRUE(waitForStep(id, {RASCS_Authenticate, 0}));
    // A VPN's own device is up all along: its states say nothing of the VPN.
    nm.deviceState(dev, kDevDeactivating, kDevActivated, 39);
    nm.activeState(active, kActDeactivating, 10);
    nm.activeState(active, kActDeactivated, 1);
    ASSERT_TRUE(waitForEnd(id));
    EXPECT_EQ(steps[id].back(), (RasStep{RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE}));
}

TEST_F(NmBackendTest, VpnFailureCarriesItsReason)
{
    nm.addProfile("Office", "vpn");
    const QString dev = nm.addDevice("eth0", "eth0", kDevActivated);
    nm.activateSlowly(dev);
    auto b = makeBackend();
    const ConnId id = dialUnderWay(*b, "Office");
    nm.vpnState(latestActive(), kVpnFailed, 10);
    ASSERT_TRUE(waitForEnd(id));
    EXPECT_EQ(steps[id].back(), (RasStep{RASCS_PortOpened, ERROR_AUTHENTICATION_FAILURE}));
}

TEST_F(NmBackendTest, ConnectionEndedElsewhereIsADrop)
{
    nm.addProfile("Mobile", "gsm");
    nm.addDevice("modem0", "ttyUSB0");
    auto b = makeBackend();

    // The applet says why.
    ConnId first = 0;
    ASSERT_EQ(b->dial(req("Mobile"), first), 0u);
    ASSERT_TRUE(waitForStep(first, {RASCS_Connected, 0}));
    nm.activeState(latestActive(), kActDeactivated, 2);
    ASSERT_TRUE(waitForEnd(first));
    EXPECT_EQ(steps[first].back(), (RasStep{RASCS_Disconnected, ERROR_USER_DISCONNECTION}));
    ConnStatus st;
    ASSERT_EQ(b->status(first, st), 0u);
    EXPECT_EQ(st.state, RASCS_Disconnected);
    EXPECT_EQ(st.error, ERROR_USER_DISCONNECTION);
    EXPECT_TRUE(b->connections().empty());
    b->hangUp(first);

    // The connection just disappears from NetworkManager's list.
    ConnId second = 0;
    ASSERT_EQ(b->dial(req("Mobile"), second), 0u);
    ASSERT_TRUE(waitForStep(second, {RASCS_Connected, 0}));
    nm.deactivateFromElsewhere(latestActive());
    ASSERT_TRUE(waitForEnd(second));
    EXPECT_EQ(steps[second].back(), (RasStep{RASCS_Disconnected, ERROR_PORT_DISCONNECTED}));
    EXPECT_EQ(steps[second].size(), kWholeLadder.size() + 1) << "one drop, reported once";
}

TEST_F(NmBackendTest, HangUpDeactivatesAndSilencesTheConnection)
{
    nm.addProfile("Mobile", "gsm");
    nm.addDevice("modem0", "ttyUSB0");
    auto b = makeBackend();
    ConnId id = 0;
    ASSERT_EQ(b->dial(req("Mobile"), id), 0u);
    ASSERT_TRUE(waitForStep(id, {RASCS_Connected, 0}));
    const QString active = latestActive();
    ASSERT_EQ(b->hangUp(id), 0u);
    EXPECT_TRUE(nm.waitForManagerCall("DeactivateConnection", active));
    ASSERT_TRUE(waitUntil([&] { return nm.activeConnections().isEmpty(); }));
    settle(*b);
    EXPECT_EQ(steps[id].size(), kWholeLadder.size()) << "nothing reported after the hang-up";
    ConnStatus st;
    EXPECT_EQ(b->status(id, st), ERROR_INVALID_HANDLE);
    EXPECT_EQ(b->hangUp(id), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(b->connections().empty());
}

TEST_F(NmBackendTest, HangUpBeforeNetworkManagerAnswersTakesTheActivationBack)
{
    nm.addProfile("Mobile", "gsm");
    nm.addDevice("modem0", "ttyUSB0");
    // A NetworkManager that takes its time (polkit asking for a password).
    nm.replaceMethod(NmStandIn::kManagerPath, "org.freedesktop.NetworkManager", "ActivateConnection", "ooo",
                     "o", "time.sleep(0.3)\nret = self.activate_connection(self, args[0], args[1], args[2])");
    auto b = makeBackend();
    ConnId id = 0;
    ASSERT_EQ(b->dial(req("Mobile"), id), 0u);
    ASSERT_EQ(b->hangUp(id), 0u);
    ASSERT_TRUE(waitUntil([&] {
        for (const auto& c : nm.managerCalls())
            if (c.method == "DeactivateConnection")
                return true;
        return false;
    }));
    EXPECT_TRUE(waitUntil([&] { return nm.activeConnections().isEmpty(); }));
    settle(*b);
    EXPECT_TRUE(steps[id].empty());
    EXPECT_TRUE(b->connections().empty());
}

TEST_F(NmBackendTest, RefusalsOfNetworkManagerBecomeRasErrors)
{
    nm.addProfile("Mobile", "gsm");
    auto b = makeBackend();
    const struct {
        const char* dbusError;
        DWORD error;
    } cases[] = {
        {"org.freedesktop.NetworkManager.PermissionDenied", ERROR_NO_DIALIN_PERMISSION},
        {"org.freedesktop.NetworkManager.UnknownConnection", ERROR_CANNOT_FIND_PHONEBOOK_ENTRY},
        {"org.freedesktop.NetworkManager.ConnectionNotAvailable", ERROR_DEVICE_DOES_NOT_EXIST},
        {"org.freedesktop.NetworkManager.Failed", ERROR_FROM_DEVICE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dbusError);
        nm.replaceMethod(
            NmStandIn::kManagerPath, "org.freedesktop.NetworkManager", "ActivateConnection", "ooo", "o",
            QString("raise dbus.exceptions.DBusException('refused', name='%1')").arg(c.dbusError));
        ConnId id = 0;
        ASSERT_EQ(b->dial(req("Mobile"), id), 0u);
        ASSERT_TRUE(waitForEnd(id));
        EXPECT_EQ(steps[id], (std::vector<RasStep>{{RASCS_OpenPort, c.error}}));
        // Every code a dial can end with ends the dial queue's attempt and
        // has a text to show.
        EXPECT_GT(c.error, 601u);
        char text[256] = {};
        EXPECT_EQ(RasGetErrorStringA(c.error, text, sizeof text), 0u);
        EXPECT_NE(text[0], '\0');
        b->hangUp(id);
    }
}

TEST_F(NmBackendTest, UnknownEntryIsRefusedAtOnce)
{
    nm.addProfile("Mobile", "gsm");
    auto b = makeBackend();
    ConnId id = 0;
    EXPECT_EQ(b->dial(req("Nowhere"), id), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    // A profile added after the last listing is found all the same.
    nm.addProfile("Later", "pppoe");
    EXPECT_EQ(b->dial(req("Later"), id), 0u);
    EXPECT_TRUE(waitForStep(id, {RASCS_Connected, 0}));
}

TEST_F(NmBackendTest, OtherActiveDialUpConnectionsAreListedAfterOurs)
{
    const QString office = nm.addProfile("Office", "vpn");
    nm.addProfile("Mobile", "gsm");
    nm.addDevice("eth0", "eth0", kDevActivated);
    // The network the machine simply has is no RAS connection.
    nm.activateFromElsewhere(nm.addProfile("lo", "loopback"));
    nm.activateFromElsewhere(nm.addProfile("Wired", "802-3-ethernet"));
    const QString others = nm.activateFromElsewhere(office);
    auto b = makeBackend();
    auto names = [&] {
        std::vector<std::string> out;
        for (const ConnInfo& c : b->connections())
            out.push_back(c.entryName);
        return out;
    };
    ASSERT_TRUE(waitUntil([&] { return names() == std::vector<std::string>{"Office"}; })) << names().size();
    const ConnInfo foreign = b->connections().front();
    EXPECT_EQ(foreign.deviceType, "vpn");
    ConnStatus st;
    ASSERT_EQ(b->status(foreign.id, st), 0u);
    EXPECT_EQ(st.state, RASCS_Connected);

    ConnId ours = 0;
    ASSERT_EQ(b->dial(req("Mobile"), ours), 0u);
    ASSERT_TRUE(waitForStep(ours, {RASCS_Connected, 0}));
    EXPECT_EQ(names(), (std::vector<std::string>{"Mobile", "Office"}));
    EXPECT_EQ(b->connections()[1].id, foreign.id) << "the same id while it lasts";

    // Hanging up one we did not dial deactivates it in NetworkManager.
    ASSERT_EQ(b->hangUp(foreign.id), 0u);
    EXPECT_TRUE(nm.waitForManagerCall("DeactivateConnection", others));
    EXPECT_EQ(names(), (std::vector<std::string>{"Mobile"}));
}

TEST_F(NmBackendTest, NetworkManagerLeavingEndsTheDials)
{
    nm.addProfile("Mobile", "gsm");
    auto b = makeBackend();
    ConnId id = 0;
    ASSERT_EQ(b->dial(req("Mobile"), id), 0u);
    ASSERT_TRUE(waitForStep(id, {RASCS_Connected, 0}));
    nm.stopNetworkManager();
    ASSERT_TRUE(waitForEnd(id));
    EXPECT_EQ(steps[id].back(), (RasStep{RASCS_Disconnected, ERROR_RASMAN_CANNOT_INITIALIZE}));
    DWORD r = 0;
    entriesOf(*b, &r);
    EXPECT_EQ(r, ERROR_RASMAN_CANNOT_INITIALIZE);
}

TEST_F(NmBackendTest, HungNetworkManagerGivesATimeoutNotAHang)
{
    nm.addProfile("Mobile", "gsm");
    nm.replaceMethod(NmStandIn::kSettingsPath, "org.freedesktop.NetworkManager.Settings", "ListConnections",
                     "", "ao", "time.sleep(30)\nret = []");
    auto b = makeBackend();
    DWORD r = 0;
    EXPECT_TRUE(entriesOf(*b, &r).empty());
    EXPECT_EQ(r, ERROR_REQUEST_TIMEOUT);
    std::string why;
    EXPECT_FALSE(nmAvailable(why));
    EXPECT_NE(why.find("does not answer"), std::string::npos) << why;
}

TEST_F(NmBackendTest, AvailableWithProfilesOnly)
{
    std::string why;
    EXPECT_FALSE(nmAvailable(why));
    EXPECT_NE(why.find("no connection profiles"), std::string::npos) << why;
    // NetworkManager always has its loopback profile: nothing to dial.
    nm.addProfile("lo", "loopback");
    EXPECT_FALSE(nmAvailable(why));
    EXPECT_NE(why.find("no connection profiles"), std::string::npos) << why;
    nm.addProfile("Mobile", "gsm");
    EXPECT_TRUE(nmAvailable(why));
    EXPECT_NE(why.find("1 connection profile"), std::string::npos) << why;
}

TEST_F(NmBackendTest, FactoryChoosesNetworkManagerWhenItHasProfiles)
{
    unsetenv("KIVO95_RAS");
    BackendChoice none = chooseBackend();
    EXPECT_NE(none.backend->name(), "nm") << none.reason;

    nm.addProfile("Mobile", "gsm");
    BackendChoice c = chooseBackend();
    EXPECT_EQ(c.backend->name(), "nm");
    EXPECT_NE(c.reason.find("NetworkManager"), std::string::npos) << c.reason;

    setenv("KIVO95_RAS", "sim", 1);
    EXPECT_EQ(chooseBackend().backend->name(), "sim");
    setenv("KIVO95_RAS", "nm", 1);
    EXPECT_EQ(chooseBackend().backend->name(), "nm");
    unsetenv("KIVO95_RAS");
}

// Without NetworkManager the backend answers at once with an error: the bus
// is there but nobody owns the name, or there is no bus at all.
TEST(NmBackendWithoutNetworkManager, ErrorsComeAtOnce)
{
    NmStandIn bus;
    ASSERT_EQ(bus.busError(), "");
    for (const char* address : {"", "unix:path=/nonexistent/kivo95-no-bus"}) {
        SCOPED_TRACE(address);
        if (*address)
            setenv("DBUS_SYSTEM_BUS_ADDRESS", address, 1);
        auto b = makeNmBackend();
        std::vector<RasStep> steps;
        b->setProgressSink([&](ConnId, DWORD s, DWORD e) { steps.emplace_back(s, e); });
        std::vector<std::string> names;
        EXPECT_EQ(b->entries("", names), ERROR_RASMAN_CANNOT_INITIALIZE);
        EXPECT_TRUE(names.empty());
        ConnId id = 0;
        EXPECT_EQ(b->dial(req("Mobile"), id), ERROR_RASMAN_CANNOT_INITIALIZE);
        EXPECT_TRUE(b->connections().empty());
        std::string why;
        EXPECT_FALSE(nmAvailable(why));
        EXPECT_FALSE(why.empty());
    }
}

// Through the Ras* calls, as the wizard's dialer uses them.
TEST_F(NmBackendTest, DialsThroughTheRasCalls)
{
    nm.addProfile("Office", "vpn");
    nm.addProfile("Mobile", "gsm");
    nm.addDevice("modem0", "ttyUSB0");
    installBackend(makeNmBackend(), "test");
    EXPECT_EQ(backendName(), "nm");
    EXPECT_EQ(kivo::test::listEntries(nullptr), (std::vector<std::string>{"Office", "Mobile"}));

    kivo::test::StepRecorder rec;
    HRASCONN h = nullptr;
    ASSERT_EQ(kivo::test::dialEntry(nullptr, "Mobile", rec.hwnd, h), 0u);
    ASSERT_TRUE(rec.waitForSteps(kWholeLadder.size()));
    EXPECT_EQ(rec.steps, kWholeLadder);
    const auto conns = kivo::test::listConnections();
    ASSERT_EQ(conns.size(), 1u);
    EXPECT_EQ(conns[0].hrasconn, h);
    EXPECT_STREQ(conns[0].szEntryName, "Mobile");
    EXPECT_STREQ(conns[0].szDeviceType, "modem");

    nm.activeState(latestActive(), kActDeactivated, 3);
    ASSERT_TRUE(rec.waitForSteps(kWholeLadder.size() + 1));
    EXPECT_EQ(rec.steps.back(), (RasStep{RASCS_Disconnected, ERROR_PORT_DISCONNECTED}));
    const RASCONNSTATUS st = kivo::test::connectStatus(h);
    EXPECT_EQ(st.rasconnstate, RASCS_Disconnected);
    EXPECT_EQ(st.dwError, ERROR_PORT_DISCONNECTED);
    EXPECT_TRUE(kivo::test::listConnections().empty());
    EXPECT_EQ(RasHangUpA(h), 0u);
    installBackend(nullptr, "");
}

} // namespace
