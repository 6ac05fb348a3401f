// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// NetworkManager's states as the steps of a RAS dial (ras_nm_states.h).
#include "platform/ras/nm/ras_nm_states.h"

namespace kivo::ras::nm
{

void advance(DialProgress& d, DWORD state, const StepSink& sink)
{
    if (d.ended)
        return;
    for (DWORD step : d.climb.climb(state)) {
        d.state = step;
        sink(step, 0);
    }
}

void end(DialProgress& d, DWORD error, DWORD fallback, const StepSink& sink)
{
    if (d.ended)
        return;
    d.ended = true;
    d.error = error ? error : d.pendingError ? d.pendingError : fallback;
    if (d.state == RASCS_Connected)
        d.state = RASCS_Disconnected;
    sink(d.state, d.error);
}

void applyActiveState(DialProgress& d, unsigned state, unsigned reason, const StepSink& sink)
{
    const DWORD error = reasonError(ReasonSource::Connection, reason);
    switch (state) {
    case kActiveActivating:
        advance(d, RASCS_PortOpened, sink);
        break;
    case kActiveActivated:
        advance(d, RASCS_Connected, sink);
        break;
    case kActiveDeactivating:
        if (error)
            d.pendingError = error;
        break;
    case kActiveDeactivated:
        end(d, error, ERROR_PORT_DISCONNECTED, sink);
        break;
    default:
        break;
    }
}

void applyVpnState(DialProgress& d, unsigned state, unsigned reason, const StepSink& sink)
{
    const DWORD error = reasonError(ReasonSource::Connection, reason);
    switch (state) {
    case kVpnPrepare:
        advance(d, RASCS_ConnectDevice, sink);
        break;
    case kVpnNeedAuth:
    case kVpnConnect:
        advance(d, RASCS_Authenticate, sink);
        break;
    case kVpnIpConfigGet:
    case kVpnActivated:
        advance(d, RASCS_Authenticated, sink);
        break;
    case kVpnFailed:
        end(d, error, ERROR_FROM_DEVICE, sink);
        break;
    case kVpnDisconnected:
        end(d, error, ERROR_PORT_DISCONNECTED, sink);
        break;
    default:
        break;
    }
}

void applyDeviceState(DialProgress& d, unsigned state, unsigned old, unsigned reason, const StepSink& sink)
{
    const DWORD error = reasonError(ReasonSource::Device, reason);
    // A device NetworkManager makes for the activation (a bridge, a PPPoE
    // link) comes up through unmanaged, unavailable and disconnected, the
    // last step "by the user's request": that is the way up, not down. Down
    // is deactivating, or falling back from preparing or beyond.
    const bool goingDown =
        state == kDeviceDeactivating ||
        ((state == kDeviceUnmanaged || state == kDeviceUnavailable || state == kDeviceDisconnected) &&
         old >= kDevicePrepare);
    if (state == kDeviceFailed) {
        end(d, error, ERROR_FROM_DEVICE, sink);
    } else if (goingDown) {
        // A reason that says nothing (such as a new activation taking the
        // device over) waits for the connection's own word.
        if (error)
            end(d, error, error, sink);
    } else if (state >= kDeviceIpConfig && state <= kDeviceActivated) {
        advance(d, RASCS_Authenticated, sink);
    } else if (state == kDeviceNeedAuth) {
        advance(d, RASCS_Authenticate, sink);
    } else if (state == kDeviceConfig) {
        advance(d, RASCS_AllDevicesConnected, sink);
    } else if (state == kDevicePrepare) {
        advance(d, RASCS_ConnectDevice, sink);
    }
}

} // namespace kivo::ras::nm
