// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The NetworkManager backend of the RAS layer (ras_nm.cpp): the connection
// profiles of NetworkManager are the phonebook entries, a dial activates one,
// and the states and reasons NetworkManager reports on the system bus become
// RAS states and RAS error codes.
//
// The system bus is the one DBUS_SYSTEM_BUS_ADDRESS names, else the standard
// socket; it is read when a backend is made, so tests can run a private bus
// with a NetworkManager stand-in.
#pragma once

#include "platform/ras/ras_backend.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <string>

namespace kivo::ras
{

std::unique_ptr<RasBackend> makeNmBackend();

// True when NetworkManager answers on the system bus and has at least one
// connection profile; why says what was found either way. Blocks for at most
// a second or two, also when the bus or NetworkManager hangs.
bool nmAvailable(std::string& why);

namespace nm
{

// Which NetworkManager object a state-change reason comes from: a device
// (NMDeviceStateReason) or an active connection (NMActiveConnectionStateReason,
// numbered like the reasons of a VPN connection).
enum class ReasonSource { Device, Connection };

// The RAS error code for a reason, 0 when the reason says nothing about why
// a connection failed or ended (none, unknown, ...).
DWORD reasonError(ReasonSource source, unsigned reason);

// The RAS error code for the error name of a failed D-Bus call to
// NetworkManager (a missing service, polkit's refusal, a timeout, ...).
DWORD dbusError(const QString& errorName);

// The object paths of an "ao" value as QtDBus hands it over: demarshalled,
// or still a QDBusArgument (inside a variant, a property's value).
QStringList objectPaths(const QVariant& value);

} // namespace nm
} // namespace kivo::ras
