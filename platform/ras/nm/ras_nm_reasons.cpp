// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The one table of what NetworkManager's reasons and refusals mean as RAS
// error codes, for the NetworkManager backend (ras_nm.cpp). The reason
// numbers are those of NetworkManager's D-Bus API (1.42).
#include "platform/ras/nm/ras_nm.h"

#include <QString>

namespace kivo::ras::nm
{
namespace
{

struct ReasonRow {
    ReasonSource source;
    unsigned reason;
    DWORD error;
};

// Why NetworkManager says a connection failed or ended, as RAS error codes.
// Reasons not listed (none, unknown, a new activation replacing the old one)
// say nothing; the caller then falls back to what it knows otherwise.
constexpr ReasonRow kReasons[] = {
    // NMDeviceStateReason
    {ReasonSource::Device, 5, ERROR_IP_CONFIGURATION},             // IP_CONFIG_UNAVAILABLE
    {ReasonSource::Device, 6, ERROR_IP_CONFIGURATION},             // IP_CONFIG_EXPIRED
    {ReasonSource::Device, 7, ERROR_AUTHENTICATION_FAILURE},       // NO_SECRETS
    {ReasonSource::Device, 12, ERROR_PORT_NOT_AVAILABLE},          // PPP_START_FAILED
    {ReasonSource::Device, 13, ERROR_REMOTE_DISCONNECTION},        // PPP_DISCONNECT
    {ReasonSource::Device, 14, ERROR_FROM_DEVICE},                 // PPP_FAILED: pppd died
    {ReasonSource::Device, 23, ERROR_LINE_BUSY},                   // MODEM_BUSY
    {ReasonSource::Device, 24, ERROR_NO_DIALTONE},                 // MODEM_NO_DIAL_TONE
    {ReasonSource::Device, 25, ERROR_NO_CARRIER},                  // MODEM_NO_CARRIER
    {ReasonSource::Device, 26, ERROR_NO_ANSWER},                   // MODEM_DIAL_TIMEOUT
    {ReasonSource::Device, 27, ERROR_FROM_DEVICE},                 // MODEM_DIAL_FAILED
    {ReasonSource::Device, 28, ERROR_HARDWARE_FAILURE},            // MODEM_INIT_FAILED
    {ReasonSource::Device, 36, ERROR_PORT_DISCONNECTED},           // REMOVED
    {ReasonSource::Device, 38, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY}, // CONNECTION_REMOVED
    {ReasonSource::Device, 39, ERROR_USER_DISCONNECTION},          // USER_REQUESTED
    {ReasonSource::Device, 40, ERROR_PORT_DISCONNECTED},           // CARRIER
    {ReasonSource::Device, 43, ERROR_DEVICE_DOES_NOT_EXIST},       // MODEM_NOT_FOUND
    // NMActiveConnectionStateReason (and NMVpnConnectionStateReason)
    {ReasonSource::Connection, 2, ERROR_USER_DISCONNECTION},           // USER_DISCONNECTED
    {ReasonSource::Connection, 3, ERROR_PORT_DISCONNECTED},            // DEVICE_DISCONNECTED
    {ReasonSource::Connection, 4, ERROR_PORT_DISCONNECTED},            // SERVICE_STOPPED
    {ReasonSource::Connection, 5, ERROR_IP_CONFIGURATION},             // IP_CONFIG_INVALID
    {ReasonSource::Connection, 6, ERROR_REQUEST_TIMEOUT},              // CONNECT_TIMEOUT
    {ReasonSource::Connection, 7, ERROR_REQUEST_TIMEOUT},              // SERVICE_START_TIMEOUT
    {ReasonSource::Connection, 8, ERROR_PORT_NOT_AVAILABLE},           // SERVICE_START_FAILED
    {ReasonSource::Connection, 9, ERROR_AUTHENTICATION_FAILURE},       // NO_SECRETS
    {ReasonSource::Connection, 10, ERROR_AUTHENTICATION_FAILURE},      // LOGIN_FAILED
    {ReasonSource::Connection, 11, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY}, // CONNECTION_REMOVED
    {ReasonSource::Connection, 14, ERROR_PORT_DISCONNECTED},           // DEVICE_REMOVED
};

struct DBusErrorRow {
    const char* name;
    DWORD error;
};

// Failed calls. Permission errors end in ".PermissionDenied" whichever part
// of NetworkManager refuses; they are matched by that ending. Codes of 600
// and above only: a dial that fails with anything lower would not end the
// dial queue's attempt.
constexpr DBusErrorRow kDBusErrors[] = {
    {"org.freedesktop.DBus.Error.ServiceUnknown", ERROR_RASMAN_CANNOT_INITIALIZE},
    {"org.freedesktop.DBus.Error.NameHasNoOwner", ERROR_RASMAN_CANNOT_INITIALIZE},
    {"org.freedesktop.DBus.Error.NoServer", ERROR_RASMAN_CANNOT_INITIALIZE},
    {"org.freedesktop.DBus.Error.Disconnected", ERROR_RASMAN_CANNOT_INITIALIZE},
    {"org.freedesktop.DBus.Error.NoReply", ERROR_REQUEST_TIMEOUT},
    {"org.freedesktop.DBus.Error.Timeout", ERROR_REQUEST_TIMEOUT},
    {"org.freedesktop.DBus.Error.TimedOut", ERROR_REQUEST_TIMEOUT},
    {"org.freedesktop.DBus.Error.AccessDenied", ERROR_NO_DIALIN_PERMISSION},
    {"org.freedesktop.DBus.Error.UnknownObject", ERROR_CANNOT_FIND_PHONEBOOK_ENTRY},
    {"org.freedesktop.NetworkManager.UnknownConnection", ERROR_CANNOT_FIND_PHONEBOOK_ENTRY},
    {"org.freedesktop.NetworkManager.UnknownDevice", ERROR_DEVICE_DOES_NOT_EXIST},
    {"org.freedesktop.NetworkManager.ConnectionNotAvailable", ERROR_DEVICE_DOES_NOT_EXIST},
    // A device it has to make, such as a dummy interface the kernel lacks.
    {"org.freedesktop.NetworkManager.Device.CreationFailed", ERROR_DEVICE_DOES_NOT_EXIST},
    {"org.freedesktop.NetworkManager.AgentManager.NoSecrets", ERROR_AUTHENTICATION_FAILURE},
    {"org.freedesktop.NetworkManager.AgentManager.UserCanceled", ERROR_AUTHENTICATION_FAILURE},
};

} // namespace

DWORD reasonError(ReasonSource source, unsigned reason)
{
    for (const ReasonRow& r : kReasons)
        if (r.source == source && r.reason == reason)
            return r.error;
    return 0;
}

DWORD dbusError(const QString& errorName)
{
    if (errorName.endsWith(QLatin1String(".PermissionDenied")))
        return ERROR_NO_DIALIN_PERMISSION;
    for (const DBusErrorRow& r : kDBusErrors)
        if (errorName == QLatin1String(r.name))
            return r.error;
    // NetworkManager refused for a reason of its own (Failed,
    // DependencyFailed, an error of a VPN plugin, ...).
    return ERROR_FROM_DEVICE;
}

} // namespace kivo::ras::nm
