// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The wizard dialling Debian's real NetworkManager, run in a network
// namespace and on a system bus of the test's own (tests/support/nm_real.h):
// the entry list, profiles that connect and that fail, hanging up from the
// tray menu, a line ended elsewhere, NetworkManager ending. These need root:
// without it they are skipped, under CI=1 they fail.
#include "tests/support/needs_root.h"
#include "tests/support/nm_real.h"
#include "tests/wizard/dial_support.h"

#include "components/Rascomp32.h"
#include "platform/desktop/notify.h"

#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using kivo::test::DialTest;
using kivo::test::RealNetworkManager;
using kivo::test::waitUntil;

namespace
{

std::string ethernet(const std::string& id, const std::string& iface, const std::string& address)
{
    return "[connection]\nid=" + id + "\ntype=ethernet\ninterface-name=" + iface +
           "\nautoconnect=false\n\n[ipv4]\nmethod=manual\naddress1=" + address +
           "\n\n[ipv6]\nmethod=disabled\n";
}

std::string vpn(const std::string& id, const std::string& service)
{
    return "[connection]\nid=" + id + "\ntype=vpn\nautoconnect=false\n\n[vpn]\nservice-type=" + service +
           "\nremote=vpn.example.com\n\n[ipv4]\nmethod=auto\n\n[ipv6]\nmethod=disabled\n";
}

std::string wifi(const std::string& id)
{
    return "[connection]\nid=" + id +
           "\ntype=wifi\nautoconnect=false\n\n[wifi]\nmode=infrastructure\nssid=" + id +
           "\n\n[ipv4]\nmethod=auto\n\n[ipv6]\nmethod=auto\n";
}

// 25 profiles, 16 of them Wi-Fi networks. The wired links sit on the two veth pairs
// the fixture makes; "Lab LAN" has a gateway, so that a VPN finds a
// connection to run over while it is up.
std::vector<std::pair<std::string, std::string>> profiles()
{
    std::vector<std::pair<std::string, std::string>> p;
    for (int i = 1; i <= 16; ++i) {
        const std::string n = (i < 10 ? "0" : "") + std::to_string(i);
        p.emplace_back("10-wlan-" + n, wifi("WLAN " + n));
    }
    p.emplace_back("20-office-lan", ethernet("Office LAN", "lan0", "192.168.77.1/24"));
    p.emplace_back("21-lab-lan", ethernet("Lab LAN", "lab0", "192.168.88.1/24,192.168.88.254"));
    p.emplace_back("22-bridge",
                   "[connection]\nid=Bridge\ntype=bridge\ninterface-name=kbr0\nautoconnect=false\n\n"
                   "[bridge]\nstp=false\n\n[ipv4]\nmethod=manual\naddress1=192.168.78.1/24\n\n"
                   "[ipv6]\nmethod=disabled\n");
    // This kernel has no dummy interfaces, so it cannot be activated.
    p.emplace_back("23-dummy",
                   "[connection]\nid=Dummy\ntype=dummy\ninterface-name=kdum0\nautoconnect=false\n\n"
                   "[ipv4]\nmethod=manual\naddress1=192.168.79.1/24\n\n[ipv6]\nmethod=disabled\n");
    p.emplace_back("24-missing-nic", ethernet("Missing NIC", "eth9", "192.168.80.1/24"));
    // VPNs whose plugins are not installed.
    p.emplace_back("90-office-vpn", vpn("Office VPN", "org.freedesktop.NetworkManager.openvpn"));
    p.emplace_back("91-branch-vpn", vpn("Branch VPN", "org.freedesktop.NetworkManager.vpnc"));
    p.emplace_back("92-dsl", "[connection]\nid=DSL\ntype=pppoe\nautoconnect=false\n\n[pppoe]\nparent=lab0p\n"
                             "username=me@isp.example\npassword=secret\n\n[ipv4]\nmethod=auto\n\n"
                             "[ipv6]\nmethod=disabled\n");
    p.emplace_back("93-mobile", "[connection]\nid=Mobile\ntype=gsm\nautoconnect=false\n\n[gsm]\n"
                                "apn=internet.example\n\n[ipv4]\nmethod=auto\n\n[ipv6]\nmethod=disabled\n");
    return p;
}

std::string errorText(DWORD code)
{
    char text[257] = {};
    RasGetErrorStringA(code, text, 256);
    return text;
}

std::string join(const QStringList& l)
{
    return l.join(", ").toStdString();
}

int countBoxes(const std::vector<kivo::sys::MessageBoxRequest>& boxes, const std::string& text)
{
    int n = 0;
    for (const auto& b : boxes)
        n += b.text == text ? 1 : 0;
    return n;
}

class RealNmTest : public DialTest
{
  protected:
    void SetUp() override
    {
        DialTest::SetUp();
        KIVO_REQUIRE_ROOT("NetworkManager in a network namespace of the test's own");
        nm = std::make_unique<RealNetworkManager>();
        ASSERT_EQ(nm->error(), "");
        // The wizard's wired link on lan0, another one on lab0; the peers
        // are up, so both have a carrier.
        for (const char* end : {"lan0", "lab0"}) {
            const QString peer = QString(end) + "p";
            ASSERT_EQ(nm->ip({"link", "add", end, "type", "veth", "peer", "name", peer}), "");
            ASSERT_EQ(nm->ip({"link", "set", peer, "up"}), "");
        }
        for (const auto& [file, text] : profiles())
            ASSERT_EQ(nm->addProfile(file, text), "");
        ASSERT_EQ(nm->start(), "");
        setenv("KIVO95_RAS", "nm", 1);
        kivo::ras::installBackend(nullptr, "");
    }

    void TearDown() override
    {
        // The window goes first: closing it hangs up.
        DialTest::TearDown();
        kivo::ras::installBackend(nullptr, "");
        setenv("KIVO95_RAS", "sim", 1);
        nm.reset();
    }

    TfrmSelect& wizard()
    {
        installed();
        TfrmSelect& f = create();
        f.NotificationAreaAvailable = [] { return true; };
        f.show();
        return f;
    }

    // Dials one entry from the confirmation page until the Info page shows.
    bool connect(TfrmSelect& f, const char* entry)
    {
        SelectedEntries.Clear();
        SelectedEntries.Add(entry);
        f.setPageIndex(3);
        return dial({{std::string("connected to ") + entry, [&] { return f.PageIndex() == 5; }}}, 30000);
    }

    // The entries of the dialer's connection list.
    QStringList connections(TfrmSelect& f)
    {
        QStringList out;
        EXPECT_EQ(f.RAS->GetConnections(), 0);
        for (int i = 0; i < f.RAS->Connections()->Count(); ++i)
            out << f.RAS->Connections()->EntryName(i);
        return out;
    }

    std::unique_ptr<RealNetworkManager> nm;
};

} // namespace

TEST_F(RealNmTest, EntryListHasTheDialUpKindsFirstAndNoLoopback)
{
    const QStringList own = nm->profileIds();
    ASSERT_EQ(own.size(), 26) << "25 profiles and NetworkManager's own loopback: "
                              << own.join(", ").toStdString();
    ASSERT_TRUE(own.contains("lo"));

    TfrmSelect& f = wizard();
    QStringList listed = f.RAS->PhoneBookEntries();
    ASSERT_EQ(listed.size(), 20) << listed.join(", ").toStdString();
    // The dial-up kinds first, in NetworkManager's order (which is not the
    // order of the files).
    QStringList dialUps;
    for (const QString& id : own)
        if (id.contains("VPN") || id == "DSL" || id == "Mobile")
            dialUps << id;
    EXPECT_EQ(join(listed.mid(0, 4)), join(dialUps));
    EXPECT_FALSE(listed.contains("lo"));
    EXPECT_EQ(f.RAS->LastError(), static_cast<std::int32_t>(ERROR_BUFFER_TOO_SMALL)) << "more than 20";
    // The others follow in NetworkManager's order.
    QStringList others = own;
    others.removeAll("lo");
    for (const char* dialUp : {"Office VPN", "Branch VPN", "DSL", "Mobile"})
        others.removeAll(dialUp);
    EXPECT_EQ(join(listed.mid(4)), join(others.mid(0, 16)));
    // And the page shows them.
    QStringList shown;
    for (int i = 0; i < f.ui->ConList->Count(); ++i)
        shown << f.ui->ConList->Item(i)->Caption();
    EXPECT_EQ(shown.size(), 20);
    for (const char* dialUp : {"Office VPN", "Branch VPN", "DSL", "Mobile"})
        EXPECT_TRUE(shown.contains(dialUp)) << dialUp;
    EXPECT_FALSE(shown.contains("lo"));
}

TEST_F(RealNmTest, WiredAndBridgeProfilesConnectAndTheTrayMenuHangsThemUp)
{
    TfrmSelect& f = wizard();
    // The bridge is a device NetworkManager makes while it activates the
    // profile; nmcli connection up brings it up too.
    for (const char* entry : {"Office LAN", "Bridge"}) {
        SCOPED_TRACE(entry);
        ASSERT_TRUE(connect(f, entry));
        EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Info");
        EXPECT_EQ(f.ui->lblEntry->text(), entry);
        EXPECT_TRUE(f.TI->Active());
        EXPECT_TRUE(f.Timer1->isActive());
        EXPECT_TRUE(nm->waitActivated(entry));
        // The loopback NetworkManager keeps active is no RAS connection.
        EXPECT_TRUE(nm->activeIds().contains("lo"));
        EXPECT_EQ(join(connections(f)), entry);

        f.Disconnect1->trigger();
        EXPECT_EQ(f.PageIndex(), 1);
        EXPECT_FALSE(f.TI->Active());
        EXPECT_FALSE(f.RAS->ConnHandle());
        EXPECT_TRUE(nm->waitInactive(entry)) << "hung up in NetworkManager";
        EXPECT_TRUE(connections(f).isEmpty());
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(RealNmTest, FailingProfilesShowWhyInTheStatusLine)
{
    TfrmSelect& f = wizard();
    // What the status line shows when the queue hangs an attempt up.
    std::vector<std::pair<std::string, std::string>> shown;
    const TRasStateEvent onDisconnect = f.RAS->OnDisconnect;
    f.RAS->OnDisconnect = [&](QObject* sender, std::int32_t error, QString text) {
        shown.emplace_back(f.ui->lblEntryName->text().toStdString(), f.ui->lblStatus->text().toStdString());
        onDisconnect(sender, error, text);
    };
    const std::string noDevice = errorText(ERROR_DEVICE_DOES_NOT_EXIST);
    const std::string noRoute = errorText(ERROR_ROUTE_NOT_AVAILABLE);

    // No network is up for the VPN to run over.
    for (const char* e : {"Dummy", "Missing NIC", "Office VPN"})
        SelectedEntries.Add(e);
    f.setPageIndex(3);
    EXPECT_TRUE(
        dial({{"three attempts", [&] { return shown.size() == 3; }, [&] { f.ui->btnAbort->click(); }}}));
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[0], std::make_pair(std::string("Dummy"), noDevice));
    EXPECT_EQ(shown[1], std::make_pair(std::string("Missing NIC"), noDevice));
    EXPECT_EQ(shown[2], std::make_pair(std::string("Office VPN"), noRoute));

    // With a network up, the VPN fails for its missing plugin instead.
    const auto up = nm->nmcli({"connection", "up", "Lab LAN"});
    ASSERT_EQ(up.exitCode, 0) << up.output;
    shown.clear();
    SelectedEntries.Clear();
    SelectedEntries.Add("Office VPN");
    f.setPageIndex(3);
    EXPECT_TRUE(dial({{"one attempt", [&] { return shown.size() == 1; }, [&] { f.ui->btnAbort->click(); }}}));
    ASSERT_GE(shown.size(), 1u);
    EXPECT_EQ(shown[0], std::make_pair(std::string("Office VPN"), noDevice));
    EXPECT_TRUE(nm->activeIds().contains("Lab LAN")) << "a failed dial leaves other links alone";
}

TEST_F(RealNmTest, ALineEndedElsewhereOrWithNetworkManagerIsABrokenConnection)
{
    const auto lab = nm->nmcli({"connection", "up", "Lab LAN"});
    ASSERT_EQ(lab.exitCode, 0) << lab.output;
    TfrmSelect& f = wizard();
    // Waits for the broken-connection box after the line went with what;
    // the monitor looks once a second, so the first or second look after
    // the end must see it.
    int reported = 0;
    const auto reportedBroken = [&](const char* what) {
        QElapsedTimer since;
        since.start();
        const int ticksBefore = ConnectSeconds;
        ++reported;
        ASSERT_TRUE(
            waitUntil([&] { return countBoxes(boxes, "Connection has been broken!") == reported; }, 10000))
            << what;
        std::printf("broken connection reported %lld ms after %s\n", static_cast<long long>(since.elapsed()),
                    what);
        EXPECT_LE(ConnectSeconds - ticksBefore, 2) << what;
        EXPECT_EQ(f.PageIndex(), 0);
        EXPECT_FALSE(f.RAS->ConnHandle());
        EXPECT_FALSE(f.TI->Active());
    };

    // Ended with nmcli while loopback and another wired link stay up.
    ASSERT_TRUE(connect(f, "Office LAN"));
    EXPECT_EQ(join(connections(f)), "Office LAN");
    const auto down = nm->nmcli({"connection", "down", "Office LAN"});
    ASSERT_EQ(down.exitCode, 0) << down.output;
    reportedBroken("nmcli connection down returned");
    const QStringList stillUp = nm->activeIds();
    EXPECT_TRUE(stillUp.contains("lo"));
    EXPECT_TRUE(stillUp.contains("Lab LAN"));

    // NetworkManager ends while the wizard is connected.
    ASSERT_TRUE(connect(f, "Office LAN"));
    nm->stop(SIGTERM);
    reportedBroken("NetworkManager ended");
}

// Needs no root: without NetworkManager there is nothing to start.
TEST_F(DialTest, WithoutNetworkManagerTheSelectionPageSaysWhy)
{
    // The test main points the system bus at nothing.
    setenv("KIVO95_RAS", "nm", 1);
    kivo::ras::installBackend(nullptr, "");
    installed();
    TfrmSelect& f = create();
    f.show();
    f.setPageIndex(1);
    const std::string reason = errorText(ERROR_RASMAN_CANNOT_INITIALIZE);
    EXPECT_EQ(f.RAS->PhoneBookEntries().size(), 0);
    const std::string said = f.ui->Label10->text().toStdString();
    EXPECT_NE(said.find(reason), std::string::npos) << said;
    EXPECT_NE(said.find("711"), std::string::npos) << said;

    f.ui->btnNext->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, said) << "why, not that nothing is selected";
    EXPECT_EQ(f.PageIndex(), 1);
    kivo::ras::installBackend(nullptr, "");
    setenv("KIVO95_RAS", "sim", 1);
}
