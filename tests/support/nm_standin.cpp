// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "tests/support/nm_standin.h"

#include "platform/ras/nm/ras_nm.h"

#include "tests/support/testsupport.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QObject>

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

} // namespace

NmStandIn::NmStandIn() : m_calls(std::make_unique<CallLog>())
{
    qDBusRegisterMetaType<Settings>();
    if (!m_bus.error().empty())
        return;
    m_bus.connection().connect(kService, kManagerPath, kMockIface, "MethodCalled", m_calls.get(),
                               SLOT(onMethodCalled(QDBusMessage)));
}

NmStandIn::~NmStandIn()
{
    stopNetworkManager();
}

std::string NmStandIn::startNetworkManager()
{
    // Debian's interpreter: the one that has the D-Bus bindings dbusmock needs.
    const std::string why = m_bus.startService(m_mock, kService, QStringLiteral("/usr/bin/python3"),
                                               {"-m", "dbusmock", "--template", "networkmanager"});
    return why.empty() ? why : "the NetworkManager stand-in did not start (package python3-dbusmock): " + why;
}

void NmStandIn::stopNetworkManager()
{
    PrivateBus::stop(m_mock);
}

QDBusMessage NmStandIn::call(const QString& path, const QString& iface, const QString& method,
                             const QVariantList& args)
{
    QDBusMessage m = QDBusMessage::createMethodCall(kService, path, iface, method);
    m.setArguments(args);
    return m_bus.connection().call(m, QDBus::Block, 10000);
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
