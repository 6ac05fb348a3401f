// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Inside the NetworkManager backend: how the states NetworkManager reports
// for an active connection, its VPN side and its device become the steps of
// a RAS dial (ras_nm_states.cpp). No D-Bus here; the backend (ras_nm.cpp)
// receives the signals and hands their numbers to these functions.
//
// NetworkManager's activation skips steps that a modem dial has (a VPN has no
// dial tone, a quick link reaches "activated" at once): the steps in between
// are reported too, so that the layer's callers always see the whole ladder
// in order up to where the connection is.
#pragma once

#include "platform/ras/nm/ras_nm.h"

#include <functional>

namespace kivo::ras::nm
{

// NMActiveConnectionState
constexpr unsigned kActiveActivating = 1;
constexpr unsigned kActiveActivated = 2;
constexpr unsigned kActiveDeactivating = 3;
constexpr unsigned kActiveDeactivated = 4;

// NMVpnConnectionState
constexpr unsigned kVpnPrepare = 1;
constexpr unsigned kVpnNeedAuth = 2;
constexpr unsigned kVpnConnect = 3;
constexpr unsigned kVpnIpConfigGet = 4;
constexpr unsigned kVpnActivated = 5;
constexpr unsigned kVpnFailed = 6;
constexpr unsigned kVpnDisconnected = 7;

// NMDeviceState
constexpr unsigned kDeviceUnknown = 0;
constexpr unsigned kDeviceUnmanaged = 10;
constexpr unsigned kDeviceUnavailable = 20;
constexpr unsigned kDeviceDisconnected = 30;
constexpr unsigned kDevicePrepare = 40;
constexpr unsigned kDeviceConfig = 50;
constexpr unsigned kDeviceNeedAuth = 60;
constexpr unsigned kDeviceIpConfig = 70;
constexpr unsigned kDeviceActivated = 100;
constexpr unsigned kDeviceDeactivating = 110;
constexpr unsigned kDeviceFailed = 120;

// Where one dial stands and what has been told of it.
struct DialProgress {
    DialClimb climb; // the steps reported so far
    DWORD state = RASCS_OpenPort;
    DWORD error = 0;
    DWORD pendingError = 0; // why it is going down, while it goes down
    bool ended = false;     // failure or drop reported: nothing more
};

// Receives what is to be reported of a dial: a step (error 0), or its end
// (the state it ended in, with the error).
using StepSink = std::function<void(DWORD state, DWORD error)>;

// Reports every step after the last one reported up to state.
void advance(DialProgress& d, DWORD state, const StepSink& sink);

// The dial failed, or the line dropped, with the first code that is known
// of: this event's reason, the reason it was going down for, the fallback.
void end(DialProgress& d, DWORD error, DWORD fallback, const StepSink& sink);

// The active connection's StateChanged (state, reason).
void applyActiveState(DialProgress& d, unsigned state, unsigned reason, const StepSink& sink);

// The VPN side's VpnStateChanged (state, reason).
void applyVpnState(DialProgress& d, unsigned state, unsigned reason, const StepSink& sink);

// The device's StateChanged (state, old, reason); old is kDeviceUnknown when
// it is not known (a snapshot of its properties).
void applyDeviceState(DialProgress& d, unsigned state, unsigned old, unsigned reason, const StepSink& sink);

} // namespace kivo::ras::nm
