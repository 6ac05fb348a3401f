// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What stands behind the Ras* calls: one backend per file (ras_sim.cpp, and
// the pppd and NetworkManager ones), chosen by ras_factory.cpp.
//
// A backend is the service itself: it knows the phonebook, dials, follows
// its connections and hangs them up. The layer (ras.cpp) does everything a
// caller of the Ras* calls sees on top of that: argument checks, the record
// layouts and their limits, handles, the notifier window, the trace.
//
// Threading: a backend is created, called and destroyed on the layer's thread
// and does its work on that thread's event loop (timers, child processes,
// D-Bus calls); it never blocks for long and never waits in a loop.
#pragma once

#include "platform/ras/ras.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kivo::ras
{

// What RasDialA hands a backend: the record's texts, already bounded.
struct DialRequest {
    std::string phoneBook; // empty: the backend's default phonebook
    std::string entryName;
    std::string phoneNumber; // empty: the entry's own
    std::string callbackNumber;
    std::string userName;
    std::string password;
    std::string domain;
};

// A backend's name for one of its connections: unique for the backend's
// life, never 0. The layer turns it into an HRASCONN.
using ConnId = std::uint64_t;

struct ConnStatus {
    DWORD state = RASCS_OpenPort; // a RASCONNSTATE
    DWORD error = 0;
    std::string deviceType;
    std::string deviceName;
};

struct ConnInfo {
    ConnId id = 0;
    std::string entryName;
    std::string deviceType;
    std::string deviceName;
};

// The steps every dial goes through, in order, whichever service makes it.
// A backend places what its service tells it on this ladder and reports the
// steps it passed on the way too, so that callers always see the whole of it.
inline constexpr std::array<DWORD, 8> kDialLadder = {
    RASCS_OpenPort,        RASCS_PortOpened,          RASCS_ConnectDevice,
    RASCS_DeviceConnected, RASCS_AllDevicesConnected, RASCS_Authenticate,
    RASCS_Authenticated,   RASCS_Connected,
};

// Where one dial stands on kDialLadder.
class DialClimb
{
  public:
    // Moves up to state and returns the steps passed, in order, state last:
    // none for a state behind the dial or not on the ladder.
    std::vector<DWORD> climb(DWORD state)
    {
        std::vector<DWORD> passed;
        int to = 0;
        while (to < int(kDialLadder.size()) && kDialLadder[to] != state)
            ++to;
        if (to == int(kDialLadder.size()))
            return passed;
        while (m_rung < to)
            passed.push_back(kDialLadder[++m_rung]);
        return passed;
    }

    // The last step reached, RASCS_OpenPort before the first.
    DWORD last() const { return m_rung < 0 ? RASCS_OpenPort : kDialLadder[m_rung]; }

  private:
    int m_rung = -1;
};

class RasBackend
{
  public:
    // Receives each step of a dial as the service reports it.
    using ProgressSink = std::function<void(ConnId id, DWORD state, DWORD error)>;

    virtual ~RasBackend() = default;

    // "sim", "pppd", "nm".
    virtual std::string name() const = 0;
    // What it works on right now, for the trace and the about box
    // ("demo phonebook", "/etc/ppp/peers", ...).
    virtual std::string describe() const = 0;

    // The entry names of a phonebook, in the backend's order. Returns 0 or a
    // RAS error (ERROR_CANNOT_OPEN_PHONEBOOK, ...).
    virtual DWORD entries(const std::string& phoneBook, std::vector<std::string>& names) = 0;

    // Starts a dial and returns at once: 0 with id set, or an error for a
    // dial that cannot start (ERROR_CANNOT_FIND_PHONEBOOK_ENTRY, ...).
    // Every step then goes to the sink, later, from the event loop, never
    // from within dial() or hangUp(): the states in the order they happen,
    // each with error 0; a failure as the state it happened in with its
    // error, and nothing after it; a made connection as RASCS_Connected; a
    // line that drops afterwards as RASCS_Disconnected with its error
    // (ERROR_REMOTE_DISCONNECTION, ERROR_PORT_DISCONNECTED, ...).
    virtual DWORD dial(const DialRequest& request, ConnId& id) = 0;

    // Ends a dial or connection (also one that failed or dropped, to forget
    // it). Nothing is reported for it any more. ERROR_INVALID_HANDLE for an
    // unknown id.
    virtual DWORD hangUp(ConnId id) = 0;

    // The current status of a connection, which stays available after a
    // failure or a drop until hangUp. ERROR_INVALID_HANDLE for an unknown id.
    virtual DWORD status(ConnId id, ConnStatus& status) = 0;

    // The connections that are being dialled or are up: those dialled
    // through this backend and, where the backend can see them, others on
    // the machine (with ids of their own, stable while they last).
    virtual std::vector<ConnInfo> connections() = 0;

    void setProgressSink(ProgressSink sink) { m_sink = std::move(sink); }

  protected:
    void report(ConnId id, DWORD state, DWORD error) const
    {
        if (m_sink)
            m_sink(id, state, error);
    }

  private:
    ProgressSink m_sink;
};

// ---- choosing the backend (ras_factory.cpp) ----

struct BackendChoice {
    std::unique_ptr<RasBackend> backend;
    std::string reason; // "KIVO95_RAS=sim", "no other backend answers", ...
};

// Picks the backend as described in platform/ras/ras.h.
BackendChoice chooseBackend();

// Replaces the layer's backend (tests install one of their own). Every
// handle of the old one becomes stale; nothing more is delivered for them.
// Null goes back to choosing at the next call.
void installBackend(std::unique_ptr<RasBackend> backend, std::string reason);

// ---- the backends ----

// The simulated service over an INI phonebook (ras_sim.cpp).
std::unique_ptr<RasBackend> makeSimBackend();

} // namespace kivo::ras
