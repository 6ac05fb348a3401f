// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The simulated RAS service: dials the entries of an INI phonebook
// (ras_sim_phonebook.h) by walking the states a modem dial goes through, one
// timer step at a time, and fails, connects or drops as the entry's script
// says for this attempt.
//
// Phonebook: the path a call names; else $XDG_CONFIG_HOME/kivo95/phonebook.pbk;
// else, when that file does not exist, the demo phonebook built into the
// program. The file is read again whenever it changes on disk, so a
// hand-edited phonebook takes effect at the next call.
#include "platform/ras/ras_backend.h"
#include "platform/ras/sim/ras_sim_phonebook.h"
#include "platform/system/trace.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <map>

// Resources of a static library must be registered by hand.
static void initDemoPhonebook()
{
    Q_INIT_RESOURCE(ras_demo);
}

Q_LOGGING_CATEGORY(lcRasSim, "kivo.ras.sim")

namespace kivo::ras
{
namespace
{

constexpr const char* kDemoPhonebook = ":/kivo95/demo.pbk";
// A phonebook is a few kilobytes; anything far larger is not one.
constexpr qint64 kMaxPhonebookBytes = 4 * 1024 * 1024;

QString userPhonebook()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/kivo95/phonebook.pbk";
}

class SimBackend final : public RasBackend
{
  public:
    SimBackend() { initDemoPhonebook(); }

    std::string name() const override { return "sim"; }

    std::string describe() const override
    {
        const QString user = userPhonebook();
        if (QFileInfo::exists(user))
            return "simulated service, phonebook " + user.toStdString();
        return "simulated service, demo phonebook";
    }

    DWORD entries(const std::string& phoneBook, std::vector<std::string>& names) override
    {
        const Loaded book = load(phoneBook);
        if (book.error)
            return book.error;
        for (const sim::Entry& e : book.book->entries)
            names.push_back(e.name);
        return 0;
    }

    DWORD dial(const DialRequest& request, ConnId& id) override
    {
        const Loaded book = load(request.phoneBook);
        if (book.error)
            return book.error;
        const sim::Entry* entry = book.book->find(request.entryName);
        if (!entry)
            return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
        unsigned& attempts = m_attempts[book.path.toStdString() + '\n' + entry->name];
        const sim::Attempt attempt = entry->outcomes[attempts++ % entry->outcomes.size()];

        auto conn = std::make_unique<Conn>();
        id = ++m_lastId;
        conn->entry = entry->name;
        conn->deviceType = entry->deviceType;
        conn->deviceName = entry->device;
        conn->steps = sim::script(*entry, attempt);
        conn->timer.setSingleShot(true);
        QObject::connect(&conn->timer, &QTimer::timeout, &conn->timer, [this, cid = id] { advance(cid); });
        conn->timer.start(conn->steps.front().delayMs);
        qCDebug(lcRasSim, "dialling %s (%s), attempt %u", trace::quote(entry->name).c_str(),
                trace::escape(request.phoneNumber.empty() ? entry->phoneNumber : request.phoneNumber).c_str(),
                attempts);
        m_conns[id] = std::move(conn);
        return 0;
    }

    DWORD hangUp(ConnId id) override { return m_conns.erase(id) ? 0 : ERROR_INVALID_HANDLE; }

    DWORD status(ConnId id, ConnStatus& status) override
    {
        auto it = m_conns.find(id);
        if (it == m_conns.end())
            return ERROR_INVALID_HANDLE;
        const Conn& c = *it->second;
        status.state = c.state;
        status.error = c.error;
        status.deviceType = c.deviceType;
        status.deviceName = c.deviceName;
        return 0;
    }

    std::vector<ConnInfo> connections() override
    {
        std::vector<ConnInfo> out;
        for (const auto& [id, c] : m_conns)
            if (c->error == 0 && c->state != RASCS_Disconnected)
                out.push_back({id, c->entry, c->deviceType, c->deviceName});
        return out;
    }

  private:
    struct Conn {
        std::string entry;
        std::string deviceType;
        std::string deviceName;
        std::vector<sim::Step> steps;
        std::size_t next = 0;
        DWORD state = RASCS_OpenPort;
        DWORD error = 0;
        QTimer timer;
    };

    struct Cached {
        QDateTime modified;
        qint64 size = -1;
        sim::Phonebook book;
    };

    struct Loaded {
        DWORD error = 0;
        QString path;
        const sim::Phonebook* book = nullptr;
    };

    void advance(ConnId id)
    {
        auto it = m_conns.find(id);
        if (it == m_conns.end())
            return;
        Conn& c = *it->second;
        const sim::Step step = c.steps[c.next++];
        c.state = step.state;
        c.error = step.error;
        if (c.next < c.steps.size())
            c.timer.start(c.steps[c.next].delayMs);
        report(id, step.state, step.error);
    }

    Loaded load(const std::string& phoneBook)
    {
        Loaded out;
        out.path = QString::fromStdString(phoneBook);
        if (out.path.isEmpty()) {
            out.path = userPhonebook();
            if (!QFileInfo::exists(out.path))
                out.path = kDemoPhonebook;
        }
        const QFileInfo info(out.path);
        if (!info.isFile()) {
            out.error = ERROR_CANNOT_OPEN_PHONEBOOK;
            return out;
        }
        Cached& cached = m_cache[out.path];
        if (cached.size != info.size() || cached.modified != info.lastModified()) {
            QFile file(out.path);
            if (!file.open(QIODevice::ReadOnly)) {
                m_cache.erase(out.path);
                out.error = ERROR_CANNOT_OPEN_PHONEBOOK;
                return out;
            }
            if (file.size() > kMaxPhonebookBytes) {
                m_cache.erase(out.path);
                std::fprintf(stderr, "kivo95: phonebook %s: larger than %lld bytes, not read\n",
                             trace::escape(out.path.toStdString()).c_str(),
                             static_cast<long long>(kMaxPhonebookBytes));
                out.error = ERROR_CANNOT_LOAD_PHONEBOOK;
                return out;
            }
            const QByteArray text = file.readAll();
            cached.book = sim::parsePhonebook(std::string_view(text.constData(), text.size()));
            cached.size = info.size();
            cached.modified = info.lastModified();
            // Reported once per version of the file, not at every call.
            for (const sim::Problem& p : cached.book.problems)
                std::fprintf(stderr, "kivo95: phonebook %s:%d: %s\n",
                             trace::escape(out.path.toStdString()).c_str(), p.line,
                             trace::escape(p.message).c_str());
        }
        out.book = &cached.book;
        return out;
    }

    std::map<ConnId, std::unique_ptr<Conn>> m_conns;
    ConnId m_lastId = 0;
    // Per phonebook file and entry, for the life of the process, so that a
    // script like "busy,busy,connect" runs on across dials.
    std::map<std::string, unsigned> m_attempts;
    std::map<QString, Cached> m_cache;
};

} // namespace

std::unique_ptr<RasBackend> makeSimBackend()
{
    return std::make_unique<SimBackend>();
}

} // namespace kivo::ras
