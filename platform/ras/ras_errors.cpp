// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The texts of every result code the RAS layer and its backends can return.
// One table, so that a backend that starts returning a new code adds its
// text here and nowhere else (ras_test.cpp checks that every code has one).
// They are the system's texts, so they come in the user's language, as a
// translated Windows gives them; the trace keeps what the caller was given.
#include "platform/ras/ras.h"

#include "platform/system/trace.h"

#include <QCoreApplication>

#include <cstring>
#include <string>

namespace
{

struct ErrorText {
    DWORD code;
    const char* text;
};

// Short enough for the 256-byte buffer the dialer passes, one line each.
constexpr ErrorText kErrorTexts[] = {
    {ERROR_ACCESS_DENIED, QT_TRANSLATE_NOOP("RasError", "Access to the device or the service was denied.")},
    {ERROR_INVALID_HANDLE, QT_TRANSLATE_NOOP("RasError", "The connection handle is not valid.")},
    {ERROR_NOT_ENOUGH_MEMORY,
     QT_TRANSLATE_NOOP("RasError", "There is not enough memory to complete the operation.")},
    {ERROR_INVALID_PARAMETER,
     QT_TRANSLATE_NOOP("RasError", "A value passed to the dial-up service is not valid.")},
    {PENDING, QT_TRANSLATE_NOOP("RasError", "The operation is still under way.")},
    {ERROR_INVALID_PORT_HANDLE, QT_TRANSLATE_NOOP("RasError", "The port handle is not valid.")},
    {ERROR_PORT_ALREADY_OPEN, QT_TRANSLATE_NOOP("RasError", "The port is already open.")},
    {ERROR_BUFFER_TOO_SMALL, QT_TRANSLATE_NOOP("RasError", "The buffer is too small for the whole list.")},
    {ERROR_DEVICE_DOES_NOT_EXIST,
     QT_TRANSLATE_NOOP("RasError", "The device does not exist or is not supported.")},
    {ERROR_BUFFER_INVALID, QT_TRANSLATE_NOOP("RasError", "The buffer is not valid.")},
    {ERROR_ROUTE_NOT_AVAILABLE,
     QT_TRANSLATE_NOOP("RasError", "No network connection is up for the VPN to run over.")},
    {ERROR_PORT_NOT_CONNECTED, QT_TRANSLATE_NOOP("RasError", "The port is not connected.")},
    {ERROR_CANNOT_OPEN_PHONEBOOK, QT_TRANSLATE_NOOP("RasError", "The phonebook file cannot be opened.")},
    {ERROR_CANNOT_LOAD_PHONEBOOK, QT_TRANSLATE_NOOP("RasError", "The phonebook file cannot be read.")},
    {ERROR_CANNOT_FIND_PHONEBOOK_ENTRY, QT_TRANSLATE_NOOP("RasError", "The phonebook entry does not exist.")},
    {ERROR_PORT_DISCONNECTED, QT_TRANSLATE_NOOP("RasError", "The connection was closed by the device.")},
    {ERROR_REMOTE_DISCONNECTION, QT_TRANSLATE_NOOP("RasError", "The remote computer ended the connection.")},
    {ERROR_USER_DISCONNECTION, QT_TRANSLATE_NOOP("RasError", "The connection was ended by the user.")},
    {ERROR_INVALID_SIZE,
     QT_TRANSLATE_NOOP("RasError", "The record size passed to the dial-up service is wrong.")},
    {ERROR_PORT_NOT_AVAILABLE,
     QT_TRANSLATE_NOOP("RasError", "The port is in use or not set up for dialing out.")},
    {ERROR_REQUEST_TIMEOUT, QT_TRANSLATE_NOOP("RasError", "The request took too long and was given up.")},
    {ERROR_NO_DIALIN_PERMISSION,
     QT_TRANSLATE_NOOP(
         "RasError",
         "This user may not dial out: it needs the dip group (modems) or NetworkManager's permission.")},
    {ERROR_FROM_DEVICE, QT_TRANSLATE_NOOP("RasError", "The modem or other device reported an error.")},
    {ERROR_LINE_BUSY, QT_TRANSLATE_NOOP("RasError", "The line is busy.")},
    {ERROR_VOICE_ANSWER, QT_TRANSLATE_NOOP("RasError", "A person answered instead of a modem.")},
    {ERROR_NO_ANSWER, QT_TRANSLATE_NOOP("RasError", "The remote computer does not answer.")},
    {ERROR_NO_CARRIER, QT_TRANSLATE_NOOP("RasError", "No carrier: the remote modem did not respond.")},
    {ERROR_NO_DIALTONE, QT_TRANSLATE_NOOP("RasError", "There is no dial tone.")},
    {ERROR_AUTHENTICATION_FAILURE,
     QT_TRANSLATE_NOOP("RasError", "The user name or password was not accepted.")},
    {ERROR_HARDWARE_FAILURE, QT_TRANSLATE_NOOP("RasError", "The modem or other device failed to start.")},
    {ERROR_RASMAN_CANNOT_INITIALIZE,
     QT_TRANSLATE_NOOP("RasError", "The dial-up service is not running or does not answer.")},
    {ERROR_IP_CONFIGURATION,
     QT_TRANSLATE_NOOP("RasError", "The network settings received for the connection are not usable.")},
    {ERROR_PPP_TIMEOUT,
     QT_TRANSLATE_NOOP("RasError", "The remote computer did not answer the link negotiation in time.")},
    {ERROR_PROTOCOL_NOT_CONFIGURED,
     QT_TRANSLATE_NOOP(
         "RasError",
         "This computer cannot make PPP links: its kernel lacks PPP support (ppp_generic, ppp_async).")},
    {ERROR_PPP_LCP_TERMINATED,
     QT_TRANSLATE_NOOP("RasError", "The link negotiation was ended by the remote computer.")},
    {ERROR_PPP_LOOPBACK_DETECTED, QT_TRANSLATE_NOOP("RasError", "The line loops back to this computer.")},
    {ERROR_UNABLE_TO_AUTHENTICATE_SERVER,
     QT_TRANSLATE_NOOP("RasError", "The identity of the remote computer could not be verified.")},
};

const char* errorText(DWORD code)
{
    for (const ErrorText& e : kErrorTexts)
        if (e.code == code)
            return e.text;
    return nullptr;
}

} // namespace

DWORD RasGetErrorStringA(UINT ResourceId, LPSTR lpszString, DWORD InBufSize)
{
    const char* source = errorText(ResourceId);
    const QByteArray text =
        source ? QCoreApplication::translate("RasError", source).toLocal8Bit() : QByteArray();
    DWORD result = 0;
    if (!lpszString || !source)
        result = ERROR_INVALID_PARAMETER;
    else if (std::size_t(text.size()) + 1 > InBufSize)
        result = ERROR_BUFFER_TOO_SMALL;
    else
        std::memcpy(lpszString, text.constData(), std::size_t(text.size()) + 1);
    if (kivo::trace::enabled())
        kivo::trace::line("RasGetErrorStringA(code=" + std::to_string(ResourceId) +
                          ", size=" + std::to_string(InBufSize) + ") = " + std::to_string(result) +
                          (result == 0 ? " " + kivo::trace::quote(text.constData()) : std::string()));
    return result;
}
