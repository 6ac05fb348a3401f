// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Debian's real NetworkManager for a test, shut off from the machine:
//
// - a network namespace of its own, made by a holder process (unshare) that
//   lives exactly as long as this object; the namespace has no name, so it
//   cannot be left behind: it goes with its last process, and every process
//   in it dies with the test process at the latest (parent-death signal);
// - a private dbus-daemon with a system-bus configuration of its own, its
//   socket in a temporary folder; DBUS_SYSTEM_BUS_ADDRESS points at it while
//   this object lives, for the code under test and for nmcli;
// - NetworkManager --debug in a mount namespace of its own with a fresh
//   tmpfs on /run (so /run/NetworkManager, the machine's bus socket and
//   journal are out of reach), its state folder bound over
//   /var/lib/NetworkManager, the namespace's own sysfs read-only (so it does
//   not wait for udev), configuration only from the temporary folder:
//   plugins=keyfile, no polkit, no DNS or hostname changes, no automatic
//   profiles; the keyfile profiles are those the test writes.
//
// Needs root (see needs_root.h). Nothing is waited for with sleeps: start()
// waits on the bus for NetworkManager to finish starting up.
#pragma once

#include "tests/support/testsupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <csignal>

namespace kivo::test
{

class RealNetworkManager
{
  public:
    // Makes the folder, the bus and the network namespace.
    RealNetworkManager();
    // Ends NetworkManager (its whole process group), the namespace and the
    // bus, and restores DBUS_SYSTEM_BUS_ADDRESS. When the test has failed,
    // NetworkManager's log is printed first.
    ~RealNetworkManager();
    RealNetworkManager(const RealNetworkManager&) = delete;
    RealNetworkManager& operator=(const RealNetworkManager&) = delete;

    // Why the set-up failed; empty when the bus and the namespace are there.
    const std::string& error() const { return m_error; }
    const QString& busAddress() const { return m_address; }

    // Writes a keyfile profile (mode 0600) as NAME.nmconnection. Profiles
    // written while NetworkManager runs are loaded at once.
    std::string addProfile(const std::string& name, const std::string& keyfile);

    // Starts NetworkManager and waits until it has finished starting up.
    // Empty, or why not (with the end of its log).
    std::string start();
    // Sends sig to NetworkManager's process group and waits for it to end
    // (SIGKILL after a grace period).
    void stop(int sig = SIGTERM);
    bool running() const;

    // Runs ip(8) with these arguments inside the namespace; empty or what
    // went wrong.
    std::string ip(const QStringList& args);

    // Runs nmcli on the private bus and waits for it.
    struct Result {
        int exitCode = -1;
        std::string output; // stdout and stderr
    };
    Result nmcli(const QStringList& args);

    // Asked of NetworkManager over the bus: the Ids of its active
    // connections, and of its profiles in its own order.
    QStringList activeIds();
    QStringList profileIds();
    // Waits until the profile with this Id is active (state "activated") or
    // no longer active at all.
    bool waitActivated(const QString& id, int timeoutMs = 30000);
    bool waitInactive(const QString& id, int timeoutMs = 30000);

    // What NetworkManager logged so far (its last lines).
    std::string logTail(int lines = 60) const;

  private:
    QDBusConnection& bus();
    std::string startBus();
    std::string startNamespace();
    void endProcess(QProcess& p, bool group, int sig);
    QDBusMessage call(const QString& path, const QString& iface, const QString& method,
                      const QVariantList& args = {});
    // Id and NMActiveConnectionState of each active connection.
    std::vector<std::pair<QString, unsigned>> active();

    TempDir m_dir; // first: removed after everything else
    std::string m_error;
    QString m_address;
    QString m_connName;
    std::string m_previousAddress;
    bool m_hadPreviousAddress = false;
    QProcess m_bus;
    QProcess m_holder; // keeps the network namespace
    int m_netns = -1;  // fd of the namespace, for the processes started in it
    QProcess m_nm;
    std::unique_ptr<QDBusConnection> m_conn;
};

} // namespace kivo::test
