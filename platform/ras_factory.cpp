// Chooses the RAS backend: KIVO95_RAS names one, else the first candidate
// that can serve this machine, else the simulated service.
#include "platform/ras_backend.h"
#include "platform/ras_nm.h"

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

// Tried in this order when KIVO95_RAS does not choose. The simulated
// service is always available, so it comes last.
const Candidate kCandidates[] = {
    {"nm", nmAvailable, makeNmBackend},
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
    for (const Candidate& c : kCandidates) {
        std::string why;
        if (c.available(why))
            return {c.make(), why};
    }
    return {makeSimBackend(), "no other backend is available"};
}

} // namespace kivo::ras
