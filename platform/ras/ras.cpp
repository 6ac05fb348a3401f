// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The Ras* calls over the chosen backend: argument checks, records, handles,
// the delivery of dial steps to notifier windows, observers and the trace.
#include "platform/ras/ras.h"

#include "platform/ras/ras_backend.h"
#include "platform/system/system.h"
#include "platform/system/trace.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLoggingCategory>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>

Q_LOGGING_CATEGORY(lcRas, "kivo.ras")

namespace kivo::ras
{
namespace
{

// Fixed number of the dial-progress message when registration fails.
constexpr UINT WM_RASDIALEVENT = 0xCCCD;

const QEvent::Type kStepEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

struct StepEvent : QEvent {
    StepEvent(std::uint32_t h, DWORD s, DWORD e) : QEvent(kStepEvent), handle(h), state(s), error(e) {}
    std::uint32_t handle;
    DWORD state;
    DWORD error;
};

struct HandleRec {
    ConnId id = 0;
    bool own = false; // dialled through RasDialA (others are found by RasEnumConnectionsA)
    HWND notifier = nullptr;
    UINT message = 0;
    std::string entry;
    bool ended = false;                 // observers were told
    std::optional<ConnStatus> lineDown; // set by DisconnectLine: the backend has let go
};

void deliver(const StepEvent& step);

// Steps go through the event queue of the layer's thread rather than
// straight to the window, so that the backend is never re-entered from a
// handler (a handler may hang up) and so that the liveness of the handle
// is decided when the step is handed over, not when it was reported.
class Relay : public QObject
{
  public:
    bool event(QEvent* e) override
    {
        if (e->type() != kStepEvent)
            return QObject::event(e);
        deliver(*static_cast<StepEvent*>(e));
        return true;
    }
};

struct Layer {
    std::unique_ptr<RasBackend> backend;
    std::string reason;
    QThread* thread = nullptr;
    Relay* relay = nullptr;
    std::map<std::uint32_t, HandleRec> handles;
    std::map<ConnId, std::uint32_t> byConn;
    // Handles are never reused; they start high enough not to look like
    // small integers in a trace.
    std::uint32_t nextHandle = 0x4B490000;
    UINT dialMessage = 0;
    std::map<int, ConnectionObserver> observers;
    int nextObserver = 1;
};

// Lives for the whole process: handles and observers may be touched from
// static destructors of other units, and the backend is shut down with the
// application instead.
Layer& layer()
{
    static Layer* l = new Layer;
    return *l;
}

std::string hex(std::uint64_t v)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

std::string hex(HRASCONN h)
{
    return hex(h.value());
}

std::string fieldText(const char* field, std::size_t size)
{
    return std::string(field, strnlen(field, size));
}

template <std::size_t N> void setField(char (&field)[N], std::string_view text)
{
    std::memset(field, 0, N);
    const std::string cut = cutText(text, N - 1);
    std::memcpy(field, cut.data(), cut.size());
}

void shutdown()
{
    Layer& l = layer();
    l.handles.clear();
    l.byConn.clear();
    l.backend.reset();
    delete l.relay;
    l.relay = nullptr;
    l.thread = nullptr;
}

// The first caller's thread becomes the layer's; false on any other.
bool onLayerThread(const char* call)
{
    Layer& l = layer();
    QThread* current = QThread::currentThread();
    if (!l.thread) {
        l.thread = current;
        l.relay = new Relay;
        if (QCoreApplication::instance())
            qAddPostRoutine(shutdown);
    }
    if (l.thread == current)
        return true;
    qCWarning(lcRas, "%s called from a thread other than the one that first used the RAS layer", call);
    return false;
}

void invalidateAll(Layer& l)
{
    std::vector<std::uint32_t> unended;
    for (auto& [h, rec] : l.handles)
        if (rec.own && !rec.ended)
            unended.push_back(h);
    l.handles.clear();
    l.byConn.clear();
    for (std::uint32_t h : unended)
        for (auto& [id, o] : std::map(l.observers))
            if (o.ended)
                o.ended(HRASCONN(h));
}

void onReport(ConnId id, DWORD state, DWORD error)
{
    Layer& l = layer();
    auto it = l.byConn.find(id);
    if (it == l.byConn.end() || !l.relay) {
        if (trace::enabled())
            trace::line("RasDialEvent(conn=" + std::to_string(id) + ", state=" + std::to_string(state) +
                        ", error=" + std::to_string(error) + ") dropped: no live handle");
        return;
    }
    QCoreApplication::postEvent(l.relay, new StepEvent(it->second, state, error));
}

void setBackend(std::unique_ptr<RasBackend> backend, std::string reason)
{
    Layer& l = layer();
    invalidateAll(l);
    l.backend = std::move(backend);
    l.reason = std::move(reason);
    if (l.backend) {
        l.backend->setProgressSink(onReport);
        if (trace::enabled())
            trace::line("RasBackend(" + trace::quote(l.backend->name()) + ") reason=" +
                        trace::quote(l.reason) + " using=" + trace::quote(l.backend->describe()));
    }
}

RasBackend& backend()
{
    Layer& l = layer();
    if (!l.backend) {
        BackendChoice c = chooseBackend();
        setBackend(std::move(c.backend), std::move(c.reason));
    }
    return *l.backend;
}

std::uint32_t newHandle(Layer& l, const HandleRec& rec)
{
    if (++l.nextHandle == 0)
        ++l.nextHandle;
    l.handles[l.nextHandle] = rec;
    l.byConn[rec.id] = l.nextHandle;
    return l.nextHandle;
}

// Marks a dialled handle as ended and tells the observers, once.
void endHandle(std::uint32_t h, HandleRec& rec)
{
    if (!rec.own || rec.ended)
        return;
    rec.ended = true;
    for (auto& [id, o] : std::map(layer().observers))
        if (o.ended)
            o.ended(HRASCONN(h));
}

void deliver(const StepEvent& step)
{
    Layer& l = layer();
    const std::string what = "RasDialEvent(hrasconn=" + hex(step.handle) +
                             ", state=" + std::to_string(step.state) +
                             ", error=" + std::to_string(step.error) + ")";
    auto it = l.handles.find(step.handle);
    if (it == l.handles.end()) {
        if (trace::enabled())
            trace::line(what + " dropped: hung up");
        return;
    }
    const HRASCONN handle(step.handle);
    const std::string entry = it->second.entry;
    if (step.error != 0 || step.state == RASCS_Disconnected) {
        endHandle(step.handle, it->second);
    } else if (it->second.own && (step.state == RASCS_DeviceConnected || step.state == RASCS_Connected)) {
        for (auto& [id, o] : std::map(l.observers)) {
            auto& fn = step.state == RASCS_Connected ? o.connected : o.deviceConnected;
            if (fn)
                fn(handle, entry);
        }
    }
    // An observer may have hung up.
    it = l.handles.find(step.handle);
    if (it == l.handles.end()) {
        if (trace::enabled())
            trace::line(what + " dropped: hung up");
        return;
    }
    const HWND notifier = it->second.notifier;
    const UINT message = it->second.message;
    if (trace::enabled())
        trace::line(what + " -> notifier=" + hex(reinterpret_cast<std::uintptr_t>(notifier)));
    if (notifier)
        sys::DispatchNow(notifier, message, step.state, static_cast<LPARAM>(step.error));
}

UINT dialMessage()
{
    Layer& l = layer();
    if (!l.dialMessage) {
        l.dialMessage = RegisterWindowMessageA("RASDialEvent");
        if (!l.dialMessage)
            l.dialMessage = WM_RASDIALEVENT;
    }
    return l.dialMessage;
}

// Entry names longer than a record can hold cannot be dialled back by name,
// so they are left out rather than cut.
std::vector<std::string> usableNames(std::vector<std::string> names)
{
    std::erase_if(names, [](const std::string& n) {
        if (n.size() <= RAS_MaxEntryName)
            return false;
        qCWarning(lcRas, "phonebook entry name longer than %d bytes left out: %s...", RAS_MaxEntryName,
                  trace::escape(cutText(n, 40)).c_str());
        return true;
    });
    return names;
}

} // namespace

std::string cutText(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return std::string(text);
    std::size_t n = maxBytes;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return std::string(text.substr(0, n));
}

void installBackend(std::unique_ptr<RasBackend> backend, std::string reason)
{
    onLayerThread("installBackend");
    setBackend(std::move(backend), std::move(reason));
}

int addConnectionObserver(ConnectionObserver observer)
{
    Layer& l = layer();
    const int id = l.nextObserver++;
    l.observers[id] = std::move(observer);
    return id;
}

void removeConnectionObserver(int id)
{
    layer().observers.erase(id);
}

std::string backendName()
{
    if (!onLayerThread("backendName"))
        return {};
    return backend().name();
}

std::string backendReason()
{
    if (!onLayerThread("backendReason"))
        return {};
    RasBackend& b = backend();
    return layer().reason + "; " + b.describe();
}

DWORD DisconnectLine(HRASCONN hrasconn)
{
    DWORD result = ERROR_INVALID_HANDLE;
    if (!onLayerThread("DisconnectLine")) {
        result = ERROR_INVALID_PARAMETER;
    } else {
        Layer& l = layer();
        auto it = l.handles.find(hrasconn.value());
        if (it != l.handles.end() && it->second.own && !it->second.ended && !it->second.lineDown) {
            HandleRec& rec = it->second;
            ConnStatus st;
            backend().status(rec.id, st);
            backend().hangUp(rec.id);
            l.byConn.erase(rec.id);
            st.state = RASCS_Disconnected;
            st.error = ERROR_USER_DISCONNECTION;
            rec.lineDown = st;
            QCoreApplication::postEvent(
                l.relay, new StepEvent(hrasconn.value(), RASCS_Disconnected, ERROR_USER_DISCONNECTION));
            result = 0;
        }
    }
    if (trace::enabled())
        trace::line("DisconnectLine(hrasconn=" + hex(hrasconn) + ") = " + std::to_string(result));
    return result;
}

} // namespace kivo::ras

using namespace kivo;
using namespace kivo::ras;

DWORD RasDialA(LPRASDIALEXTENSIONS lpRasDialExtensions, LPCSTR lpszPhonebook, LPRASDIALPARAMS lpRasDialParams,
               DWORD dwNotifierType, LPVOID lpvNotifier, LPHRASCONN lphRasConn)
{
    DWORD result = 0;
    HRASCONN handle = nullptr;
    DialRequest req;
    if (lpRasDialParams && lpRasDialParams->dwSize == sizeof(RASDIALPARAMS)) {
        const RASDIALPARAMS& p = *lpRasDialParams;
        req.phoneBook = lpszPhonebook ? lpszPhonebook : "";
        req.entryName = fieldText(p.szEntryName, sizeof p.szEntryName);
        req.phoneNumber = fieldText(p.szPhoneNumber, sizeof p.szPhoneNumber);
        req.callbackNumber = fieldText(p.szCallbackNumber, sizeof p.szCallbackNumber);
        req.userName = fieldText(p.szUserName, sizeof p.szUserName);
        req.password = fieldText(p.szPassword, sizeof p.szPassword);
        req.domain = fieldText(p.szDomain, sizeof p.szDomain);
    }
    const HWND notifier = static_cast<HWND>(lpvNotifier);
    if (!onLayerThread("RasDialA") || !lpRasDialParams || !lphRasConn)
        result = ERROR_INVALID_PARAMETER;
    else if (lpRasDialParams->dwSize != sizeof(RASDIALPARAMS))
        result = ERROR_INVALID_SIZE;
    else if (dwNotifierType != RASNOTIFIER_HWND || !sys::IsHiddenWindow(notifier) || *lphRasConn)
        result = ERROR_INVALID_PARAMETER;
    if (result == 0) {
        ConnId id = 0;
        result = backend().dial(req, id);
        if (result == 0) {
            HandleRec rec;
            rec.id = id;
            rec.own = true;
            rec.notifier = notifier;
            rec.message = dialMessage();
            rec.entry = req.entryName;
            handle = HRASCONN(newHandle(layer(), rec));
            *lphRasConn = handle;
        }
    }
    if (trace::enabled())
        trace::line(
            "RasDialA(ext=" + hex(reinterpret_cast<std::uintptr_t>(lpRasDialExtensions)) +
            ", phonebook=" + trace::quote(lpszPhonebook) + ", entry=" + trace::quote(req.entryName) +
            ", phone=" + trace::quote(req.phoneNumber) + ", callback=" + trace::quote(req.callbackNumber) +
            ", user=" + trace::quote(req.userName) + ", password=" + (req.password.empty() ? "\"\"" : "***") +
            ", domain=" + trace::quote(req.domain) + ", notifierType=" + hex(dwNotifierType) +
            ", notifier=" + hex(reinterpret_cast<std::uintptr_t>(lpvNotifier)) +
            ") = " + std::to_string(result) + " hrasconn=" + hex(handle));
    std::fill(req.password.begin(), req.password.end(), '\0');
    return result;
}

DWORD RasHangUpA(HRASCONN hrasconn)
{
    DWORD result = ERROR_INVALID_HANDLE;
    if (!onLayerThread("RasHangUpA")) {
        result = ERROR_INVALID_PARAMETER;
    } else {
        Layer& l = layer();
        auto it = l.handles.find(hrasconn.value());
        if (it != l.handles.end()) {
            HandleRec rec = it->second;
            l.handles.erase(it);
            if (!rec.lineDown) {
                l.byConn.erase(rec.id);
                result = backend().hangUp(rec.id);
                // The layer knew the handle, so it is gone now whatever the
                // backend remembered of it.
                if (result == ERROR_INVALID_HANDLE)
                    result = 0;
            } else {
                result = 0;
            }
            endHandle(hrasconn.value(), rec);
        }
    }
    if (trace::enabled())
        trace::line("RasHangUpA(hrasconn=" + hex(hrasconn) + ") = " + std::to_string(result));
    return result;
}

DWORD RasGetConnectStatusA(HRASCONN hrasconn, LPRASCONNSTATUS lprasconnstatus)
{
    DWORD result = 0;
    ConnStatus st;
    if (!onLayerThread("RasGetConnectStatusA") || !lprasconnstatus) {
        result = ERROR_INVALID_PARAMETER;
    } else if (lprasconnstatus->dwSize != sizeof(RASCONNSTATUS)) {
        result = ERROR_INVALID_SIZE;
    } else {
        Layer& l = layer();
        auto it = l.handles.find(hrasconn.value());
        if (it == l.handles.end())
            result = ERROR_INVALID_HANDLE;
        else if (it->second.lineDown)
            st = *it->second.lineDown;
        else
            result = backend().status(it->second.id, st);
    }
    if (result == 0) {
        lprasconnstatus->rasconnstate = static_cast<RASCONNSTATE>(st.state);
        lprasconnstatus->dwError = st.error;
        setField(lprasconnstatus->szDeviceType, st.deviceType);
        setField(lprasconnstatus->szDeviceName, st.deviceName);
    }
    if (trace::enabled())
        trace::line("RasGetConnectStatusA(hrasconn=" + hex(hrasconn) + ") = " + std::to_string(result) +
                    (result == 0 ? " state=" + std::to_string(st.state) + " error=" +
                                       std::to_string(st.error) + " type=" + trace::quote(st.deviceType) +
                                       " device=" + trace::quote(st.deviceName)
                                 : std::string()));
    return result;
}

DWORD RasEnumEntriesA(LPCSTR reserved, LPCSTR lpszPhonebook, LPRASENTRYNAME lprasentryname, LPDWORD lpcb,
                      LPDWORD lpcEntries)
{
    DWORD result = 0;
    const DWORD cbIn = lpcb ? *lpcb : 0;
    DWORD written = 0;
    if (!onLayerThread("RasEnumEntriesA") || reserved || !lpcb || !lpcEntries || (!lprasentryname && *lpcb))
        result = ERROR_INVALID_PARAMETER;
    else if (lprasentryname && lprasentryname->dwSize != sizeof(RASENTRYNAME))
        result = ERROR_INVALID_SIZE;
    if (result == 0) {
        std::vector<std::string> names;
        result = backend().entries(lpszPhonebook ? lpszPhonebook : "", names);
        if (result == 0) {
            names = usableNames(std::move(names));
            const std::size_t room = lprasentryname ? *lpcb / sizeof(RASENTRYNAME) : 0;
            for (; written < names.size() && written < room; ++written) {
                RASENTRYNAME& r = lprasentryname[written];
                r.dwSize = sizeof(RASENTRYNAME);
                setField(r.szEntryName, names[written]);
            }
            *lpcb = static_cast<DWORD>(names.size() * sizeof(RASENTRYNAME));
            if (written < names.size())
                result = ERROR_BUFFER_TOO_SMALL;
        }
        *lpcEntries = written;
    }
    if (trace::enabled())
        trace::line("RasEnumEntriesA(reserved=" + hex(reinterpret_cast<std::uintptr_t>(reserved)) +
                    ", phonebook=" + trace::quote(lpszPhonebook) + ", cb=" + std::to_string(cbIn) +
                    ") = " + std::to_string(result) + " entries=" + std::to_string(written) +
                    " cb=" + std::to_string(lpcb ? *lpcb : 0));
    return result;
}

DWORD RasEnumConnectionsA(LPRASCONN lprasconn, LPDWORD lpcb, LPDWORD lpcConnections)
{
    DWORD result = 0;
    const DWORD cbIn = lpcb ? *lpcb : 0;
    DWORD written = 0;
    if (!onLayerThread("RasEnumConnectionsA") || !lpcb || !lpcConnections || (!lprasconn && *lpcb))
        result = ERROR_INVALID_PARAMETER;
    else if (lprasconn && lprasconn->dwSize != sizeof(RASCONN))
        result = ERROR_INVALID_SIZE;
    if (result == 0) {
        Layer& l = layer();
        std::vector<ConnInfo> conns = backend().connections();
        // Connections this process did not dial get a handle the first time
        // they are seen and lose it when they are gone.
        std::vector<std::uint32_t> listed;
        for (const ConnInfo& c : conns) {
            auto it = l.byConn.find(c.id);
            if (it != l.byConn.end()) {
                listed.push_back(it->second);
                continue;
            }
            HandleRec rec;
            rec.id = c.id;
            rec.entry = c.entryName;
            listed.push_back(newHandle(l, rec));
        }
        for (auto it = l.handles.begin(); it != l.handles.end();) {
            if (!it->second.own && std::find(listed.begin(), listed.end(), it->first) == listed.end()) {
                l.byConn.erase(it->second.id);
                it = l.handles.erase(it);
            } else {
                ++it;
            }
        }
        const std::size_t room = lprasconn ? *lpcb / sizeof(RASCONN) : 0;
        for (; written < conns.size() && written < room; ++written) {
            RASCONN& r = lprasconn[written];
            std::memset(&r, 0, sizeof r);
            r.dwSize = sizeof(RASCONN);
            r.hrasconn = HRASCONN(listed[written]);
            setField(r.szEntryName, conns[written].entryName);
            setField(r.szDeviceType, conns[written].deviceType);
            setField(r.szDeviceName, conns[written].deviceName);
        }
        *lpcb = static_cast<DWORD>(conns.size() * sizeof(RASCONN));
        if (written < conns.size())
            result = ERROR_BUFFER_TOO_SMALL;
        *lpcConnections = written;
    }
    if (trace::enabled()) {
        std::string line = "RasEnumConnectionsA(cb=" + std::to_string(cbIn) +
                           ") = " + std::to_string(result) + " connections=" + std::to_string(written);
        for (DWORD i = 0; i < written; ++i)
            line += " " + hex(lprasconn[i].hrasconn) + "=" + trace::quote(lprasconn[i].szEntryName);
        trace::line(line);
    }
    return result;
}
