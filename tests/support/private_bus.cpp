// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "tests/support/private_bus.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QObject>

#include <atomic>
#include <cstdlib>

namespace kivo::test
{

namespace
{

QString busConfig(const char* type, const QString& socket)
{
    return QStringLiteral(
               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n"
               "  <type>%1</type>\n"
               "  <listen>unix:path=%2</listen>\n"
               "  <auth>EXTERNAL</auth>\n"
               "  <policy context=\"default\">\n"
               "    <allow user=\"*\"/>\n"
               "    <allow own=\"*\"/>\n"
               "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
               "    <allow eavesdrop=\"true\"/>\n"
               "  </policy>\n"
               "</busconfig>\n")
        .arg(QLatin1String(type), socket);
}

std::string outputOf(QProcess& p)
{
    return (p.readAllStandardOutput() + p.readAllStandardError()).toStdString();
}

constexpr char kNotifications[] = "org.freedesktop.Notifications";

} // namespace

PrivateBus::PrivateBus(Kind kind)
    : m_kind(kind), m_variable(kind == Kind::Session ? "DBUS_SESSION_BUS_ADDRESS" : "DBUS_SYSTEM_BUS_ADDRESS")
{
    static std::atomic<int> counter{0};
    const QString socket = QString::fromStdString(m_dir.file("bus_socket"));
    const QString config = QString::fromStdString(m_dir.file("bus.conf"));
    writeFile(config.toStdString(),
              busConfig(kind == Kind::Session ? "session" : "system", socket).toStdString());

    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments({"--config-file=" + config, "--nofork", "--print-address"});
    m_daemon.start();
    if (!m_daemon.waitForStarted(10000)) {
        m_error = "cannot start dbus-daemon (package dbus): " + m_daemon.errorString().toStdString();
        return;
    }
    waitUntil([&] { return m_daemon.canReadLine() || m_daemon.state() != QProcess::Running; }, 10000);
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    if (m_address.isEmpty()) {
        m_error = "dbus-daemon printed no address: " + outputOf(m_daemon);
        return;
    }
    if (const char* previous = std::getenv(m_variable)) {
        m_previous = QString::fromLocal8Bit(previous);
        m_hadPrevious = true;
    }
    setenv(m_variable, m_address.toLocal8Bit().constData(), 1);
    m_connectionName = QStringLiteral("kivo95-test-bus-%1").arg(++counter);
    const QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_connectionName);
    if (!bus.isConnected())
        m_error = "cannot connect to the private bus: " + bus.lastError().message().toStdString();
}

PrivateBus::~PrivateBus()
{
    stop(m_dunst);
    stop(m_standIn);
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    stop(m_daemon);
    if (m_address.isEmpty())
        return;
    if (m_hadPrevious)
        setenv(m_variable, m_previous.toLocal8Bit().constData(), 1);
    else
        unsetenv(m_variable);
}

void PrivateBus::stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

QDBusConnection PrivateBus::connection() const
{
    return QDBusConnection(m_connectionName);
}

std::string PrivateBus::startService(QProcess& process, const QString& name, const QString& program,
                                     const QStringList& arguments)
{
    if (!m_error.empty())
        return m_error;
    QDBusServiceWatcher watcher(name, connection(), QDBusServiceWatcher::WatchForRegistration);
    bool registered = false;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, [&] { registered = true; });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(m_variable), m_address);
    process.setProcessEnvironment(env);
    process.setProgram(program);
    process.setArguments(arguments);
    process.start();
    if (!process.waitForStarted(10000))
        return "cannot start " + program.toStdString() + ": " + process.errorString().toStdString();
    waitUntil([&] { return registered || process.state() != QProcess::Running; }, 20000);
    if (!registered)
        return program.toStdString() + " did not take " + name.toStdString() + ": " + outputOf(process);
    return {};
}

std::string PrivateBus::startNotificationStandIn()
{
    // Debian's interpreter: the one that has the D-Bus bindings dbusmock needs.
    const std::string why = startService(m_standIn, kNotifications, QStringLiteral("/usr/bin/python3"),
                                         {"-m", "dbusmock", "--template", "notification_daemon"});
    return why.empty() ? why : why + " (package python3-dbusmock)";
}

QStringList PrivateBus::standInSummaries() const
{
    QDBusMessage m = QDBusMessage::createMethodCall(kNotifications, "/org/freedesktop/Notifications",
                                                    "org.freedesktop.DBus.Mock", "GetMethodCalls");
    m << QStringLiteral("Notify");
    const QDBusMessage r = connection().call(m, QDBus::Block, 10000);
    QStringList summaries;
    // a(tav): a time stamp and the call's arguments; the summary is the fourth.
    const QDBusArgument calls = r.arguments().value(0).value<QDBusArgument>();
    calls.beginArray();
    while (!calls.atEnd()) {
        quint64 stamp = 0;
        QVariantList args;
        calls.beginStructure();
        calls >> stamp >> args;
        calls.endStructure();
        summaries << args.value(3).toString();
    }
    calls.endArray();
    return summaries;
}

std::string PrivateBus::startDunst()
{
    // A rule for every notification runs a script of ours with the
    // application, summary and body as arguments; it appends them to a log.
    const std::string script = m_dir.file("dunst-log.sh");
    writeFile(script, "#!/bin/sh\nprintf '%s|%s\\n' \"$2\" \"$3\" >> \"$0.log\"\n");
    QFile::setPermissions(QString::fromStdString(script),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const std::string config = m_dir.file("dunstrc");
    writeFile(config, "[global]\n[log]\nsummary = \"*\"\nscript = " + script + "\n");
    const std::string why = startService(m_dunst, kNotifications, QStringLiteral("dunst"),
                                         {"-config", QString::fromStdString(config)});
    return why.empty() ? why : why + " (package dunst, on an X display)";
}

QStringList PrivateBus::dunstShown() const
{
    const QString log = QString::fromStdString(readFile(m_dir.file("dunst-log.sh.log")));
    return log.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace kivo::test
