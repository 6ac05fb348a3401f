// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Inside the NetworkManager backend: NetworkManager on the system bus, its
// names, the calls made to it, and the listing of its connection profiles
// (ras_nm_bus.cpp), for the backend (ras_nm.cpp) and the factory's probe.
#pragma once

#include "platform/ras/nm/ras_nm.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QLoggingCategory>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <string>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcRasNm)

namespace kivo::ras::nm
{

inline const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
inline const QString kManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
inline const QString kSettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
inline const QString kManagerIface = QStringLiteral("org.freedesktop.NetworkManager");
inline const QString kSettingsIface = QStringLiteral("org.freedesktop.NetworkManager.Settings");
inline const QString kProfileIface = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
inline const QString kActiveIface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
inline const QString kVpnIface = QStringLiteral("org.freedesktop.NetworkManager.VPN.Connection");
inline const QString kDeviceIface = QStringLiteral("org.freedesktop.NetworkManager.Device");
inline const QString kPropsIface = QStringLiteral("org.freedesktop.DBus.Properties");

// The bus DBUS_SYSTEM_BUS_ADDRESS names, else the standard socket.
QString systemBusAddress();
// A connection name of its own for each backend and probe.
QString uniqueConnectionName();
// The D-Bus types of NetworkManager's replies, registered once.
void registerTypes();

// A call to NetworkManager that never starts it.
QDBusMessage nmCall(const QString& path, const QString& iface, const QString& method);
// org.freedesktop.DBus.Properties.method(iface, ...) on one of its objects.
QDBusMessage propsCall(const QString& path, const QString& method, const QString& iface);
bool failed(const QDBusMessage& reply);
// An a{sv} as QtDBus hands it over, demarshalled or not.
QVariantMap variantMap(const QVariant& v);
// "Name: message" of a failed reply, for logs and the trace.
std::string describeError(const QDBusMessage& reply);

// Kinds of connection that a RAS layer would hold: dial-up links and the
// tunnels that stand in for them today (NetworkManager's connection.type).
// Wired, Wi-Fi, bridges and the like are the network the machine simply
// has; loopback is not a connection at all.
bool isDialUpKind(const QString& nmType);
// The RAS device type of a profile's connection.type.
std::string rasDeviceType(const QString& nmType);

struct Profile {
    std::string name;
    QString path;
    QString type; // connection.type
};

// The profiles that can be dialled, in NetworkManager's order: those the
// caller may see, but the loopback, which NetworkManager keeps always active
// as a profile of its own and which is no line to dial. Blocks for at most
// timeoutMs; false with the failed reply when NetworkManager cannot list
// them.
bool listProfiles(QDBusConnection& bus, int timeoutMs, std::vector<Profile>& out, QDBusMessage& failure);

} // namespace kivo::ras::nm
