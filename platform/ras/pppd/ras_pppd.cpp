// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The pppd backend: one pppd child process per dial, followed through its
// log on the layer's event loop.
//
// pppd runs with nodetach, so it stays our child and logs to its standard
// output; its standard error (option errors) and the connect script's
// (chat -v -s) are read on the same pipe. Its standard input is /dev/null so
// that a peer without a device cannot take over our terminal. nopersist
// makes one dial one attempt whatever the peer file says: redialling is the
// caller's business.
//
// pppd runs under the guard (kivo-pppd-guard) in a process group of its
// own, which its connect script (sh, chat) shares. A pppd we no longer
// follow (hung up, or left when the backend goes away) gets SIGTERM for its
// whole group, then SIGKILL after a grace period, and the guard is always
// waited for, so no pppd or chat outlives its dial and none is left a zombie:
// SIGTERM to pppd alone would end only the shell of its connect script and
// leave chat on the modem's line. Should the wizard itself die, the guard
// ends the group.
#include "platform/ras/pppd/ras_pppd.h"

#include "platform/system/trace.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>
#include <utility>

// Each line of pppd's output is logged at debug level: QT_LOGGING_RULES="kivo.ras.pppd.debug=true".
Q_LOGGING_CATEGORY(lcRasPppd, "kivo.ras.pppd", QtInfoMsg)

namespace kivo::ras::pppd
{
namespace
{

// pppd's lines are short; a device that babbles without line ends is cut
// into pieces of this size rather than kept growing.
constexpr qsizetype kMaxLine = 4096;
// When the backend goes away (program exit): how long all pppds together
// get to end after SIGTERM, and then after SIGKILL. The guard kills what is
// left of its dial after three seconds and reaps it; the wait allows for that.
constexpr int kExitTermMs = 4000;
constexpr int kExitKillMs = 1000;

// The example peer of Debian's ppp package names this user until it is
// edited; such a peer cannot dial anything.
constexpr const char* kExampleUser = "myusername@realm";

// Signals the process group of a dial (the guard, pppd, its connect script).
void signalDial(qint64 pid, int sig)
{
    if (pid <= 0)
        return;
    if (::kill(static_cast<pid_t>(-pid), sig) != 0 && errno == ESRCH)
        ::kill(static_cast<pid_t>(pid), sig); // not yet, or no longer, a group leader
}

std::string quoteArgs(const QStringList& args)
{
    std::string out;
    for (const QString& a : args)
        out += (out.empty() ? "" : ", ") + trace::quote(a.toStdString());
    return out;
}

bool samePath(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return a == b || std::filesystem::equivalent(a, b, ec);
}

// Why pppd cannot be run: a user outside the dip group may not run
// Debian's pppd; a pppd that is not there means no PPP on this machine.
DWORD cannotRun(const std::string& program)
{
    if (access(program.c_str(), X_OK) == 0)
        return 0;
    return errno == EACCES ? ERROR_NO_DIALIN_PERMISSION : ERROR_DEVICE_DOES_NOT_EXIST;
}

class PppdBackend final : public RasBackend
{
  public:
    explicit PppdBackend(Options options) : m_opt(std::move(options)) {}
    ~PppdBackend() override;

    std::string name() const override { return "pppd"; }
    std::string describe() const override { return "pppd " + m_opt.pppd + ", peers in " + m_opt.peersDir; }

    DWORD entries(const std::string& phoneBook, std::vector<std::string>& names) override
    {
        return listPeers(dirOf(phoneBook), names);
    }

    DWORD dial(const DialRequest& request, ConnId& id) override;
    DWORD hangUp(ConnId id) override;
    DWORD status(ConnId id, ConnStatus& status) override;
    std::vector<ConnInfo> connections() override;

  private:
    struct Link {
        std::string entry;
        std::string peerDevice;      // from the peer file, until pppd names its device
        QProcess* process = nullptr; // a child of m_children
        LogReader log;
        QByteArray pending; // output after the last line end
        DWORD state = RASCS_OpenPort;
        DWORD error = 0;
        bool over = false; // failed, dropped or ended: nothing more to report

        std::string device() const { return log.facts().device.empty() ? peerDevice : log.facts().device; }
    };

    std::string dirOf(const std::string& phoneBook) const
    {
        return phoneBook.empty() ? m_opt.peersDir : phoneBook;
    }
    Link* find(ConnId id, const QProcess* process);
    void onStarted(ConnId id, QProcess* process);
    void onOutput(ConnId id, QProcess* process);
    void onFailedToStart(ConnId id, QProcess* process);
    void onFinished(ConnId id, QProcess* process, int exitCode, QProcess::ExitStatus exitStatus);
    void take(ConnId id, Link& link, std::string_view line);
    void advance(ConnId id, Link& link, const std::vector<DWORD>& states);
    void end(ConnId id, Link& link, DWORD state, DWORD error);
    void bury(QProcess* process);
    std::vector<qint64> ourGroups() const;
    std::map<long, ConnId>::iterator findExternal(ConnId id);

    Options m_opt;
    QObject m_children; // parent of every pppd process we started
    std::map<ConnId, std::unique_ptr<Link>> m_links;
    std::map<long, ConnId> m_external; // pppds started elsewhere, by pid
    ConnId m_lastId = 0;
};

PppdBackend::~PppdBackend()
{
    std::vector<QProcess*> running;
    for (QProcess* p : m_children.findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
        QObject::disconnect(p, nullptr, nullptr, nullptr);
        if (p->state() != QProcess::NotRunning) {
            signalDial(p->processId(), SIGTERM);
            running.push_back(p);
        }
    }
    // The event loop may be gone already: wait here, bounded.
    const QDeadlineTimer termDeadline(kExitTermMs);
    for (QProcess* p : running)
        p->waitForFinished(static_cast<int>(std::max<qint64>(1, termDeadline.remainingTime())));
    for (QProcess* p : running) {
        if (p->state() != QProcess::NotRunning) {
            qCWarning(lcRasPppd, "pppd (group %lld) did not end on SIGTERM; killing it",
                      static_cast<long long>(p->processId()));
            signalDial(p->processId(), SIGKILL);
            p->waitForFinished(kExitKillMs);
        }
    }
}

PppdBackend::Link* PppdBackend::find(ConnId id, const QProcess* process)
{
    auto it = m_links.find(id);
    return it != m_links.end() && it->second->process == process ? it->second.get() : nullptr;
}

DWORD PppdBackend::dial(const DialRequest& request, ConnId& id)
{
    const std::string dir = dirOf(request.phoneBook);
    std::vector<std::string> peers;
    if (const DWORD e = listPeers(dir, peers))
        return e;
    if (std::find(peers.begin(), peers.end(), request.entryName) == peers.end())
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    if (const DWORD e = cannotRun(m_opt.pppd))
        return e;

    const std::string peerFile = dir + "/" + request.entryName;
    QStringList args;
    // pppd reads "call" peers from /etc/ppp/peers only, and may take
    // privileged options from them; a peer of another directory is read as
    // an ordinary options file, with the user's own rights.
    if (samePath(dir, kSystemPeersDir))
        args << "call" << QString::fromStdString(request.entryName);
    else
        args << "file" << QString::fromStdString(peerFile);
    args << "nodetach"
         << "nopersist";
    // The password is not passed: on pppd's command line every user could
    // read it. It belongs in /etc/ppp/pap-secrets or chap-secrets.
    if (!request.userName.empty())
        args << "user" << QString::fromStdString(request.userName);
    if (!request.phoneNumber.empty())
        qCInfo(lcRasPppd, "peer %s dials the number of its own chat script, not the one given",
               trace::quote(request.entryName).c_str());

    auto link = std::make_unique<Link>();
    link->entry = request.entryName;
    link->peerDevice = peerDevice(peerFile);
    auto* p = new QProcess(&m_children);
    link->process = p;
    if (m_opt.guard.empty()) {
        static bool told = false;
        if (!std::exchange(told, true))
            qCWarning(lcRasPppd, "kivo-pppd-guard not found beside the program or in ../libexec/kivo95: "
                                 "a pppd would outlive a wizard that is killed");
        p->setProgram(QString::fromStdString(m_opt.pppd));
        p->setArguments(args);
    } else {
        p->setProgram(QString::fromStdString(m_opt.guard));
        p->setArguments(QStringList{QString::number(getpid()), QString::fromStdString(m_opt.pppd)} + args);
    }
    // A group of its own, from before the program starts: a hang-up signals
    // the whole dial, and the terminal's Ctrl+C reaches only the wizard,
    // which then hangs up properly.
    p->setChildProcessModifier([] { ::setpgid(0, 0); });
    p->setProcessChannelMode(QProcess::MergedChannels);
    p->setStandardInputFile(QProcess::nullDevice());

    id = ++m_lastId;
    // Queued, so that nothing is reported from within dial() even when the
    // start fails at once.
    const ConnId cid = id;
    QObject::connect(
        p, &QProcess::started, p, [this, cid, p] { onStarted(cid, p); }, Qt::QueuedConnection);
    QObject::connect(
        p, &QProcess::readyReadStandardOutput, p, [this, cid, p] { onOutput(cid, p); }, Qt::QueuedConnection);
    QObject::connect(
        p, &QProcess::errorOccurred, p,
        [this, cid, p](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                onFailedToStart(cid, p);
        },
        Qt::QueuedConnection);
    QObject::connect(
        p, &QProcess::finished, p,
        [this, cid, p](int code, QProcess::ExitStatus status) { onFinished(cid, p, code, status); },
        Qt::QueuedConnection);
    m_links[id] = std::move(link);
    p->start();
    if (trace::enabled())
        trace::line("pppd(" + quoteArgs(args) + ") conn=" + std::to_string(id));
    return 0;
}

void PppdBackend::onStarted(ConnId id, QProcess* process)
{
    Link* link = find(id, process);
    if (!link || link->over)
        return;
    if (trace::enabled())
        trace::line("pppd(conn=" + std::to_string(id) +
                    ") started pid=" + std::to_string(process->processId()));
    advance(id, *link, link->log.reach(RASCS_OpenPort));
}

void PppdBackend::onOutput(ConnId id, QProcess* process)
{
    Link* link = find(id, process);
    if (!link)
        return;
    link->pending += process->readAll();
    qsizetype start = 0;
    while (true) {
        const qsizetype nl = link->pending.indexOf('\n', start);
        const qsizetype length = (nl < 0 ? link->pending.size() : nl) - start;
        if (length >= kMaxLine) {
            take(id, *link, std::string_view(link->pending.constData() + start, kMaxLine));
            start += kMaxLine;
            continue;
        }
        if (nl < 0)
            break;
        take(id, *link, std::string_view(link->pending.constData() + start, length));
        start = nl + 1;
    }
    link->pending.remove(0, start);
}

void PppdBackend::take(ConnId id, Link& link, std::string_view line)
{
    qCDebug(lcRasPppd, "conn %llu: %s", static_cast<unsigned long long>(id), trace::escape(line).c_str());
    advance(id, link, link.log.feed(line));
}

void PppdBackend::advance(ConnId id, Link& link, const std::vector<DWORD>& states)
{
    for (DWORD s : states) {
        if (link.over)
            return;
        if (s == RASCS_Disconnected) {
            end(id, link, s, errorForExit(kExitHangup, link.log.facts()));
            return;
        }
        link.state = s;
        report(id, s, 0);
    }
}

void PppdBackend::end(ConnId id, Link& link, DWORD state, DWORD error)
{
    link.state = state;
    link.error = error;
    link.over = true;
    report(id, state, error);
}

void PppdBackend::onFailedToStart(ConnId id, QProcess* process)
{
    Link* link = find(id, process);
    if (!link || link->over)
        return;
    DWORD error = cannotRun(m_opt.pppd);
    if (!error)
        error = ERROR_DEVICE_DOES_NOT_EXIST;
    qCWarning(lcRasPppd, "%s cannot be started: %s", m_opt.pppd.c_str(),
              qUtf8Printable(process->errorString()));
    if (trace::enabled())
        trace::line("pppd(conn=" + std::to_string(id) + ") failed to start error=" + std::to_string(error));
    end(id, *link, link->state, error);
}

void PppdBackend::onFinished(ConnId id, QProcess* process, int exitCode, QProcess::ExitStatus exitStatus)
{
    Link* link = find(id, process);
    if (!link)
        return;
    onOutput(id, process);
    if (!link->pending.isEmpty()) {
        take(id, *link, std::string_view(link->pending.constData(), link->pending.size()));
        link->pending.clear();
    }
    const int code = exitStatus == QProcess::CrashExit ? kKilledBySignal : exitCode;
    DWORD error = errorForExit(code, link->log.facts());
    if (code == kExitCannotRun && !m_opt.guard.empty()) {
        // pppd went between the check in dial() and the guard's exec.
        const DWORD why = cannotRun(m_opt.pppd);
        error = why ? why : ERROR_DEVICE_DOES_NOT_EXIST;
    }
    if (trace::enabled())
        trace::line("pppd(conn=" + std::to_string(id) + ") exited code=" + std::to_string(code) +
                    " error=" + std::to_string(link->over ? link->error : error));
    if (link->over)
        return;
    end(id, *link, link->log.facts().connected ? RASCS_Disconnected : link->state, error);
}

// Ends a pppd that nobody follows any more: SIGTERM, SIGKILL after the grace
// period, and the QProcess goes once the process has been waited for.
void PppdBackend::bury(QProcess* p)
{
    QObject::disconnect(p, nullptr, nullptr, nullptr);
    if (p->state() == QProcess::NotRunning) {
        p->deleteLater();
        return;
    }
    QObject::connect(p, &QProcess::finished, p, &QObject::deleteLater);
    QObject::connect(p, &QProcess::errorOccurred, p, [p](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            p->deleteLater();
    });
    auto* grace = new QTimer(p);
    grace->setSingleShot(true);
    QObject::connect(grace, &QTimer::timeout, p, [p] {
        if (p->state() == QProcess::NotRunning)
            return;
        qCWarning(lcRasPppd, "pppd (group %lld) did not end on SIGTERM; killing it",
                  static_cast<long long>(p->processId()));
        signalDial(p->processId(), SIGKILL);
    });
    grace->start(m_opt.termGraceMs);
    signalDial(p->processId(), SIGTERM);
}

std::map<long, ConnId>::iterator PppdBackend::findExternal(ConnId id)
{
    return std::find_if(m_external.begin(), m_external.end(), [id](const auto& e) { return e.second == id; });
}

DWORD PppdBackend::hangUp(ConnId id)
{
    auto it = m_links.find(id);
    if (it != m_links.end()) {
        std::unique_ptr<Link> link = std::move(it->second);
        m_links.erase(it);
        if (trace::enabled())
            trace::line("pppd(conn=" + std::to_string(id) +
                        ") hang up pid=" + std::to_string(link->process->processId()));
        bury(link->process);
        return 0;
    }
    // A link started elsewhere ends as poff would end it.
    auto ext = findExternal(id);
    if (ext == m_external.end())
        return ERROR_INVALID_HANDLE;
    const long pid = ext->first;
    m_external.erase(ext);
    if (kill(static_cast<pid_t>(pid), SIGTERM) == 0)
        return 0;
    return errno == EPERM ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE;
}

DWORD PppdBackend::status(ConnId id, ConnStatus& status)
{
    auto it = m_links.find(id);
    if (it != m_links.end()) {
        const Link& link = *it->second;
        status.state = link.state;
        status.error = link.error;
        status.deviceName = link.device();
        status.deviceType = deviceTypeOf(status.deviceName);
        return 0;
    }
    auto ext = findExternal(id);
    if (ext == m_external.end() || (kill(static_cast<pid_t>(ext->first), 0) != 0 && errno == ESRCH))
        return ERROR_INVALID_HANDLE;
    status.state = RASCS_Connected;
    status.error = 0;
    status.deviceType = "modem";
    status.deviceName.clear();
    return 0;
}

// The process groups of our dials: a pppd in one of them is ours, even
// though its parent is the guard.
std::vector<qint64> PppdBackend::ourGroups() const
{
    std::vector<qint64> out;
    for (const QProcess* p : m_children.findChildren<QProcess*>(Qt::FindDirectChildrenOnly))
        if (p->processId() > 0)
            out.push_back(p->processId());
    return out;
}

std::vector<ConnInfo> PppdBackend::connections()
{
    std::vector<ConnInfo> out;
    const std::vector<qint64> ours = ourGroups();
    for (const auto& [id, link] : m_links) {
        if (link->over)
            continue;
        const std::string device = link->device();
        out.push_back({id, link->entry, deviceTypeOf(device), device});
    }
    const std::string program = std::filesystem::path(m_opt.pppd).filename().string();
    std::map<long, ConnId> seen;
    for (const RunningLink& r : findRunningLinks(m_opt.runDirs, {"pppd", program})) {
        const pid_t group = ::getpgid(static_cast<pid_t>(r.pid));
        if (std::find(ours.begin(), ours.end(), r.pid) != ours.end() ||
            std::find(ours.begin(), ours.end(), group) != ours.end())
            continue;
        auto known = m_external.find(r.pid);
        const ConnId id = known != m_external.end() ? known->second : ++m_lastId;
        seen[r.pid] = id;
        out.push_back({id, r.name, "modem", ""});
    }
    m_external = std::move(seen);
    return out;
}

bool isUneditedExample(const std::string& peerFile)
{
    std::ifstream in(peerFile);
    std::string line;
    while (std::getline(in, line))
        if (line.find(kExampleUser) != std::string::npos)
            return true;
    return false;
}

} // namespace

std::unique_ptr<RasBackend> makePppdBackend(Options options)
{
    return std::make_unique<PppdBackend>(options);
}

bool pppdAvailable(std::string& why)
{
    const std::string program = pppdProgram();
    if (cannotRun(program)) {
        why = program + " cannot be run";
        return false;
    }
    const std::string dir = defaultPeersDir();
    std::vector<std::string> peers;
    if (listPeers(dir, peers) != 0) {
        why = dir + " cannot be read";
        return false;
    }
    std::erase_if(peers, [&](const std::string& p) { return isUneditedExample(dir + "/" + p); });
    if (peers.empty()) {
        why = "no peers of the user's own in " + dir;
        return false;
    }
    why = std::to_string(peers.size()) + (peers.size() == 1 ? " peer in " : " peers in ") + dir;
    return true;
}

} // namespace kivo::ras::pppd
