// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// TRAS dialing NetworkManager profiles end to end: the layer chooses the nm
// backend from KIVO95_RAS, which talks to python3-dbusmock's NetworkManager
// stand-in on a private system bus.
#include "components/Rascomp32.h"
#include "tests/support/nm_standin.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

using kivo::test::NmStandIn;
using kivo::test::waitUntil;

TEST(DialerOverNetworkManager, ConnectsFailsAndSeesADrop)
{
    NmStandIn nm;
    ASSERT_EQ(nm.busError(), "");
    ASSERT_EQ(nm.startNetworkManager(), "");
    nm.addProfile("Office VPN", "vpn");
    nm.addProfile("Mobile", "gsm");
    const QString dev = nm.addDevice("modem0", "ttyUSB0");
    setenv("KIVO95_RAS", "nm", 1);

    TRAS ras(nullptr);
    ras.setPhoneBookPath("");
    EXPECT_EQ(ras.LastError(), 0);
    EXPECT_EQ(ras.PhoneBookEntries(), (QStringList{"Office VPN", "Mobile"}));

    std::vector<std::string> events;
    ras.OnDevConnected = [&](QObject*) { events.push_back("DevConnected"); };
    ras.OnAuthenticated = [&](QObject*) { events.push_back("Authenticated"); };
    ras.OnConnect = [&](QObject*) { events.push_back("Connect"); };
    ras.OnDisconnect = [&](QObject*, std::int32_t, QString text) {
        events.push_back("Disconnect:" + text.toStdString());
    };

    // A busy line, as the dial queue sees it: a code above 601 and its text.
    nm.activateSlowly(dev);
    ras.setEntryName("Mobile");
    ASSERT_EQ(ras.Connect(), 0);
    ASSERT_TRUE(waitUntil([&] { return ras.ConnectState() == RASCS_PortOpened; }));
    nm.deviceState(dev, 40, 30, 0);
    nm.deviceState(dev, 120, 40, 23);
    ASSERT_TRUE(waitUntil([&] { return ras.GetConnectStatus() > 601; }));
    EXPECT_EQ(ras.GetConnectStatus(), static_cast<std::int32_t>(ERROR_LINE_BUSY));
    EXPECT_EQ(ras.GetStatusText(), "The line is busy.");
    EXPECT_EQ(ras.Disconnect(), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"Disconnect:"}));
    events.clear();

    // Connected at once.
    nm.replaceMethod(NmStandIn::kManagerPath, "org.freedesktop.NetworkManager", "ActivateConnection", "ooo",
                     "o", "ret = self.activate_connection(self, args[0], args[1], args[2])");
    ASSERT_EQ(ras.Connect(), 0);
    ASSERT_TRUE(waitUntil([&] { return !events.empty() && events.back() == "Connect"; }));
    EXPECT_EQ(events, (std::vector<std::string>{"DevConnected", "Authenticated", "Connect"}));
    EXPECT_EQ(ras.GetConnections(), 0);
    ASSERT_EQ(ras.Connections()->Count(), 1);
    EXPECT_EQ(ras.Connections()->EntryName(0), "Mobile");
    EXPECT_EQ(ras.Connections()->RASConn(0), ras.ConnHandle());

    // Ended from the desktop's network menu: the status says why and the
    // monitor finds no connection any more.
    const QStringList active = nm.activeConnections();
    nm.activeState(active.back(), 4, 2);
    ASSERT_TRUE(waitUntil([&] { return ras.GetConnectStatus() > 601; }));
    EXPECT_EQ(ras.GetConnectStatus(), static_cast<std::int32_t>(ERROR_USER_DISCONNECTION));
    EXPECT_EQ(ras.GetStatusText(), "The connection was ended by the user.");
    EXPECT_EQ(ras.GetConnections(), 0);
    EXPECT_EQ(ras.Connections()->Count(), 0);
    EXPECT_EQ(ras.Disconnect(), 0);
    EXPECT_EQ(events.back(), "Disconnect:");
    unsetenv("KIVO95_RAS");
}
