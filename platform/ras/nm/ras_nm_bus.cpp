// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// NetworkManager on the system bus (ras_nm_bus.h), and the factory's
// question whether it is there to dial with.
#include "platform/ras/nm/ras_nm_bus.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>

#include <atomic>

// A connection profile's settings: setting name -> property -> value.
using NmSettings = QMap<QString, QVariantMap>;
Q_DECLARE_METATYPE(NmSettings)

Q_LOGGING_CATEGORY(lcRasNm, "kivo.ras.nm")

namespace kivo::ras
{
namespace nm
{
namespace
{

// The factory's question must not hold up the program's start for long.
constexpr int kProbeTimeoutMs = 1500;

bool isLoopback(const QString& nmType)
{
    return nmType == QLatin1String("loopback");
}

} // namespace

QString systemBusAddress()
{
    const QByteArray env = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    return env.isEmpty() ? QStringLiteral("unix:path=/var/run/dbus/system_bus_socket")
                         : QString::fromUtf8(env);
}

QString uniqueConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("kivo95-nm-%1").arg(++counter);
}

void registerTypes()
{
    static const bool done = [] {
        qDBusRegisterMetaType<NmSettings>();
        return true;
    }();
    (void)done;
}

QDBusMessage nmCall(const QString& path, const QString& iface, const QString& method)
{
    QDBusMessage m = QDBusMessage::createMethodCall(kService, path, iface, method);
    // Never start NetworkManager just because the wizard asked.
    m.setAutoStartService(false);
    return m;
}

QDBusMessage propsCall(const QString& path, const QString& method, const QString& iface)
{
    QDBusMessage m = nmCall(path, kPropsIface, method);
    m << iface;
    return m;
}

bool failed(const QDBusMessage& reply)
{
    return reply.type() != QDBusMessage::ReplyMessage;
}

QVariantMap variantMap(const QVariant& v)
{
    if (v.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(v.value<QDBusArgument>());
    return v.toMap();
}

bool isDialUpKind(const QString& nmType)
{
    static const QStringList kinds = {QStringLiteral("vpn"),      QStringLiteral("wireguard"),
                                      QStringLiteral("pppoe"),    QStringLiteral("adsl"),
                                      QStringLiteral("gsm"),      QStringLiteral("cdma"),
                                      QStringLiteral("bluetooth")};
    return kinds.contains(nmType);
}

std::string rasDeviceType(const QString& nmType)
{
    if (nmType == QLatin1String("vpn") || nmType == QLatin1String("wireguard"))
        return "vpn";
    if (nmType == QLatin1String("pppoe"))
        return "PPPoE";
    if (nmType == QLatin1String("gsm") || nmType == QLatin1String("cdma") ||
        nmType == QLatin1String("bluetooth"))
        return "modem";
    return nmType.toStdString();
}

std::string describeError(const QDBusMessage& reply)
{
    return (reply.errorName() + ": " + reply.errorMessage()).toStdString();
}

bool listProfiles(QDBusConnection& bus, int timeoutMs, std::vector<Profile>& out, QDBusMessage& failure)
{
    const QDBusMessage list = bus.call(
        nmCall(kSettingsPath, kSettingsIface, QStringLiteral("ListConnections")), QDBus::Block, timeoutMs);
    if (failed(list)) {
        failure = list;
        return false;
    }
    const QStringList paths = objectPaths(list.arguments().value(0));
    // All at once, then the answers in order: the wait is one round trip.
    std::vector<QDBusPendingCall> calls;
    for (const QString& path : paths)
        calls.push_back(bus.asyncCall(nmCall(path, kProfileIface, QStringLiteral("GetSettings")), timeoutMs));
    std::vector<Profile> profiles;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        calls[i].waitForFinished();
        const QDBusMessage reply = calls[i].reply();
        if (failed(reply)) {
            // Deleted in between, or not ours to see: not an entry.
            qCDebug(lcRasNm, "profile %s left out: %s", qUtf8Printable(paths[int(i)]),
                    describeError(reply).c_str());
            continue;
        }
        const NmSettings settings = qdbus_cast<NmSettings>(reply.arguments().value(0));
        const QVariantMap connection = settings.value(QStringLiteral("connection"));
        const QString id = connection.value(QStringLiteral("id")).toString();
        const QString type = connection.value(QStringLiteral("type")).toString();
        if (id.isEmpty() || isLoopback(type))
            continue;
        profiles.push_back({id.toStdString(), paths[int(i)], type});
    }
    out = std::move(profiles);
    return true;
}

QStringList objectPaths(const QVariant& v)
{
    QStringList out;
    if (v.canConvert<QDBusArgument>()) {
        const QDBusArgument arg = v.value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            QDBusObjectPath p;
            arg >> p;
            out << p.path();
        }
        arg.endArray();
    } else {
        for (const QDBusObjectPath& p : v.value<QList<QDBusObjectPath>>())
            out << p.path();
    }
    return out;
}

} // namespace nm

bool nmAvailable(std::string& why)
{
    using namespace nm;
    const QString address = systemBusAddress();
    const QString busName = uniqueConnectionName();
    bool ok = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, busName);
        if (!bus.isConnected()) {
            why = "no system bus at " + address.toStdString();
        } else {
            // Asked of the bus itself first: it always answers, and it does
            // not start NetworkManager.
            QDBusMessage has = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                              "org.freedesktop.DBus", "NameHasOwner");
            has << kService;
            const QDBusMessage owner = bus.call(has, QDBus::Block, kProbeTimeoutMs);
            if (failed(owner) || !owner.arguments().value(0).toBool()) {
                why = "NetworkManager is not running";
            } else {
                // Its own loopback profile, which it always has, does not
                // count: there must be something to dial.
                std::vector<Profile> profiles;
                QDBusMessage failure;
                const int n = listProfiles(bus, kProbeTimeoutMs, profiles, failure)
                                  ? static_cast<int>(profiles.size())
                                  : -1;
                if (n < 0)
                    why = "NetworkManager does not answer (" + describeError(failure) + ")";
                else if (n == 0)
                    why = "NetworkManager has no connection profiles to dial";
                else
                    why = "NetworkManager answers with " + std::to_string(n) + " connection profile" +
                          (n == 1 ? "" : "s");
                ok = n > 0;
            }
        }
    }
    QDBusConnection::disconnectFromBus(busName);
    return ok;
}

} // namespace kivo::ras
