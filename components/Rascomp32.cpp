// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "components/Rascomp32.h"

#include "platform/system/system.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace
{

// Fixed number of the dial-progress message, used when registration fails.
constexpr std::uint16_t WM_RASDIALEVENT = 0xCCCD;

constexpr int kMaxEntries = 20;
constexpr int kMaxConnections = 4;

// What each connection state raises and how GetStatusText shows it (in the
// user's language). State 2 and the two terminal states are special-cased
// where they are used.
struct StateRow {
    std::uint16_t state;
    TNotifyEvent TRAS::*event;
    const char* text;
};

constexpr StateRow kStates[] = {
    {RASCS_OpenPort, &TRAS::OnAboutToOpenPort, QT_TRANSLATE_NOOP("TRAS", "Opening Port")},
    {RASCS_PortOpened, &TRAS::OnPortOpened, QT_TRANSLATE_NOOP("TRAS", "Port Opened")},
    {RASCS_ConnectDevice, &TRAS::OnAboutToConnDev, QT_TRANSLATE_NOOP("TRAS", "Using Device: ")},
    {RASCS_DeviceConnected, &TRAS::OnDevConnected, QT_TRANSLATE_NOOP("TRAS", "Device is connected")},
    {RASCS_AllDevicesConnected, &TRAS::OnAllDevsConnected,
     QT_TRANSLATE_NOOP("TRAS", "All Required Devices Connected")},
    {RASCS_Authenticate, &TRAS::OnAuthenticate, QT_TRANSLATE_NOOP("TRAS", "Validating User/Password/Domain")},
    {RASCS_AuthNotify, &TRAS::OnAuthNotify, QT_TRANSLATE_NOOP("TRAS", "Authentication Notification")},
    {RASCS_AuthRetry, &TRAS::OnAuthRetry, ""},
    {RASCS_AuthCallback, &TRAS::OnAuthCallBack, QT_TRANSLATE_NOOP("TRAS", "Authentication Call Back")},
    {RASCS_AuthChangePassword, &TRAS::OnAuthChangePassword, ""},
    {RASCS_AuthProject, &TRAS::OnAuthProject, QT_TRANSLATE_NOOP("TRAS", "Project")},
    {RASCS_AuthLinkSpeed, &TRAS::OnAuthLinkSpeed, QT_TRANSLATE_NOOP("TRAS", "Calculating Link speed")},
    {RASCS_AuthAck, &TRAS::OnAuthAck, QT_TRANSLATE_NOOP("TRAS", "Authentication acknowledged")},
    {RASCS_ReAuthenticate, &TRAS::OnReAuthenticate, QT_TRANSLATE_NOOP("TRAS", "Reauthenticating")},
    {RASCS_Authenticated, &TRAS::OnAuthenticated, QT_TRANSLATE_NOOP("TRAS", "Login Authenticated")},
    {RASCS_PrepareForCallback, &TRAS::OnPrepareforCallback,
     QT_TRANSLATE_NOOP("TRAS", "Preparing for Callback")},
    {RASCS_WaitForModemReset, &TRAS::OnWaitForModemReset,
     QT_TRANSLATE_NOOP("TRAS", "Waiting for Modem Reset")},
    {RASCS_WaitForCallback, &TRAS::OnCallBack, QT_TRANSLATE_NOOP("TRAS", "Waiting for Callback")},
    {RASCS_Interactive, &TRAS::OnInteractiveStarted, ""},
    {RASCS_RetryAuthentication, &TRAS::OnRetryAuth, ""},
    {RASCS_CallbackSetByCaller, nullptr, ""},
    {RASCS_PasswordExpired, &TRAS::OnPasswordExpired, ""},
    {RASCS_Connected, &TRAS::OnConnect, ""},
    {RASCS_Disconnected, nullptr, ""},
};

const StateRow* findState(std::uint16_t state)
{
    for (const StateRow& row : kStates)
        if (row.state == state)
            return &row;
    return nullptr;
}

template <std::size_t N> QString fieldText(const char (&field)[N])
{
    return QString::fromUtf8(field, static_cast<qsizetype>(strnlen(field, N)));
}

// Copies a property into a record field, cut to at most max bytes.
template <std::size_t N> void putField(char (&field)[N], const QString& value, std::size_t max)
{
    const QByteArray utf8 = value.toUtf8();
    const std::string cut =
        kivo::ras::cutText(std::string_view(utf8.constData(), utf8.size()), std::min(max, N - 1));
    std::memcpy(field, cut.data(), cut.size());
    field[cut.size()] = '\0';
}

} // namespace

// ---- TConnectionList ------------------------------------------------------

TConnectionList::TConnectionList(QObject* parent) : QObject(parent)
{
}

TConnectionList::~TConnectionList() = default;

void TConnectionList::check(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw EListError(
            QCoreApplication::translate("TList", "List index out of bounds (%1)").arg(Index).toStdString());
}

const RASCONN& TConnectionList::Items(int Index) const
{
    check(Index);
    return *m_items[static_cast<std::size_t>(Index)];
}

void TConnectionList::Clear()
{
    m_items.clear();
}

void TConnectionList::AddConnection(const RASCONN& Connection)
{
    m_items.push_back(std::make_unique<RASCONN>(Connection));
}

HRASCONN TConnectionList::RASConn(int Index) const
{
    return Items(Index).hrasconn;
}

QString TConnectionList::EntryName(int Index) const
{
    return fieldText(Items(Index).szEntryName);
}

void TConnectionList::Delete(int Index)
{
    check(Index);
    m_items.erase(m_items.begin() + Index);
}

// ---- TRAS: construction ---------------------------------------------------

TRAS::TRAS(QObject* AOwner) : QObject(AOwner)
{
    const UINT message = RegisterWindowMessageA("RASDialEvent");
    FDialEventMessage = message ? static_cast<std::uint16_t>(message) : WM_RASDIALEVENT;
    FConnections = new TConnectionList(this);
}

TRAS::~TRAS()
{
    HangUp();
}

void TRAS::setPhoneBookPath(const QString& v)
{
    FPhoneBookPath = v;
    GetPhoneBookEntries();
}

void TRAS::setRedialAttempts(int v)
{
    if (v != FRedialAttempts)
        FRedialAttempts = v;
}

// ---- enumerations ---------------------------------------------------------

std::int32_t TRAS::GetPhoneBookEntries()
{
    FPhoneBookEntries.clear();
    std::array<RASENTRYNAME, kMaxEntries> buffer{};
    buffer[0].dwSize = sizeof(RASENTRYNAME);
    DWORD size = sizeof buffer;
    DWORD count = 0;
    const QByteArray path = FPhoneBookPath.toUtf8();
    FLastError = static_cast<std::int32_t>(
        RasEnumEntriesA(nullptr, path.isEmpty() ? nullptr : path.constData(), buffer.data(), &size, &count));
    if (FLastError == 0 || FLastError == static_cast<std::int32_t>(ERROR_BUFFER_TOO_SMALL)) {
        // An empty name still takes its place among the 20.
        for (DWORD i = 0; i < count && i < kMaxEntries; ++i)
            if (buffer[i].szEntryName[0] != '\0')
                FPhoneBookEntries.append(fieldText(buffer[i].szEntryName));
    }
    return FLastError;
}

std::int32_t TRAS::GetConnections()
{
    FConnections->Clear();
    std::array<RASCONN, kMaxConnections> buffer{};
    buffer[0].dwSize = sizeof(RASCONN);
    DWORD size = sizeof buffer;
    DWORD count = 0;
    FLastError = static_cast<std::int32_t>(RasEnumConnectionsA(buffer.data(), &size, &count));
    if (FLastError == 0 || FLastError == static_cast<std::int32_t>(ERROR_BUFFER_TOO_SMALL))
        for (DWORD i = 0; i < count && i < kMaxConnections; ++i)
            FConnections->AddConnection(buffer[i]);
    return FLastError;
}

// ---- dialing ----------------------------------------------------------------

std::int32_t TRAS::Connect()
{
    if (FConnHandle)
        HangUp();
    if (!FNotifierHandle) {
        FNotifierHandle = kivo::sys::AllocateHWnd([this](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            TMessage message{msg, w, l, 0};
            HandleDialEvent(message);
            return message.Result;
        });
    }
    RASDIALPARAMS params;
    std::memset(&params, 0, sizeof params);
    FConnHandle = nullptr;
    params.dwSize = sizeof(RASDIALPARAMS);
    putField(params.szEntryName, FEntryName, RAS_MaxEntryName);
    putField(params.szPhoneNumber, FPhoneNumber, RAS_MaxPhoneNumber);
    putField(params.szCallbackNumber, FCallbackNumber, RAS_MaxCallbackNumber);
    putField(params.szUserName, FUserName, UNLEN);
    putField(params.szPassword, FPassword, PWLEN);
    putField(params.szDomain, FDomain, DNLEN);
    const QByteArray path = FPhoneBookPath.toUtf8();
    FLastError =
        static_cast<std::int32_t>(RasDialA(nullptr, path.isEmpty() ? nullptr : path.constData(), &params,
                                           RASNOTIFIER_HWND, FNotifierHandle, &FConnHandle));
    // The password does not stay behind on the stack.
    std::memset(params.szPassword, 0, sizeof params.szPassword);
    return FLastError;
}

std::int32_t TRAS::HangUp()
{
    std::int32_t result = 0;
    if (FConnHandle)
        result = static_cast<std::int32_t>(RasHangUpA(FConnHandle));
    FConnHandle = nullptr;
    ReleaseNotifier();
    FLastError = result;
    return result;
}

std::int32_t TRAS::Disconnect()
{
    const std::int32_t result = HangUp();
    DoDisconnect();
    return result;
}

void TRAS::ReleaseNotifier()
{
    // Also from within the window's own handler (an event handler that hangs
    // up): the system layer lets the window die once the handler returns.
    kivo::sys::DeallocateHWnd(FNotifierHandle);
    FNotifierHandle = nullptr;
}

void TRAS::DoDisconnect()
{
    if (!OnDisconnect)
        return;
    RASCONNSTATUS status;
    std::memset(&status, 0, sizeof status);
    status.dwSize = sizeof(RASCONNSTATUS);
    const auto error = static_cast<std::int32_t>(RasGetConnectStatusA(FConnHandle, &status));
    const QString text = GetErrorString(error);
    const TRasStateEvent handler = OnDisconnect;
    handler(this, error, text);
}

void TRAS::Raise(const TNotifyEvent& Event)
{
    // Checked at the moment of raising: an earlier handler may have hung up.
    if (!FConnHandle || !Event)
        return;
    const TNotifyEvent handler = Event;
    handler(this);
}

void TRAS::HandleDialEvent(TMessage& Message)
{
    if (Message.Msg != FDialEventMessage || !FConnHandle) {
        Message.Result = DefWindowProcA(FNotifierHandle, Message.Msg, Message.WParam, Message.LParam);
        return;
    }
    const auto error = static_cast<std::int32_t>(Message.LParam);
    if (error != 0) {
        FLastError = error;
    } else {
        FConnectState = static_cast<std::uint16_t>(Message.WParam & 0xFFFF);
        if (FConnectState == RASCS_Disconnected)
            DoDisconnect();
        else if (const StateRow* row = findState(FConnectState); row && row->event)
            Raise(this->*(row->event));
    }
    if (FConnHandle)
        GetConnectStatus();
    Message.Result = 0;
}

// ---- status -----------------------------------------------------------------

std::int32_t TRAS::GetConnectStatus()
{
    // Without a connection there is nothing to ask; the last result stands.
    if (!FConnHandle)
        return FLastError;
    RASCONNSTATUS status;
    std::memset(&status, 0, sizeof status);
    status.dwSize = sizeof(RASCONNSTATUS);
    FLastError = static_cast<std::int32_t>(RasGetConnectStatusA(FConnHandle, &status));
    // A failed query is reported as such rather than as "no error": the
    // record it did not fill would read as a healthy connection.
    if (FLastError != 0)
        return FLastError;
    FDeviceName = fieldText(status.szDeviceName);
    FDeviceType = fieldText(status.szDeviceType);
    FConnectState = static_cast<std::uint16_t>(status.rasconnstate & 0xFFFF);
    FLastError = static_cast<std::int32_t>(status.dwError);
    return FLastError;
}

QString TRAS::GetStatusText()
{
    if (!FConnHandle)
        return tr("Not Active");
    GetConnectStatus();
    if (FLastError >= 600)
        return GetErrorString(FLastError);
    if (FLastError == ERROR_INVALID_HANDLE)
        return tr("Invalid Handle");
    if (FLastError == ERROR_NOT_ENOUGH_MEMORY)
        return tr("Not enough memory");
    if (FLastError != 0)
        return QString();
    if (FConnectState == RASCS_ConnectDevice)
        return tr("Using Device: ") + FDeviceName + " - " + FDeviceType;
    const StateRow* row = findState(FConnectState);
    return row ? QCoreApplication::translate("TRAS", row->text) : QString();
}

namespace
{
// The service's text for any code; it comes in the locale's 8-bit encoding,
// as the ANSI call gives it.
QString serviceText(std::int32_t code)
{
    char buffer[257] = {};
    if (RasGetErrorStringA(static_cast<UINT>(code), buffer, 256) != 0)
        return {};
    return QString::fromLocal8Bit(buffer);
}
} // namespace

QString TRAS::GetErrorString(std::int32_t Code)
{
    if (!FConnHandle)
        return QString();
    const QString text = serviceText(Code);
    return text.isEmpty() ? tr("Status Unknown") : text;
}

QString TRAS::ErrorText(std::int32_t Code)
{
    if (Code <= static_cast<std::int32_t>(ERROR_INVALID_PORT_HANDLE))
        return {};
    return serviceText(Code);
}
