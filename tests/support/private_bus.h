// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A D-Bus bus of the test's own: a real dbus-daemon on a socket in a
// temporary directory, never the machine's or the user's bus. While it
// lives, DBUS_SESSION_BUS_ADDRESS (or DBUS_SYSTEM_BUS_ADDRESS) points at it,
// for this process and the programs it starts.
//
// On a session bus it also starts what a desktop has there: a notification
// server, either python3-dbusmock's stand-in (which records every call) or
// Debian's dunst on the current X display (whose rule logs every
// notification it shows). A missing program makes the start fail with the
// reason, never skip.
#pragma once

#include "tests/support/testsupport.h"

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

namespace kivo::test
{

class PrivateBus
{
  public:
    enum class Kind { Session, System };
    explicit PrivateBus(Kind kind = Kind::Session);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty when the bus runs, else why it does not.
    const std::string& error() const { return m_error; }
    const QString& address() const { return m_address; }
    // The test's own connection to the bus.
    QDBusConnection connection() const;

    // Starts a program that takes a name on the bus (a service stand-in) and
    // waits until it has it. Returns an empty text, or why it did not.
    std::string startService(QProcess& process, const QString& name, const QString& program,
                             const QStringList& arguments);
    // Ends a program started here (SIGTERM, then SIGKILL) and waits for it.
    static void stop(QProcess& process);

    // ---- notification servers ---------------------------------------------

    // Starts python3-dbusmock's org.freedesktop.Notifications and waits until
    // it owns the name. Returns an empty text, or why it could not.
    std::string startNotificationStandIn();
    // The stand-in's record: the summaries of the Notify calls so far.
    QStringList standInSummaries() const;
    // Starts dunst on $DISPLAY; every notification it shows is logged.
    std::string startDunst();
    // dunst's log: "summary|body" per notification shown.
    QStringList dunstShown() const;

  private:
    TempDir m_dir; // first: removed after the processes have ended
    Kind m_kind;
    const char* m_variable;
    std::string m_error;
    QString m_address;
    QString m_connectionName;
    QString m_previous;
    bool m_hadPrevious = false;
    QProcess m_daemon;
    QProcess m_standIn;
    QProcess m_dunst;
};

} // namespace kivo::test
