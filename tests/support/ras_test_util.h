// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Helpers of the RAS layer tests: a notifier window that records the dial
// steps it gets, a dial call, and a barrier that waits until everything
// queued so far has been delivered.
#pragma once

#include "platform/ras/ras.h"
#include "platform/system/system.h"
#include "tests/support/testsupport.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace kivo::test
{

using RasStep = std::pair<DWORD, DWORD>; // state, error

class StepRecorder
{
  public:
    StepRecorder()
    {
        hwnd = kivo::sys::AllocateHWnd([this](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == dialMessage)
                steps.emplace_back(static_cast<DWORD>(w), static_cast<DWORD>(l));
            else
                others.push_back(m);
            return 0;
        });
    }
    ~StepRecorder() { kivo::sys::DeallocateHWnd(hwnd); }
    StepRecorder(const StepRecorder&) = delete;
    StepRecorder& operator=(const StepRecorder&) = delete;

    bool waitForSteps(std::size_t n, int timeoutMs = 5000)
    {
        return waitUntil([&] { return steps.size() >= n; }, timeoutMs);
    }
    // True once the last step recorded ends the dial (a failure, a made
    // connection when no drop is expected, or a drop).
    bool ended() const
    {
        return !steps.empty() && (steps.back().second != 0 || steps.back().first == RASCS_Disconnected);
    }

    HWND hwnd = nullptr;
    UINT dialMessage = RegisterWindowMessageA("RASDialEvent");
    std::vector<RasStep> steps;
    std::vector<UINT> others;
};

inline DWORD dialEntry(const char* phoneBook, const std::string& entry, HWND notifier, HRASCONN& handle,
                       const std::string& password = "")
{
    RASDIALPARAMS p;
    std::memset(&p, 0, sizeof p);
    p.dwSize = sizeof p;
    std::strncpy(p.szEntryName, entry.c_str(), RAS_MaxEntryName);
    std::strncpy(p.szPassword, password.c_str(), PWLEN);
    handle = nullptr;
    return RasDialA(nullptr, phoneBook, &p, RASNOTIFIER_HWND, notifier, &handle);
}

// Waits until every event posted before this call has been handled: the
// owner thread's posted events are delivered in the order they were posted.
inline void drainPostedEvents()
{
    bool done = false;
    HWND barrier = kivo::sys::AllocateHWnd([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
        done = true;
        return 0;
    });
    PostMessageA(barrier, WM_USER, 0, 0);
    waitUntil([&] { return done; });
    kivo::sys::DeallocateHWnd(barrier);
}

inline RASCONNSTATUS connectStatus(HRASCONN h, DWORD* result = nullptr)
{
    RASCONNSTATUS st;
    std::memset(&st, 0, sizeof st);
    st.dwSize = sizeof st;
    const DWORD r = RasGetConnectStatusA(h, &st);
    if (result)
        *result = r;
    return st;
}

inline std::vector<RASCONN> listConnections(DWORD* result = nullptr)
{
    std::vector<RASCONN> buf(16);
    std::memset(buf.data(), 0, buf.size() * sizeof(RASCONN));
    buf[0].dwSize = sizeof(RASCONN);
    DWORD cb = static_cast<DWORD>(buf.size() * sizeof(RASCONN));
    DWORD count = 0;
    const DWORD r = RasEnumConnectionsA(buf.data(), &cb, &count);
    if (result)
        *result = r;
    buf.resize(count);
    return buf;
}

inline std::vector<std::string> listEntries(const char* phoneBook, DWORD* result = nullptr)
{
    std::vector<RASENTRYNAME> buf(64);
    std::memset(buf.data(), 0, buf.size() * sizeof(RASENTRYNAME));
    buf[0].dwSize = sizeof(RASENTRYNAME);
    DWORD cb = static_cast<DWORD>(buf.size() * sizeof(RASENTRYNAME));
    DWORD count = 0;
    const DWORD r = RasEnumEntriesA(nullptr, phoneBook, buf.data(), &cb, &count);
    if (result)
        *result = r;
    std::vector<std::string> names;
    for (DWORD i = 0; i < count; ++i)
        names.emplace_back(buf[i].szEntryName);
    return names;
}

} // namespace kivo::test
