// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The Remote Access Service calls (8-bit variants) with the Windows 95
// record layouts, over a RasBackend chosen at first use (ras_factory.cpp):
// KIVO95_RAS=sim|pppd|nm, else the first backend that is available, else the
// simulated service with the user's or the demo phonebook.
//
// All calls but RasGetErrorStringA belong to one thread: the thread that made
// the first call (the GUI thread). Dials run on that thread's event loop, and
// calls from any other thread are refused with ERROR_INVALID_PARAMETER.
//
// Dial-progress notifications. RasDialA takes a hidden utility window
// (platform/system/system.h) as notifier, type 0xFFFFFFFF. Every step of the dial is
// delivered to it as the message given by RegisterWindowMessageA
// ("RASDialEvent"), wParam = RASCONNSTATE, lParam = error (0 when the step
// succeeded), in the order the service reported them, whenever the owner
// thread processes its events. They are queued through the layer itself and
// handed to the window at delivery time only while the handle is still live,
// so nothing arrives for a handle that was hung up, not even a step that
// was already waiting in the queue at the time of the hang-up.
//
// Differences from Windows, on purpose:
// - only a window notifier is supported; a null notifier (a synchronous
//   dial) or a callback gives ERROR_INVALID_PARAMETER, and so does a
//   non-null *lphRasConn (resuming a paused dial);
// - a dial that fails at once writes no handle;
// - the enumerations write as many records as fit and report that number
//   together with ERROR_BUFFER_TOO_SMALL when more were there; the size
//   variable then holds the size all of them need;
// - handles are never reused within a process; a stale one gives
//   ERROR_INVALID_HANDLE;
// - the connection list holds dials under way and made connections; a dial
//   that failed or a line that dropped leaves it at once, but its handle
//   keeps its final status until it is hung up.
#pragma once

#include "platform/system/win32types.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

// An opaque 32-bit connection handle, as on 32-bit Windows. A class rather
// than a pointer so that it keeps its four bytes inside the records on a
// 64-bit build; it compares with nullptr and tests as a bool like a handle.
// Like a pointer it is trivial, so records holding it can be zeroed with
// memset, and a default-initialized one is indeterminate.
class HRASCONN
{
  public:
    HRASCONN() = default;
    constexpr HRASCONN(std::nullptr_t) : m_value(0) {}
    constexpr explicit HRASCONN(std::uint32_t value) : m_value(value) {}
    constexpr explicit operator bool() const { return m_value != 0; }
    constexpr std::uint32_t value() const { return m_value; }
    friend constexpr bool operator==(HRASCONN, HRASCONN) = default;

  private:
    std::uint32_t m_value;
};
static_assert(sizeof(HRASCONN) == 4 && alignof(HRASCONN) == 4);
static_assert(std::is_trivial_v<HRASCONN>);
using LPHRASCONN = HRASCONN*;

// ---- lengths of the Windows 95 records (without the terminating NUL) ----
constexpr int RAS_MaxEntryName = 256;
constexpr int RAS_MaxDeviceType = 16;
constexpr int RAS_MaxDeviceName = 128;
constexpr int RAS_MaxPhoneNumber = 128;
constexpr int RAS_MaxCallbackNumber = RAS_MaxPhoneNumber;
constexpr int UNLEN = 256;
constexpr int PWLEN = 256;
constexpr int DNLEN = 15;

// ---- connection states ----
constexpr DWORD RASCS_PAUSED = 0x1000;
constexpr DWORD RASCS_DONE = 0x2000;

enum RASCONNSTATE : DWORD {
    RASCS_OpenPort = 0,
    RASCS_PortOpened,
    RASCS_ConnectDevice,
    RASCS_DeviceConnected,
    RASCS_AllDevicesConnected,
    RASCS_Authenticate,
    RASCS_AuthNotify,
    RASCS_AuthRetry,
    RASCS_AuthCallback,
    RASCS_AuthChangePassword,
    RASCS_AuthProject,
    RASCS_AuthLinkSpeed,
    RASCS_AuthAck,
    RASCS_ReAuthenticate,
    RASCS_Authenticated,
    RASCS_PrepareForCallback,
    RASCS_WaitForModemReset,
    RASCS_WaitForCallback,
    RASCS_Projected,
    RASCS_Interactive = RASCS_PAUSED,
    RASCS_RetryAuthentication,
    RASCS_CallbackSetByCaller,
    RASCS_PasswordExpired,
    RASCS_Connected = RASCS_DONE,
    RASCS_Disconnected,
};

// ---- records (Windows 95 layouts, 8-bit characters) ----
// Every member is a DWORD-sized value or a char array, so natural alignment
// gives exactly the Windows offsets on x86 and x86_64 alike; the asserts
// below keep it so.

struct RASENTRYNAME {
    DWORD dwSize;
    CHAR szEntryName[RAS_MaxEntryName + 1];
};
using RASENTRYNAMEA = RASENTRYNAME;
using LPRASENTRYNAME = RASENTRYNAME*;
using LPRASENTRYNAMEA = RASENTRYNAME*;
static_assert(sizeof(RASENTRYNAME) == 264);
static_assert(offsetof(RASENTRYNAME, dwSize) == 0);
static_assert(offsetof(RASENTRYNAME, szEntryName) == 4);

struct RASCONN {
    DWORD dwSize;
    HRASCONN hrasconn;
    CHAR szEntryName[RAS_MaxEntryName + 1];
    CHAR szDeviceType[RAS_MaxDeviceType + 1];
    CHAR szDeviceName[RAS_MaxDeviceName + 1];
};
using RASCONNA = RASCONN;
using LPRASCONN = RASCONN*;
using LPRASCONNA = RASCONN*;
static_assert(sizeof(RASCONN) == 412);
static_assert(offsetof(RASCONN, dwSize) == 0);
static_assert(offsetof(RASCONN, hrasconn) == 4);
static_assert(offsetof(RASCONN, szEntryName) == 8);
static_assert(offsetof(RASCONN, szDeviceType) == 265);
static_assert(offsetof(RASCONN, szDeviceName) == 282);

struct RASDIALPARAMS {
    DWORD dwSize;
    CHAR szEntryName[RAS_MaxEntryName + 1];
    CHAR szPhoneNumber[RAS_MaxPhoneNumber + 1];
    CHAR szCallbackNumber[RAS_MaxCallbackNumber + 1];
    CHAR szUserName[UNLEN + 1];
    CHAR szPassword[PWLEN + 1];
    CHAR szDomain[DNLEN + 1];
};
using RASDIALPARAMSA = RASDIALPARAMS;
using LPRASDIALPARAMS = RASDIALPARAMS*;
using LPRASDIALPARAMSA = RASDIALPARAMS*;
static_assert(sizeof(RASDIALPARAMS) == 1052);
static_assert(offsetof(RASDIALPARAMS, dwSize) == 0);
static_assert(offsetof(RASDIALPARAMS, szEntryName) == 4);
static_assert(offsetof(RASDIALPARAMS, szPhoneNumber) == 261);
static_assert(offsetof(RASDIALPARAMS, szCallbackNumber) == 390);
static_assert(offsetof(RASDIALPARAMS, szUserName) == 519);
static_assert(offsetof(RASDIALPARAMS, szPassword) == 776);
static_assert(offsetof(RASDIALPARAMS, szDomain) == 1033);

struct RASCONNSTATUS {
    DWORD dwSize;
    RASCONNSTATE rasconnstate;
    DWORD dwError;
    CHAR szDeviceType[RAS_MaxDeviceType + 1];
    CHAR szDeviceName[RAS_MaxDeviceName + 1];
};
using RASCONNSTATUSA = RASCONNSTATUS;
using LPRASCONNSTATUS = RASCONNSTATUS*;
using LPRASCONNSTATUSA = RASCONNSTATUS*;
static_assert(sizeof(RASCONNSTATE) == 4);
static_assert(sizeof(RASCONNSTATUS) == 160);
static_assert(offsetof(RASCONNSTATUS, dwSize) == 0);
static_assert(offsetof(RASCONNSTATUS, rasconnstate) == 4);
static_assert(offsetof(RASCONNSTATUS, dwError) == 8);
static_assert(offsetof(RASCONNSTATUS, szDeviceType) == 12);
static_assert(offsetof(RASCONNSTATUS, szDeviceName) == 29);

// Dial extensions are accepted and ignored.
struct RASDIALEXTENSIONS;
using LPRASDIALEXTENSIONS = RASDIALEXTENSIONS*;

// Notifier types of RasDialA; only the window is supported.
constexpr DWORD RASDIALFUNC_NOTIFIER = 0;
constexpr DWORD RASDIALFUNC1_NOTIFIER = 1;
constexpr DWORD RASDIALFUNC2_NOTIFIER = 2;
constexpr DWORD RASNOTIFIER_HWND = 0xFFFFFFFF;

// ---- result codes ----
// Codes below 600 are the system's (platform/system/win32types.h); RAS codes start
// at 600. Each has a text in ras_errors.cpp.
constexpr DWORD RASBASE = 600;
constexpr DWORD PENDING = 600;
constexpr DWORD ERROR_INVALID_PORT_HANDLE = 601;
constexpr DWORD ERROR_PORT_ALREADY_OPEN = 602;
constexpr DWORD ERROR_BUFFER_TOO_SMALL = 603;
constexpr DWORD ERROR_DEVICE_DOES_NOT_EXIST = 608;
constexpr DWORD ERROR_BUFFER_INVALID = 610;
// No network to reach the other end over (a VPN whose base connection is
// not up).
constexpr DWORD ERROR_ROUTE_NOT_AVAILABLE = 611;
constexpr DWORD ERROR_PORT_NOT_CONNECTED = 619;
constexpr DWORD ERROR_CANNOT_OPEN_PHONEBOOK = 621;
constexpr DWORD ERROR_CANNOT_LOAD_PHONEBOOK = 622;
constexpr DWORD ERROR_CANNOT_FIND_PHONEBOOK_ENTRY = 623;
constexpr DWORD ERROR_PORT_DISCONNECTED = 628;
constexpr DWORD ERROR_REMOTE_DISCONNECTION = 629;
constexpr DWORD ERROR_USER_DISCONNECTION = 631;
constexpr DWORD ERROR_INVALID_SIZE = 632;
constexpr DWORD ERROR_PORT_NOT_AVAILABLE = 633;
constexpr DWORD ERROR_REQUEST_TIMEOUT = 638;
// Windows' text speaks of dialling in; here it is this user who may not dial
// out (NetworkManager's polkit refuses, or pppd may not be run).
constexpr DWORD ERROR_NO_DIALIN_PERMISSION = 649;
constexpr DWORD ERROR_FROM_DEVICE = 651;
constexpr DWORD ERROR_LINE_BUSY = 676;
constexpr DWORD ERROR_VOICE_ANSWER = 677;
constexpr DWORD ERROR_NO_ANSWER = 678;
constexpr DWORD ERROR_NO_CARRIER = 679;
constexpr DWORD ERROR_NO_DIALTONE = 680;
constexpr DWORD ERROR_AUTHENTICATION_FAILURE = 691;
constexpr DWORD ERROR_HARDWARE_FAILURE = 692;
// The dial-up service (NetworkManager) is not on the bus or the bus is not there.
constexpr DWORD ERROR_RASMAN_CANNOT_INITIALIZE = 711;
constexpr DWORD ERROR_IP_CONFIGURATION = 716;
constexpr DWORD ERROR_PPP_TIMEOUT = 718;
// PPP itself is missing on this computer: the kernel has no PPP support
// (pppd cannot open /dev/ppp, or the line cannot take PPP's line discipline).
constexpr DWORD ERROR_PROTOCOL_NOT_CONFIGURED = 731;
constexpr DWORD ERROR_PPP_LCP_TERMINATED = 734;
constexpr DWORD ERROR_PPP_LOOPBACK_DETECTED = 737;
constexpr DWORD ERROR_UNABLE_TO_AUTHENTICATE_SERVER = 778;

// ---- the calls ----

// Starts an asynchronous dial of lpRasDialParams->szEntryName from the
// phonebook lpszPhonebook (null: the backend's default phonebook). The
// phone number, callback number, user name, password and domain of the
// record are passed to the backend; an empty phone number means the
// entry's own. On 0 the new handle is in *lphRasConn and the progress
// notifications follow on lpvNotifier. Errors: ERROR_INVALID_PARAMETER,
// ERROR_INVALID_SIZE (dwSize is not 1052), ERROR_CANNOT_OPEN_PHONEBOOK,
// ERROR_CANNOT_FIND_PHONEBOOK_ENTRY and whatever the backend refuses with.
DWORD RasDialA(LPRASDIALEXTENSIONS lpRasDialExtensions, LPCSTR lpszPhonebook, LPRASDIALPARAMS lpRasDialParams,
               DWORD dwNotifierType, LPVOID lpvNotifier, LPHRASCONN lphRasConn);

// Ends the dial or connection; the handle is invalid from then on and no
// further notification is delivered for it. ERROR_INVALID_HANDLE for a
// null or stale handle.
DWORD RasHangUpA(HRASCONN hrasconn);

// Fills *lprasconnstatus (dwSize must be 160) with the state, the error and
// the device of the connection. On failure (ERROR_INVALID_HANDLE,
// ERROR_INVALID_SIZE, ERROR_INVALID_PARAMETER) the record is left untouched.
DWORD RasGetConnectStatusA(HRASCONN hrasconn, LPRASCONNSTATUS lprasconnstatus);

// Copies the one-line text of a result code into lpszString (at most
// InBufSize bytes with the NUL). ERROR_INVALID_PARAMETER for a code without
// a text (the buffer is left untouched) or a null buffer;
// ERROR_BUFFER_TOO_SMALL when the text does not fit (Windows says
// ERROR_INSUFFICIENT_BUFFER). Every text is one line shorter than 256
// bytes. Any thread.
DWORD RasGetErrorStringA(UINT ResourceId, LPSTR lpszString, DWORD InBufSize);

// Lists the entries of the phonebook (null: the default one). lpcb holds the
// buffer size in and the size needed for all entries out; lpcEntries the
// number of records written. reserved must be null; the first record's
// dwSize must be 264.
DWORD RasEnumEntriesA(LPCSTR reserved, LPCSTR lpszPhonebook, LPRASENTRYNAME lprasentryname, LPDWORD lpcb,
                      LPDWORD lpcEntries);

// Lists the connections of the service, dials under way included. The
// first record's dwSize must be 412; sizes and counts as RasEnumEntriesA.
DWORD RasEnumConnectionsA(LPRASCONN lprasconn, LPDWORD lpcb, LPDWORD lpcConnections);

// ---- for the rest of the program ----

namespace kivo::ras
{

// Follows every connection dialled through RasDialA, whatever the backend
// (the dial-up windows use it). Called on the layer's thread when the
// step is delivered, before the notifier window gets it:
// - deviceConnected: the dial reached RASCS_DeviceConnected;
// - connected: the dial reached RASCS_Connected;
// - ended: once per dialled handle, when the dial failed, the line dropped
//   or the handle was hung up, whichever came first.
// A member left empty is not called.
struct ConnectionObserver {
    std::function<void(HRASCONN, const std::string& entryName)> deviceConnected;
    std::function<void(HRASCONN, const std::string& entryName)> connected;
    std::function<void(HRASCONN)> ended;
};
int addConnectionObserver(ConnectionObserver observer);
void removeConnectionObserver(int id);

// Ends the line of a connection as its remote side would: the backend hangs
// up, but the handle stays valid with state RASCS_Disconnected and error
// ERROR_USER_DISCONNECTION until its owner hangs it up, and the owner's
// notifier gets that step. For a Disconnect button that is not the owner's
// own: the owner then sees the end through its usual status polling.
// ERROR_INVALID_HANDLE for a null, stale or already ended handle.
DWORD DisconnectLine(HRASCONN hrasconn);

// The backend in use ("sim", "pppd", "nm") and why it was chosen, for the
// trace and the about box. Chooses the backend when none is chosen yet.
std::string backendName();
std::string backendReason();

// A UTF-8 text cut to at most maxBytes without splitting a character: how
// texts longer than a record's field are shortened.
std::string cutText(std::string_view text, std::size_t maxBytes);

} // namespace kivo::ras
