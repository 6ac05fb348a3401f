// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A private D-Bus system bus with python3-dbusmock's NetworkManager stand-in
// on it, for the tests of the NetworkManager backend.
//
// The bus is started by the constructor and DBUS_SYSTEM_BUS_ADDRESS points
// at it until the destructor; the stand-in is started on demand, so a test can
// also see a bus without NetworkManager. Both are real processes: a missing
// dbus-daemon or dbusmock makes start() fail with the reason, never skip.
//
// The stand-in activates a profile at once and reports no failures by itself;
// the helpers below script what a real NetworkManager would do through its
// org.freedesktop.DBus.Mock interface.
#pragma once

#include "tests/support/private_bus.h"
#include "tests/support/testsupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <string>
#include <vector>

namespace kivo::test
{

class NmStandIn
{
  public:
    static constexpr const char* kService = "org.freedesktop.NetworkManager";
    static constexpr const char* kManagerPath = "/org/freedesktop/NetworkManager";
    static constexpr const char* kSettingsPath = "/org/freedesktop/NetworkManager/Settings";
    static constexpr const char* kMainPath = "/org/freedesktop";
    static constexpr const char* kActiveIface = "org.freedesktop.NetworkManager.Connection.Active";
    static constexpr const char* kVpnIface = "org.freedesktop.NetworkManager.VPN.Connection";
    static constexpr const char* kDeviceIface = "org.freedesktop.NetworkManager.Device";
    static constexpr const char* kMockIface = "org.freedesktop.DBus.Mock";

    NmStandIn();
    ~NmStandIn();
    NmStandIn(const NmStandIn&) = delete;
    NmStandIn& operator=(const NmStandIn&) = delete;

    // The private bus; empty error when it runs.
    const std::string& busError() const { return m_bus.error(); }
    const QString& address() const { return m_bus.address(); }

    // Starts the NetworkManager stand-in and waits until it owns its name.
    // Returns an empty string, or why it could not.
    std::string startNetworkManager();
    void stopNetworkManager();

    // A connection profile (connection.id, connection.type); its path.
    QString addProfile(const QString& id, const QString& type);
    // A device in the given NMDeviceState; its path.
    QString addDevice(const QString& name, const QString& iface, unsigned state = 30);

    // Makes the next activations start in state "activating" on the given
    // device instead of being activated at once, so a test can walk the
    // states itself.
    void activateSlowly(const QString& device);
    // Replaces a method of an object with Python code (dbusmock AddMethod).
    void replaceMethod(const QString& path, const QString& iface, const QString& name, const QString& in,
                       const QString& out, const QString& code);

    // StateChanged(state, reason) of an active connection,
    // VpnStateChanged(state, reason), StateChanged(new, old, reason) of a
    // device.
    void activeState(const QString& active, unsigned state, unsigned reason);
    void vpnState(const QString& active, unsigned state, unsigned reason);
    void deviceState(const QString& device, unsigned state, unsigned old, unsigned reason);

    // Calls the stand-in as nmcli would (ActivateConnection and
    // DeactivateConnection from elsewhere).
    QString activateFromElsewhere(const QString& profile);
    void deactivateFromElsewhere(const QString& active);

    QStringList activeConnections();
    // The methods called on the manager so far, with their first argument.
    struct Call {
        QString method;
        QString firstArg;
    };
    const std::vector<Call>& managerCalls() const;
    bool waitForManagerCall(const QString& method, const QString& firstArg, int timeoutMs = 5000);

    QDBusMessage call(const QString& path, const QString& iface, const QString& method,
                      const QVariantList& args = {});

  private:
    void emitSignal(const QString& path, const QString& iface, const QString& name, const QString& signature,
                    const QVariantList& args);

    struct CallLog;
    PrivateBus m_bus{PrivateBus::Kind::System}; // first: ends after the stand-in
    QProcess m_mock;
    std::unique_ptr<CallLog> m_calls;
};

} // namespace kivo::test
