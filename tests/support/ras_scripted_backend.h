// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A RAS backend driven by the test itself: it lists what the test puts in
// names and connections, answers status queries from what the test set, and
// reports a dial's steps when the test calls step(). It lets the tests reach
// records and codes no real service produces on demand (empty entry names,
// 25 entries, six connections, a status error of 8).
#pragma once

#include "platform/ras/ras_backend.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kivo::test
{

class ScriptedRasBackend : public kivo::ras::RasBackend
{
  public:
    using ConnId = kivo::ras::ConnId;

    std::string name() const override { return "scripted"; }
    std::string describe() const override { return "test script"; }

    DWORD entries(const std::string& phoneBook, std::vector<std::string>& out) override
    {
        phoneBooks.push_back(phoneBook);
        if (entriesResult)
            return entriesResult;
        out = names;
        return 0;
    }

    DWORD dial(const kivo::ras::DialRequest& request, ConnId& id) override
    {
        dials.push_back(request);
        if (dialResult)
            return dialResult;
        id = ++lastId;
        live[id] = kivo::ras::ConnStatus{RASCS_OpenPort, 0, "modem", "Test Modem"};
        return 0;
    }

    DWORD hangUp(ConnId id) override
    {
        hangUps.push_back(id);
        return live.erase(id) ? 0 : ERROR_INVALID_HANDLE;
    }

    DWORD status(ConnId id, kivo::ras::ConnStatus& s) override
    {
        if (statusResult)
            return statusResult;
        auto it = live.find(id);
        if (it == live.end())
            return ERROR_INVALID_HANDLE;
        s = it->second;
        return 0;
    }

    std::vector<kivo::ras::ConnInfo> connections() override { return conns; }

    // The service moves the last dial (or dial id) to a state and says so.
    void step(DWORD state, DWORD error = 0, ConnId id = 0)
    {
        id = id ? id : lastId;
        live[id].state = state;
        live[id].error = error;
        report(id, state, error);
    }

    // A notification that disagrees with the status record.
    void notifyOnly(DWORD state, DWORD error, ConnId id = 0) { report(id ? id : lastId, state, error); }

    std::vector<std::string> names;
    DWORD entriesResult = 0;
    DWORD dialResult = 0;
    DWORD statusResult = 0;
    std::vector<kivo::ras::ConnInfo> conns;
    std::map<ConnId, kivo::ras::ConnStatus> live;
    std::vector<kivo::ras::DialRequest> dials;
    std::vector<std::string> phoneBooks;
    std::vector<ConnId> hangUps;
    ConnId lastId = 0;
};

// Makes a scripted backend the layer's; the layer owns it until the next
// installBackend.
inline ScriptedRasBackend* installScriptedRasBackend()
{
    auto backend = std::make_unique<ScriptedRasBackend>();
    ScriptedRasBackend* raw = backend.get();
    kivo::ras::installBackend(std::move(backend), "installed by the test");
    return raw;
}

} // namespace kivo::test
