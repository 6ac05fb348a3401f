#include "tests/support/nm_standin.h"

#include "platform/ras_nm.h"

#include "tests/support/testsupport.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QObject>

#include <atomic>
#include <cstdlib>

namespace kivo::test
{

// Records the stand-in's MethodCalled signals of the manager object.
struct NmStandIn::CallLog : QObject {
    Q_OBJECT
  public:
    std::vector<Call> calls;
  public Q_SLOTS:
    void onMethodCalled(const QDBusMessage& m)
    {
        const QList<QVariant> a = m.arguments();
        Call c;
        c.method = a.value(0).toString();
        const QVariantList args = qdbus_cast<QVariantList>(a.value(1));
        if (!args.isEmpty()) {
            QVariant first = args.front();
            if (first.canConvert<QDBusVariant>())
                first = first.value<QDBusVariant>().variant();
            c.firstArg = first.canConvert<QDBusObjectPath>() ? first.value<QDBusObjectPath>().path()
                                                             : first.toString();
        }
        calls.push_back(c);
    }
};

namespace
{

using Settings = QMap<QString, QVariantMap>;

QVariant v(const QVariant& value)
{
    return QVariant::fromValue(QDBusVariant(value));
}

QString busConfig(const QString& socket)
{
    return QStringLiteral(
               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n"
               "  <type>session</type>\n"
               "  <listen>unix:path=%1</listen>\n"
               "  <auth>EXTERNAL</auth>\n"
               "  <policy context=\"default\">\n"
               "    <allow user=\"*\"/>\n"
               "    <allow own=\"*\"/>\n"
               "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
               "    <allow eavesdrop=\"true\"/>\n"
               "  </policy>\n"
               "</busconfig>\n")
        .arg(socket);
}

std::string outputOf(QProcess& p)
{
    return (p.readAllStandardOutput() + p.readAllStandardError()).toStdString();
}

} // namespace

NmStandIn::NmStandIn() : m_calls(std::make_unique<CallLog>())
{
    static std::atomic<int> counter{0};
    ++counter;
    qDBusRegisterMetaType<Settings>();
    const QString socket = QString::fromStdString(m_dir.file("system_bus_socket"));
    const QString config = QString::fromStdString(m_dir.file("bus.conf"));
    writeFile(config.toStdString(), busConfig(socket).toStdString());

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
    if (const char* previous = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
        m_previousAddress = previous;
        m_hadPreviousAddress = true;
    }
    setenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toLocal8Bit().constData(), 1);
    m_connName = QStringLiteral("kivo95-nm-standin-%1").arg(counter.load());
    m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_address, m_connName));
    if (!m_bus->isConnected()) {
        m_error = "cannot connect to the private bus: " + m_bus->lastError().message().toStdString();
        return;
    }
    m_bus->connect(kService, kManagerPath, kMockIface, "MethodCalled", m_calls.get(),
                   SLOT(onMethodCalled(QDBusMessage)));
}

NmStandIn::~NmStandIn()
{
    stopNetworkManager();
    if (m_bus) {
        m_bus.reset();
        QDBusConnection::disconnectFromBus(m_connName);
    }
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5000)) {
            m_daemon.kill();
            m_daemon.waitForFinished(5000);
        }
    }
    if (m_hadPreviousAddress)
        setenv("DBUS_SYSTEM_BUS_ADDRESS", m_previousAddress.toLocal8Bit().constData(), 1);
    else
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

std::string NmStandIn::startNetworkManager()
{
    if (!m_error.empty())
        return m_error;
    QDBusServiceWatcher watcher(kService, *m_bus, QDBusServiceWatcher::WatchForRegistration);
    bool registered = false;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, [&] { registered = true; });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", m_address);
    m_mock.setProcessEnvironment(env);
    // Debian's interpreter: the one that has the D-Bus bindings dbusmock needs.
    m_mock.setProgram(QStringLiteral("/usr/bin/python3"));
    m_mock.setArguments({"-m", "dbusmock", "--template", "networkmanager"});
    m_mock.start();
    if (!m_mock.waitForStarted(10000))
        return "cannot start /usr/bin/python3: " + m_mock.errorString().toStdString();
    waitUntil([&] { return registered || m_mock.state() != QProcess::Running; }, 20000);
    if (!registered)
        return "the NetworkManager stand-in did not start (package python3-dbusmock): " + outputOf(m_mock);
    return {};
}

void NmStandIn::stopNetworkManager()
{
    if (m_mock.state() == QProcess::NotRunning)
        return;
    m_mock.terminate();
    if (!m_mock.waitForFinished(5000)) {
        m_mock.kill();
        m_mock.waitForFinished(5000);
    }
}

QDBusMessage NmStandIn::call(const QString& path, const QString& iface, const QString& method,
                             const QVariantList& args)
{
    QDBusMessage m = QDBusMessage::createMethodCall(kService, path, iface, method);
    m.setArguments(args);
    return m_bus->call(m, QDBus::Block, 10000);
}

QString NmStandIn::addProfile(const QString& id, const QString& type)
{
    Settings settings;
    settings["connection"] = QVariantMap{{"id", id}, {"type", type}};
    const QDBusMessage r = call(kSettingsPath, "org.freedesktop.NetworkManager.Settings", "AddConnection",
                                {QVariant::fromValue(settings)});
    return r.arguments().value(0).value<QDBusObjectPath>().path();
}

QString NmStandIn::addDevice(const QString& name, const QString& iface, unsigned state)
{
    const QDBusMessage r =
        call(kMainPath, kMockIface, "AddEthernetDevice", {name, iface, static_cast<int>(state)});
    return r.arguments().value(0).toString();
}

void NmStandIn::replaceMethod(const QString& path, const QString& iface, const QString& name,
                              const QString& in, const QString& out, const QString& code)
{
    call(path, kMockIface, "AddMethod", {iface, name, in, out, code});
}

void NmStandIn::activateSlowly(const QString& device)
{
    replaceMethod(
        kManagerPath, "org.freedesktop.NetworkManager", "ActivateConnection", "ooo", "o",
        QStringLiteral("ret = self.activate_connection(self, args[0], args[1], args[2])\n"
                       "a = objects[ret]\n"
                       "a.Set('%1', 'State', dbus.UInt32(1))\n"
                       "a.Set('%1', 'Devices', dbus.Array([dbus.ObjectPath('%2')], signature='o'))\n")
            .arg(kActiveIface, device));
}

void NmStandIn::emitSignal(const QString& path, const QString& iface, const QString& name,
                           const QString& signature, const QVariantList& args)
{
    QVariantList wrapped;
    for (const QVariant& a : args)
        wrapped << v(a);
    call(path, kMockIface, "EmitSignal", {iface, name, signature, wrapped});
}

void NmStandIn::activeState(const QString& active, unsigned state, unsigned reason)
{
    emitSignal(active, kActiveIface, "StateChanged", "uu", {state, reason});
}

void NmStandIn::vpnState(const QString& active, unsigned state, unsigned reason)
{
    emitSignal(active, kVpnIface, "VpnStateChanged", "uu", {state, reason});
}

void NmStandIn::deviceState(const QString& device, unsigned state, unsigned old, unsigned reason)
{
    emitSignal(device, kDeviceIface, "StateChanged", "uuu", {state, old, reason});
}

QString NmStandIn::activateFromElsewhere(const QString& profile)
{
    const QDBusMessage r =
        call(kManagerPath, "org.freedesktop.NetworkManager", "ActivateConnection",
             {QVariant::fromValue(QDBusObjectPath(profile)), QVariant::fromValue(QDBusObjectPath("/")),
              QVariant::fromValue(QDBusObjectPath("/"))});
    return r.arguments().value(0).value<QDBusObjectPath>().path();
}

void NmStandIn::deactivateFromElsewhere(const QString& active)
{
    call(kManagerPath, "org.freedesktop.NetworkManager", "DeactivateConnection",
         {QVariant::fromValue(QDBusObjectPath(active))});
}

QStringList NmStandIn::activeConnections()
{
    const QDBusMessage r = call(kManagerPath, "org.freedesktop.DBus.Properties", "Get",
                                {"org.freedesktop.NetworkManager", "ActiveConnections"});
    return kivo::ras::nm::objectPaths(r.arguments().value(0).value<QDBusVariant>().variant());
}

const std::vector<NmStandIn::Call>& NmStandIn::managerCalls() const
{
    return m_calls->calls;
}

bool NmStandIn::waitForManagerCall(const QString& method, const QString& firstArg, int timeoutMs)
{
    return waitUntil(
        [&] {
            for (const Call& c : m_calls->calls)
                if (c.method == method && c.firstArg == firstArg)
                    return true;
            return false;
        },
        timeoutMs);
}

} // namespace kivo::test

#include "nm_standin.moc"
