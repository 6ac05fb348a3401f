// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/registry/registry_store.h"

#include <QString>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <random>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

namespace kivo::registry::detail
{

namespace
{

using kivo::sqlite::Database;

// Version 1 had no application id and no index on vals(key).
constexpr int kSchemaVersion = 2;
// "K95R": marks a file as a key store of ours (PRAGMA application_id).
constexpr std::int64_t kApplicationId = 0x4B393552;
// Long enough to outwait another process's transaction (an import of
// thousands of keys takes a fraction of that), short enough that a store
// held by another program is reported instead of hanging the caller.
constexpr int kBusyTimeoutMs = 5000;
// Open stores kept per thread; a test may switch between many.
constexpr std::size_t kMaxOpenStores = 4;

thread_local std::string t_problem;

struct Root {
    const char* name;
    std::int64_t id;
};
constexpr Root kRoots[] = {
    {"HKEY_CLASSES_ROOT", 1}, {"HKEY_CURRENT_USER", 2},   {"HKEY_LOCAL_MACHINE", 3},
    {"HKEY_USERS", 4},        {"HKEY_CURRENT_CONFIG", 6}, {"HKEY_DYN_DATA", 7},
};
constexpr std::int64_t kLocalMachineId = 3;

std::int64_t fileTimeNow()
{
    using namespace std::chrono;
    // FILETIME counts 100 ns steps since 1601-01-01.
    const auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return since1970 / 100 + 116444736000000000LL;
}

std::string dirOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string errnoText(int e)
{
    return std::strerror(e);
}

std::string defaultDir()
{
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && x[0] == '/')
        return std::string(x) + "/kivo95";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config/kivo95";
    return {};
}

// The default folder is ours to make (0700); a folder named by
// KIVO95_REGISTRY is the user's and must exist.
void makeDefaultDir(const std::string& dir)
{
    if (dir.empty() || dir != defaultDir())
        return;
    for (std::size_t i = 1; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == '/') {
            const std::string part = dir.substr(0, i);
            if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                storeFailure(ERROR_CANTOPEN,
                             "cannot make the folder " + part + " for the key store: " + errnoText(errno));
        }
    }
}

const char* kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO (named pipe)";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "not a regular file";
}

std::int64_t pragmaInt(Database& db, const char* sql)
{
    auto s = db.prepare(sql);
    return s.step() ? s.columnInt(0) : 0;
}

const char* const kSchema = "CREATE TABLE keys("
                            " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                            " parent INTEGER NOT NULL,"
                            " name TEXT NOT NULL,"
                            " lname TEXT NOT NULL,"
                            " mtime INTEGER NOT NULL,"
                            " UNIQUE(parent, lname));"
                            "CREATE TABLE vals("
                            " key INTEGER NOT NULL,"
                            " name TEXT NOT NULL,"
                            " lname TEXT NOT NULL,"
                            " type INTEGER NOT NULL,"
                            " data BLOB NOT NULL,"
                            " UNIQUE(key, lname));";
// Values enumerate in creation order, key by key.
const char* const kValueOrderIndex = "CREATE INDEX IF NOT EXISTS vals_in_order ON vals(key)";

bool hasUnsavedLog(const std::string& path)
{
    struct stat st {
    };
    return ::stat((path + "-wal").c_str(), &st) == 0 && st.st_size > 0;
}

// A connection that can read the store: read-write when asked and possible,
// else read-only; in a read-only folder without the log files SQLite needs
// it reads the file as it stands, which is complete when no log is left.
std::unique_ptr<Database> readableConnection(const std::string& path, bool write)
{
    const auto tryOpen = [&](Database::Open how) {
        auto db = std::make_unique<Database>(path, how);
        db->setBusyTimeout(kBusyTimeoutMs);
        pragmaInt(*db, "SELECT count(*) FROM sqlite_master"); // reads, opening the log
        return db;
    };
    try {
        return tryOpen(write ? Database::Open::ReadWrite : Database::Open::ReadOnly);
    } catch (const kivo::sqlite::Error& e) {
        if (e.code() != SQLITE_CANTOPEN)
            throw;
    }
    try {
        if (write)
            return tryOpen(Database::Open::ReadOnly);
    } catch (const kivo::sqlite::Error& e) {
        if (e.code() != SQLITE_CANTOPEN)
            throw;
    }
    if (hasUnsavedLog(path))
        storeFailure(ERROR_CANTOPEN, "cannot read the key store " + path +
                                         ": its folder cannot be written and " + path +
                                         "-wal holds changes not yet in the file");
    return tryOpen(Database::Open::Immutable);
}

// What a database file holds, seen through a read-only connection.
struct Look {
    std::int64_t appId = 0, version = 0, objects = 0;
    bool hasKeys = false, hasVals = false;
    bool emptyDatabase() const { return appId == 0 && version == 0 && objects == 0; }
};

Look look(const std::string& path)
{
    Look l;
    auto probe = readableConnection(path, false);
    l.appId = pragmaInt(*probe, "PRAGMA application_id");
    l.version = pragmaInt(*probe, "PRAGMA user_version");
    auto tables = probe->prepare("SELECT type, name FROM sqlite_master");
    while (tables.step()) {
        ++l.objects;
        if (tables.columnText(0) == "table") {
            l.hasKeys = l.hasKeys || tables.columnText(1) == "keys";
            l.hasVals = l.hasVals || tables.columnText(1) == "vals";
        }
    }
    return l;
}

// Writes a complete new store into a file no other process can see yet.
void buildStore(const std::string& file)
{
    {
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            storeFailure(ERROR_CANTOPEN,
                         "cannot make the key store in the folder " + dirOf(file) + ": " + errnoText(errno));
        ::close(fd); // nobody has this new file open: closing it drops no lock of ours
    }
    Database db(file, Database::Open::ReadWrite);
    // WAL lets readers go on while one process writes. The mode is kept in
    // the file, so it is set here, while the file is ours alone: switching
    // it on a file others already use can fail without waiting for them.
    db.exec("PRAGMA journal_mode=WAL");
    db.exec("PRAGMA synchronous=FULL");
    db.exec("BEGIN");
    db.exec(kSchema);
    db.exec(kValueOrderIndex);
    auto root = db.prepare("INSERT INTO keys(id, parent, name, lname, mtime) VALUES(?,0,?,?,?)");
    const std::int64_t now = fileTimeNow();
    for (const Root& r : kRoots) {
        root.bind(1, r.id).bind(2, r.name).bind(3, fold(r.name)).bind(4, now);
        root.run();
        root.reset();
    }
    // A Windows registry always has HKEY_LOCAL_MACHINE\SOFTWARE.
    auto software =
        db.prepare("INSERT INTO keys(parent, name, lname, mtime) VALUES(?,'SOFTWARE','software',?)");
    software.bind(1, kLocalMachineId).bind(2, now);
    software.run();
    db.exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
    db.exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    db.exec("COMMIT");
    // Closing checkpoints the log into the file (synced) and removes it.
}

void removeQuietly(const std::string& file)
{
    ::unlink(file.c_str());
    ::unlink((file + "-wal").c_str());
    ::unlink((file + "-shm").c_str());
}

// Makes a new store at path when the file is missing, empty, or (with
// replaceEmptyDatabase) a database with nothing in it. The store is built
// aside and renamed into place, so nobody ever sees a half-made one;
// processes starting at once agree through a lock on the folder.
void createStore(const std::string& path, bool replaceEmptyDatabase)
{
    const std::string dir = dirOf(path);
    makeDefaultDir(dir);
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        storeFailure(ERROR_CANTOPEN,
                     "cannot open the key store " + path + ": the folder " + dir + ": " + errnoText(errno));
    struct Unlock {
        int fd;
        ~Unlock() { ::close(fd); } // also ends the lock
    } unlock{dirFd};
    // The kernel queues us behind another process making the store.
    while (::flock(dirFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat st {
    };
    if (::stat(path.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || st.st_size > 0) &&
        !(replaceEmptyDatabase && S_ISREG(st.st_mode) && look(path).emptyDatabase()))
        return; // made meanwhile (or something we will not replace)

    std::random_device random;
    const std::string temp =
        dir + "/." + baseOf(path) + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(random());
    try {
        buildStore(temp);
    } catch (...) {
        removeQuietly(temp);
        throw;
    }
    // A log left by a store removed without its files would be read into
    // the new one.
    ::unlink((path + "-wal").c_str());
    ::unlink((path + "-shm").c_str());
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        removeQuietly(temp);
        storeFailure(ERROR_CANTOPEN, "cannot make the key store " + path + ": " + errnoText(e));
    }
    ::fsync(dirFd); // the new name survives a power cut
}

} // namespace

// ---- problems -------------------------------------------------------------------------

void storeFailure(LONG code, std::string text)
{
    t_problem = std::move(text);
    throw RegFailure{code};
}

void setProblem(std::string text)
{
    t_problem = std::move(text);
}

void clearProblem()
{
    t_problem.clear();
}

const std::string& problem()
{
    return t_problem;
}

LONG fromSqlite(const kivo::sqlite::Error& e, const std::string& path)
{
    const std::string sys = e.systemErrno() ? ": " + errnoText(e.systemErrno()) : std::string();
    switch (e.code()) {
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        t_problem =
            "cannot open the key store " + path + (sys.empty() ? " (" + std::string(e.what()) + ")" : sys);
        return ERROR_CANTOPEN;
    case SQLITE_READONLY:
        t_problem = path + " cannot be written (" + e.what() + ")";
        return ERROR_CANTWRITE;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        t_problem = path + " is locked by another program; gave up after waiting " +
                    std::to_string(kBusyTimeoutMs / 1000) + " seconds";
        return ERROR_BUSY;
    case SQLITE_NOMEM:
        t_problem = "out of memory while using " + path;
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_TOOBIG:
        t_problem = "a value too large for " + path;
        return ERROR_OUTOFMEMORY;
    case SQLITE_FULL:
        t_problem = "the disk holding " + path + " is full";
        return ERROR_REGISTRY_IO_FAILED;
    case SQLITE_IOERR:
    case SQLITE_PROTOCOL:
        if (e.systemErrno() == ENOSPC) {
            t_problem = "the disk holding " + path + " is full";
        } else {
            t_problem = "reading or writing " + path + " failed" +
                        (sys.empty() ? " (" + std::string(e.what()) + ")" : sys);
        }
        return ERROR_REGISTRY_IO_FAILED;
    case SQLITE_NOTADB:
        t_problem = path + " is damaged or no key store at all (it is not a SQLite database)";
        return ERROR_REGISTRY_CORRUPT;
    default:
        // SQLITE_CORRUPT, and SQLITE_ERROR from tables that are missing or
        // shaped differently: the file is not a store we can use.
        t_problem = path + " is damaged (" + e.what() + ")";
        return ERROR_REGISTRY_CORRUPT;
    }
}

// ---- processes -------------------------------------------------------------------------

namespace
{

std::atomic<unsigned> g_forkGeneration{0};

} // namespace

unsigned forkGeneration()
{
    // Counted by a fork handler rather than by asking for the process id
    // on every call, which is a system call.
    static std::once_flag registered;
    std::call_once(registered, [] { ::pthread_atfork(nullptr, nullptr, [] { ++g_forkGeneration; }); });
    return g_forkGeneration.load(std::memory_order_relaxed);
}

// ---- names -------------------------------------------------------------------------------

// Names are 8-bit text passed through unchanged; where they are valid UTF-8
// (the usual Linux code page) letters of every script compare without case,
// as on Windows, else ASCII letters do.
std::string fold(std::string_view name)
{
    bool ascii = true;
    for (unsigned char c : name)
        ascii = ascii && c < 0x80;
    if (!ascii) {
        const QByteArray bytes(name.data(), static_cast<qsizetype>(name.size()));
        const QString text = QString::fromUtf8(bytes);
        if (text.toUtf8() == bytes)
            return text.toCaseFolded().toStdString();
    }
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string storePath()
{
    if (const char* p = std::getenv("KIVO95_REGISTRY"); p && *p)
        return p;
    const std::string dir = defaultDir();
    if (dir.empty())
        storeFailure(ERROR_CANTOPEN,
                     "no place for the key store: neither KIVO95_REGISTRY, XDG_CONFIG_HOME nor "
                     "HOME is set");
    return dir + "/registry.db";
}

// ---- the store -----------------------------------------------------------------------------

Store::Store(const std::string& path) : m_path(path)
{
    open();
}

Store::~Store() = default;

void Store::open()
{
    // A file found empty is replaced by a new store, then looked at again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct stat st {
        };
        if (::stat(m_path.c_str(), &st) != 0) {
            if (errno != ENOENT)
                storeFailure(ERROR_CANTOPEN, "cannot open the key store " + m_path + ": " + errnoText(errno));
            createStore(m_path, false);
            continue;
        }
        if (!S_ISREG(st.st_mode))
            storeFailure(ERROR_CANTOPEN, m_path + " is " + kindOf(st.st_mode) + ", not a key store file");
        if (st.st_size == 0) {
            createStore(m_path, false);
            continue;
        }
        m_dev = st.st_dev;
        m_ino = st.st_ino;
        if (identify())
            return;
        createStore(m_path, true);
    }
    storeFailure(ERROR_CANTOPEN, "cannot open the key store " + m_path + ": it keeps changing");
}

// Looks at the file through a read-only connection first, so that a
// database of another program is left exactly as it is; then opens our own
// store for reading and writing. False for a database with nothing in it,
// which holds nothing to keep and is to become a store.
bool Store::identify()
{
    const Look l = look(m_path);
    if (l.emptyDatabase())
        return false;
    const bool ours = l.appId == kApplicationId || (l.appId == 0 && l.version == 1 && l.hasKeys && l.hasVals);
    if (!ours) {
        char id[16];
        std::snprintf(id, sizeof id, "0x%08llX", static_cast<unsigned long long>(l.appId & 0xFFFFFFFF));
        storeFailure(ERROR_BADDB, m_path + " is a database of another program (application id " + id + ", " +
                                      std::to_string(l.objects) +
                                      " tables and indexes), not a KIVO95 key store; it was left as it is");
    }
    if (l.version > kSchemaVersion)
        storeFailure(ERROR_BADDB, m_path + " was written by a newer version of KIVO95 (store format " +
                                      std::to_string(l.version) + "); it was left as it is");
    if (!l.hasKeys || !l.hasVals)
        storeFailure(ERROR_REGISTRY_CORRUPT, m_path + " is damaged: its table \"" +
                                                 (l.hasKeys ? "vals" : "keys") +
                                                 "\" is missing; it was left as it is");

    m_db = readableConnection(m_path, true);
    if (m_db->readOnly()) {
        const std::string dir = dirOf(m_path);
        if (::access(m_path.c_str(), W_OK) != 0)
            m_readOnlyReason = errno == EROFS
                                   ? m_path + " is on a read-only file system"
                                   : m_path + " is read-only (its permissions do not let this user "
                                              "change it)";
        else if (::access(dir.c_str(), W_OK) != 0)
            m_readOnlyReason = "the folder " + dir + " holding " + m_path +
                               " is read-only, so the key store can be read but not changed";
        else
            m_readOnlyReason = m_path + " cannot be written";
    } else {
        // A commit is complete once it is in the log, which the kernel keeps
        // when the process dies; the log reaches the disk at checkpoints and
        // on RegFlushKey (see docs/decisions.md).
        m_db->exec("PRAGMA synchronous=NORMAL");
        if (l.version < kSchemaVersion)
            migrate();
    }
    return true;
}

void Store::migrate()
{
    // Stores of the first format (no application id, no value-order index).
    kivo::sqlite::Transaction t(*m_db, kivo::sqlite::Transaction::Write);
    if (pragmaInt(*m_db, "PRAGMA user_version") < kSchemaVersion) {
        m_db->exec(kValueOrderIndex);
        m_db->exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
        m_db->exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    }
    t.commit();
}

void Store::checkWritable() const
{
    if (!m_readOnlyReason.empty())
        storeFailure(ERROR_CANTWRITE, m_readOnlyReason);
}

void Store::begin(bool write)
{
    m_db->cached(write ? "BEGIN IMMEDIATE" : "BEGIN")->run();
}

void Store::commit()
{
    m_db->cached("COMMIT")->run();
}

void Store::rollback()
{
    if (m_db->autocommit())
        return; // SQLite ended it already (after an I/O error)
    try {
        m_db->cached("ROLLBACK")->run();
    } catch (const kivo::sqlite::Error&) {
        // Nothing more to do: a connection in this state rolls back when it closes.
    }
}

bool Store::keyExists(std::int64_t id)
{
    auto s = m_db->cached("SELECT 1 FROM keys WHERE id=?");
    s->bind(1, id);
    return s->step();
}

std::optional<std::int64_t> Store::child(std::int64_t parent, std::string_view name)
{
    auto s = m_db->cached("SELECT id FROM keys WHERE parent=? AND lname=?");
    s->bind(1, parent).bind(2, fold(name));
    if (!s->step())
        return std::nullopt;
    return s->columnInt(0);
}

std::int64_t Store::createChild(std::int64_t parent, std::string_view name)
{
    const std::int64_t now = fileTimeNow();
    {
        auto s = m_db->cached("INSERT INTO keys(parent, name, lname, mtime) VALUES(?,?,?,?)");
        s->bind(1, parent).bind(2, name).bind(3, fold(name)).bind(4, now);
        s->run();
    }
    const std::int64_t id = m_db->lastInsertRowid();
    touch(parent);
    return id;
}

std::int64_t Store::parentOf(std::int64_t id)
{
    auto s = m_db->cached("SELECT parent FROM keys WHERE id=?");
    s->bind(1, id);
    return s->step() ? s->columnInt(0) : 0;
}

void Store::touch(std::int64_t id)
{
    auto s = m_db->cached("UPDATE keys SET mtime=? WHERE id=?");
    s->bind(1, fileTimeNow()).bind(2, id);
    s->run();
}

Store::Cursor& Store::cursor(std::uintptr_t handle, bool values)
{
    auto& map = values ? m_valueCursors : m_keyCursors;
    return map[handle];
}

void Store::forget(std::uintptr_t handle)
{
    m_keyCursors.erase(handle);
    m_valueCursors.erase(handle);
}

std::pair<std::int64_t, std::int64_t> Store::stateVersion()
{
    auto s = m_db->cached("PRAGMA data_version");
    s->step();
    return {s->columnInt(0), sqlite3_total_changes64(m_db->handle())};
}

// ---- connections ---------------------------------------------------------------------------

// A child made by fork() has copies of its parent's connections; using or
// closing them would act on the parent's locks and log. They are left alone.
void Connections::leaveParentsConnections()
{
    if (m_generation == forkGeneration())
        return;
    for (auto& s : m_stores)
        (void)s.release();
    m_stores.clear();
    m_generation = forkGeneration();
}

Store& Connections::get(const std::string& path, const Store* pinned)
{
    leaveParentsConnections();
    struct stat st {
    };
    const bool exists = ::stat(path.c_str(), &st) == 0;
    for (auto it = m_stores.begin(); it != m_stores.end(); ++it) {
        if ((*it)->path() != path)
            continue;
        if (it->get() == pinned || (exists && (*it)->isFileAt(st))) {
            std::rotate(m_stores.begin(), it, it + 1);
            return *m_stores.front();
        }
        m_stores.erase(it); // removed or replaced: open the file there now
        break;
    }
    auto store = std::make_unique<Store>(path);
    m_stores.insert(m_stores.begin(), std::move(store));
    for (std::size_t i = m_stores.size(); i > kMaxOpenStores; --i) {
        if (m_stores[i - 1].get() != pinned)
            m_stores.erase(m_stores.begin() + static_cast<std::ptrdiff_t>(i - 1));
    }
    return *m_stores.front();
}

void Connections::release(const Store* pinned)
{
    leaveParentsConnections();
    std::erase_if(m_stores, [&](const std::unique_ptr<Store>& s) { return s.get() != pinned; });
}

void Connections::forget(std::uintptr_t handle)
{
    leaveParentsConnections();
    for (auto& s : m_stores)
        s->forget(handle);
}

Connections& connections()
{
    thread_local Connections c;
    return c;
}

} // namespace kivo::registry::detail
