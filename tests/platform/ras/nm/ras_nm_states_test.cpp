// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// NetworkManager's states as RAS steps, apart from the bus: the numbers
// NetworkManager signals for one dial, in the order it signals them.
#include "platform/ras/nm/ras_nm_states.h"

#include "tests/support/ras_test_util.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kivo::ras;
using namespace kivo::ras::nm;
using kivo::test::RasStep;

TEST(NmStates, EveryStepIsReportedOnceInLadderOrderAndTheEndOnceWithTheReasonItWentDownFor)
{
    DialProgress d;
    std::vector<RasStep> steps;
    const StepSink sink = [&](DWORD state, DWORD error) { steps.push_back({state, error}); };

    applyActiveState(d, 1, 0, sink); // activating
    // The device jumps from preparing to IP configuration: the steps between
    // are reported too, in order.
    applyDeviceState(d, 70, 40, 0, sink);
    // Later news of an earlier state changes nothing.
    applyDeviceState(d, 50, 40, 0, sink);
    applyVpnState(d, 3, 0, sink);
    applyActiveState(d, 2, 0, sink); // activated
    const std::vector<RasStep> up = {
        {RASCS_OpenPort, 0},        {RASCS_PortOpened, 0},          {RASCS_ConnectDevice, 0},
        {RASCS_DeviceConnected, 0}, {RASCS_AllDevicesConnected, 0}, {RASCS_Authenticate, 0},
        {RASCS_Authenticated, 0},   {RASCS_Connected, 0},
    };
    EXPECT_EQ(steps, up);
    EXPECT_EQ(d.state, DWORD(RASCS_Connected));

    // Deactivating says why (the connection timed out, reason 6); the end
    // that follows without a reason of its own is reported with it, as a
    // drop of the connected line, and nothing is reported after it.
    steps.clear();
    applyActiveState(d, 3, 6, sink);
    EXPECT_TRUE(steps.empty());
    applyActiveState(d, 4, 0, sink);
    applyDeviceState(d, 120, 100, 0, sink); // failed, after the end
    applyActiveState(d, 2, 0, sink);
    const std::vector<RasStep> down = {{RASCS_Disconnected, ERROR_REQUEST_TIMEOUT}};
    EXPECT_EQ(steps, down);
    EXPECT_TRUE(d.ended);
    EXPECT_EQ(d.error, DWORD(ERROR_REQUEST_TIMEOUT));
}
