// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Chooses the RAS backend: KIVO95_RAS names one, else the first candidate
// that can serve this machine, else the simulated service.
#include "platform/ras/nm/ras_nm.h"
#include "platform/ras/pppd/ras_pppd.h"
#include "platform/ras/ras_backend.h"

#include <QByteArray>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcRas)

namespace kivo::ras
{
namespace
{

struct Candidate {
    const char* name;
    // True when the backend can serve this machine; why says what was found.
    bool (*available)(std::string& why);
    std::unique_ptr<RasBackend> (*make)();
};

bool simAvailable(std::string& why)
{
    why = "no other backend is available";
    return true;
}

std::unique_ptr<RasBackend> makePppd()
{
    return pppd::makePppdBackend();
}

// Tried in this order when KIVO95_RAS does not choose. The simulated
// service is always available, so it comes last.
const Candidate kCandidates[] = {
    {"nm", nmAvailable, makeNmBackend},
    {"pppd", pppd::pppdAvailable, makePppd},
    {"sim", simAvailable, makeSimBackend},
};

} // namespace

BackendChoice chooseBackend()
{
    const QByteArray wanted = qgetenv("KIVO95_RAS");
    if (!wanted.isEmpty()) {
        for (const Candidate& c : kCandidates)
            if (wanted == c.name)
                return {c.make(), "KIVO95_RAS=" + wanted.toStdString()};
        qCWarning(lcRas, "KIVO95_RAS=%s names no backend (sim, pppd, nm); choosing one", wanted.constData());
    }
    // The reason names what the backends tried before said, so that the
    // trace and the about box tell why a machine ends up on the simulation.
    std::string declined;
    for (const Candidate& c : kCandidates) {
        std::string why;
        if (c.available(why))
            return {c.make(), declined.empty() ? why : why + " (" + declined + ")"};
        declined += (declined.empty() ? "" : "; ") + std::string(c.name) + ": " + why;
    }
    return {makeSimBackend(), "no other backend is available (" + declined + ")"};
}

} // namespace kivo::ras
