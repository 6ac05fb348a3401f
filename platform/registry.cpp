// The registry calls over one SQLite file per user.
//
// Layout: table `keys` holds every key as (id, parent, name, folded name,
// last write time); the six roots are rows with fixed ids and parent 0.
// Table `vals` holds the values of a key, in creation order (rowid). Ids are
// never reused (AUTOINCREMENT), so a handle that remembers a deleted key's id
// can tell it was deleted even after a key of that name was made again.
//
// Handles are numbers from a table of our own (store path, key id); they are
// not pointers, so a stale handle can never reach freed memory.
#include "platform/registry.h"

#include "platform/sqlite_db.h"
#include "platform/trace.h"

#include <QString>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace
{

using kivo::sqlite::Database;
using kivo::sqlite::Statement;
using kivo::sqlite::Transaction;

constexpr int kSchemaVersion = 1;
// Long enough to outwait any other writer's single call, short enough that a
// wedged store is reported instead of hanging the program.
constexpr int kBusyTimeoutMs = 5000;

// A Win32 result code raised from deep inside a call; turned into the return
// value at the call's boundary.
struct RegFailure {
    LONG code;
};

// ---- roots --------------------------------------------------------------

struct Root {
    std::uintptr_t hkey;
    const char* name;
    std::int64_t id;
};

// Row ids are the predefined handle's low bits plus one, so they stay fixed
// in every store. HKEY_PERFORMANCE_DATA has no row: it is refused.
constexpr Root kRoots[] = {
    {0x80000000u, "HKEY_CLASSES_ROOT", 1},   {0x80000001u, "HKEY_CURRENT_USER", 2},
    {0x80000002u, "HKEY_LOCAL_MACHINE", 3},  {0x80000003u, "HKEY_USERS", 4},
    {0x80000005u, "HKEY_CURRENT_CONFIG", 6}, {0x80000006u, "HKEY_DYN_DATA", 7},
};

const Root* findRoot(HKEY h)
{
    const auto v = reinterpret_cast<std::uintptr_t>(h);
    for (const Root& r : kRoots)
        if (r.hkey == v)
            return &r;
    return nullptr;
}

bool isPredefined(HKEY h)
{
    const auto v = reinterpret_cast<std::uintptr_t>(h);
    return v >= 0x80000000u && v <= 0x8000000Fu;
}

// ---- names and paths ----------------------------------------------------

// The form names are compared in. Names are 8-bit text passed through
// unchanged; where they are valid UTF-8 (the usual Linux code page) letters
// of every script compare without case, as on Windows, else ASCII letters do.
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

// Splits a key path at backslashes. Empty parts (a trailing or doubled
// separator) name nothing and are skipped; a leading separator is refused.
std::vector<std::string_view> splitPath(const char* path)
{
    std::vector<std::string_view> parts;
    if (!path || !*path)
        return parts;
    std::string_view p(path);
    if (p.front() == '\\')
        throw RegFailure{ERROR_BAD_PATHNAME};
    std::size_t start = 0;
    while (start <= p.size()) {
        std::size_t end = p.find('\\', start);
        if (end == std::string_view::npos)
            end = p.size();
        if (end > start)
            parts.push_back(p.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// ---- handles -------------------------------------------------------------

struct KeyRef {
    std::string store; // the file the key lives in
    std::int64_t id = 0;
};

class HandleTable
{
  public:
    HKEY add(KeyRef ref)
    {
        std::lock_guard g(m_lock);
        std::uintptr_t h = m_next;
        m_next += 4;
        if (m_next >= 0x80000000u && m_next <= 0x80000010u)
            m_next = 0x80000100u; // never hand out a predefined root's value
        m_handles.emplace(h, std::move(ref));
        return reinterpret_cast<HKEY>(h);
    }

    std::optional<KeyRef> find(HKEY h)
    {
        std::lock_guard g(m_lock);
        auto it = m_handles.find(reinterpret_cast<std::uintptr_t>(h));
        if (it == m_handles.end())
            return std::nullopt;
        return it->second;
    }

    bool remove(HKEY h)
    {
        std::lock_guard g(m_lock);
        return m_handles.erase(reinterpret_cast<std::uintptr_t>(h)) > 0;
    }

  private:
    std::mutex m_lock;
    std::unordered_map<std::uintptr_t, KeyRef> m_handles;
    // Values are never reused: closing a handle twice, or using it after
    // closing, stays an error even after many more opens.
    std::uintptr_t m_next = 0x1000;
};

HandleTable& handles()
{
    static HandleTable t;
    return t;
}

// ---- the store file ------------------------------------------------------

void makeDirs(const std::string& dir)
{
    for (std::size_t i = 1; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == '/') {
            const std::string part = dir.substr(0, i);
            if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                throw RegFailure{ERROR_CANTOPEN};
        }
    }
}

// Read on every call so that a test (or kivo-reg) can switch stores.
std::string storePath()
{
    if (const char* p = std::getenv("KIVO95_REGISTRY"); p && *p)
        return p;
    std::string base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && x[0] == '/')
        base = x;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        throw RegFailure{ERROR_CANTOPEN};
    const std::string dir = base + "/kivo95";
    makeDirs(dir);
    return dir + "/registry.db";
}

// SQLite would create the file with 0644; make it ours alone first. Its
// journal files take the same mode from it.
void createPrivateFile(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    } else if (errno != EEXIST) {
        throw RegFailure{ERROR_CANTOPEN};
    }
}

std::int64_t fileTimeNow()
{
    using namespace std::chrono;
    // FILETIME counts 100 ns steps since 1601-01-01.
    const auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return since1970 / 100 + 116444736000000000LL;
}

class Store
{
  public:
    explicit Store(const std::string& path) : m_db((createPrivateFile(path), path))
    {
        m_db.setBusyTimeout(kBusyTimeoutMs);
        // FULL: each commit reaches the disk before the call returns, so a
        // write that returned survives a killed process and a power cut.
        m_db.exec("PRAGMA synchronous=FULL");
        int version = userVersion();
        if (version == 0)
            version = createSchema();
        if (version != kSchemaVersion)
            throw RegFailure{ERROR_BADDB}; // written by a newer program
    }

    Database& db() { return m_db; }

    bool keyExists(std::int64_t id)
    {
        Statement s = m_db.prepare("SELECT 1 FROM keys WHERE id=?");
        s.bind(1, id);
        return s.step();
    }

    // The key of a handle, or ERROR_KEY_DELETED when it is gone.
    void checkKey(std::int64_t id)
    {
        if (!keyExists(id))
            throw RegFailure{ERROR_KEY_DELETED};
    }

    std::optional<std::int64_t> child(std::int64_t parent, std::string_view name)
    {
        Statement s = m_db.prepare("SELECT id FROM keys WHERE parent=? AND lname=?");
        s.bind(1, parent).bind(2, fold(name));
        if (!s.step())
            return std::nullopt;
        return s.columnInt(0);
    }

    std::int64_t resolve(std::int64_t id, const std::vector<std::string_view>& parts)
    {
        for (std::string_view part : parts) {
            auto next = child(id, part);
            if (!next)
                throw RegFailure{ERROR_FILE_NOT_FOUND};
            id = *next;
        }
        return id;
    }

    std::int64_t createChild(std::int64_t parent, std::string_view name)
    {
        const std::int64_t now = fileTimeNow();
        Statement s = m_db.prepare("INSERT INTO keys(parent, name, lname, mtime) VALUES(?,?,?,?)");
        s.bind(1, parent).bind(2, name).bind(3, fold(name)).bind(4, now);
        s.run();
        const std::int64_t id = m_db.lastInsertRowid();
        touch(parent, now);
        return id;
    }

    void touch(std::int64_t id, std::int64_t when = fileTimeNow())
    {
        Statement s = m_db.prepare("UPDATE keys SET mtime=? WHERE id=?");
        s.bind(1, when).bind(2, id);
        s.run();
    }

    struct Value {
        std::string name;
        DWORD type = 0;
        std::vector<std::uint8_t> data;
    };

    std::optional<Value> value(std::int64_t key, std::string_view name)
    {
        Statement s = m_db.prepare("SELECT name, type, data FROM vals WHERE key=? AND lname=?");
        s.bind(1, key).bind(2, fold(name));
        if (!s.step())
            return std::nullopt;
        return Value{s.columnText(0), static_cast<DWORD>(s.columnInt(1)), s.columnBlob(2)};
    }

  private:
    int userVersion()
    {
        Statement s = m_db.prepare("PRAGMA user_version");
        s.step();
        return static_cast<int>(s.columnInt(0));
    }

    int createSchema()
    {
        // WAL lets readers go on while one process writes; the mode is kept
        // in the file, so it is set once, when the store is made.
        m_db.exec("PRAGMA journal_mode=WAL");
        Transaction t(m_db, Transaction::Write);
        int version = userVersion(); // another process may have won the race
        if (version == 0) {
            m_db.exec("CREATE TABLE keys("
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
                      " UNIQUE(key, lname));");
            Statement s = m_db.prepare("INSERT INTO keys(id, parent, name, lname, mtime) VALUES(?,0,?,?,?)");
            for (const Root& r : kRoots) {
                s.bind(1, r.id).bind(2, r.name).bind(3, fold(r.name)).bind(4, fileTimeNow());
                s.run();
                s.reset();
            }
            version = kSchemaVersion;
            m_db.exec("PRAGMA user_version=1");
        }
        t.commit();
        return version;
    }

    Database m_db;
};

// The key a handle stands for: a predefined root in the current store, or
// an entry of the handle table.
KeyRef keyOf(HKEY h)
{
    if (const Root* r = findRoot(h))
        return KeyRef{storePath(), r->id};
    if (isPredefined(h))
        throw RegFailure{ERROR_INVALID_HANDLE};
    if (auto ref = handles().find(h))
        return *ref;
    throw RegFailure{ERROR_INVALID_HANDLE};
}

// One call's work on the store: the file open, one transaction running, and
// the handle's key checked to be still there.
struct Session {
    Session(const KeyRef& ref, Transaction::Mode mode) : store(ref.store), tx(store.db(), mode)
    {
        store.checkKey(ref.id);
    }
    Database& db() { return store.db(); }
    Store store;
    Transaction tx;
};

// ---- errors --------------------------------------------------------------

LONG fromSqlite(const kivo::sqlite::Error& e)
{
    switch (e.code()) {
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_CANTOPEN;
    case SQLITE_READONLY:
        return ERROR_CANTWRITE;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_TOOBIG:
        return ERROR_OUTOFMEMORY;
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_PROTOCOL:
        return ERROR_REGISTRY_IO_FAILED;
    default:
        // SQLITE_NOTADB, SQLITE_CORRUPT, and SQLITE_ERROR from tables that
        // are missing or shaped differently: the file is not a store we can use.
        return ERROR_REGISTRY_CORRUPT;
    }
}

// The one place where failures inside a call become its result code.
template <class F> LONG guarded(F&& body)
{
    try {
        body();
        return ERROR_SUCCESS;
    } catch (const RegFailure& f) {
        return f.code;
    } catch (const kivo::sqlite::Error& e) {
        return fromSqlite(e);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// ---- trace ---------------------------------------------------------------

std::string hex(std::uint64_t v)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

std::string keyText(HKEY h)
{
    if (const Root* r = findRoot(h))
        return r->name;
    if (reinterpret_cast<std::uintptr_t>(h) == 0x80000004u)
        return "HKEY_PERFORMANCE_DATA";
    return hex(reinterpret_cast<std::uintptr_t>(h));
}

template <class T> std::string ptrOut(const T* p)
{
    return p ? std::to_string(*p) : std::string("NULL");
}

} // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    HKEY result = nullptr;
    const LONG rc = guarded([&] {
        if (!phkResult)
            throw RegFailure{ERROR_INVALID_PARAMETER};
        const KeyRef base = keyOf(hKey);
        const auto parts = splitPath(lpSubKey);
        Session s(base, Transaction::Read);
        const std::int64_t id = s.store.resolve(base.id, parts);
        s.tx.commit();
        result = handles().add(KeyRef{base.store, id});
        *phkResult = result;
    });
    if (kivo::trace::enabled())
        kivo::trace::line("RegOpenKeyExA(hkey=" + keyText(hKey) + ", subkey=" + kivo::trace::quote(lpSubKey) +
                          ", options=" + std::to_string(ulOptions) + ", sam=" + hex(samDesired) +
                          ") = " + std::to_string(rc) + (rc == 0 ? " hkey=" + keyText(result) : ""));
    return rc;
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition)
{
    HKEY result = nullptr;
    DWORD disposition = 0;
    const LONG rc = guarded([&] {
        if (!phkResult || Reserved != 0)
            throw RegFailure{ERROR_INVALID_PARAMETER};
        const KeyRef base = keyOf(hKey);
        const auto parts = splitPath(lpSubKey);
        Session s(base, Transaction::Write);
        std::int64_t id = base.id;
        bool created = false;
        for (std::string_view part : parts) {
            std::optional<std::int64_t> next;
            if (!created)
                next = s.store.child(id, part);
            created = !next;
            id = next ? *next : s.store.createChild(id, part);
        }
        s.tx.commit();
        disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        result = handles().add(KeyRef{base.store, id});
        *phkResult = result;
        if (lpdwDisposition)
            *lpdwDisposition = disposition;
    });
    if (kivo::trace::enabled())
        kivo::trace::line(
            "RegCreateKeyExA(hkey=" + keyText(hKey) + ", subkey=" + kivo::trace::quote(lpSubKey) +
            ", class=" + kivo::trace::quote(lpClass) + ", options=" + std::to_string(dwOptions) +
            ", sam=" + hex(samDesired) + ") = " + std::to_string(rc) +
            (rc == 0 ? " hkey=" + keyText(result) + " disposition=" + std::to_string(disposition) : ""));
    return rc;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData)
{
    const DWORD given = lpcbData ? *lpcbData : 0;
    const LONG rc = guarded([&] {
        if (lpReserved || (lpData && !lpcbData))
            throw RegFailure{ERROR_INVALID_PARAMETER};
        const KeyRef base = keyOf(hKey);
        Session s(base, Transaction::Read);
        auto v = s.store.value(base.id, lpValueName ? lpValueName : "");
        s.tx.commit();
        if (!v)
            throw RegFailure{ERROR_FILE_NOT_FOUND};
        const auto size = static_cast<DWORD>(v->data.size());
        if (lpType)
            *lpType = v->type;
        if (lpcbData)
            *lpcbData = size;
        if (lpData) {
            if (given < size)
                throw RegFailure{ERROR_MORE_DATA};
            if (size)
                std::memcpy(lpData, v->data.data(), size);
        }
    });
    if (kivo::trace::enabled())
        kivo::trace::line(
            "RegQueryValueExA(hkey=" + keyText(hKey) + ", name=" + kivo::trace::quote(lpValueName) +
            ", data=" + (lpData ? "buffer" : "NULL") +
            ", size=" + (lpcbData ? std::to_string(given) : "NULL") + ") = " + std::to_string(rc) +
            (rc == 0 || rc == ERROR_MORE_DATA ? " type=" + ptrOut(lpType) + " size=" + ptrOut(lpcbData)
                                              : ""));
    return rc;
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData)
{
    const LONG rc = guarded([&] {
        if (!lpData && cbData)
            throw RegFailure{ERROR_INVALID_PARAMETER};
        const KeyRef base = keyOf(hKey);
        const std::string_view name = lpValueName ? lpValueName : "";
        Session s(base, Transaction::Write);
        // The first writer's spelling of the name stays (case-preserving).
        Statement q = s.db().prepare("INSERT INTO vals(key, name, lname, type, data) VALUES(?,?,?,?,?)"
                                     " ON CONFLICT(key, lname) DO UPDATE SET type=excluded.type,"
                                     " data=excluded.data");
        q.bind(1, base.id).bind(2, name).bind(3, fold(name)).bind(4, std::int64_t{dwType});
        q.bindBlob(5, lpData, cbData);
        q.run();
        s.store.touch(base.id);
        s.tx.commit();
    });
    if (kivo::trace::enabled())
        kivo::trace::line("RegSetValueExA(hkey=" + keyText(hKey) +
                          ", name=" + kivo::trace::quote(lpValueName) + ", type=" + std::to_string(dwType) +
                          ", size=" + std::to_string(cbData) + ") = " + std::to_string(rc));
    return rc;
}

LONG RegCloseKey(HKEY hKey)
{
    LONG rc = ERROR_SUCCESS;
    // Closing a predefined root is harmless, as on Windows.
    if (!findRoot(hKey) && !handles().remove(hKey))
        rc = ERROR_INVALID_HANDLE;
    if (kivo::trace::enabled())
        kivo::trace::line("RegCloseKey(hkey=" + keyText(hKey) + ") = " + std::to_string(rc));
    return rc;
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    std::string found;
    const LONG rc = guarded([&] {
        if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass))
            throw RegFailure{ERROR_INVALID_PARAMETER};
        const KeyRef base = keyOf(hKey);
        Session s(base, Transaction::Read);
        Statement q =
            s.db().prepare("SELECT name, mtime FROM keys WHERE parent=? ORDER BY lname LIMIT 1 OFFSET ?");
        q.bind(1, base.id).bind(2, std::int64_t{dwIndex});
        if (!q.step())
            throw RegFailure{ERROR_NO_MORE_ITEMS};
        found = q.columnText(0);
        const std::int64_t mtime = q.columnInt(1);
        // Room for the name and its NUL, else nothing is written.
        if (found.size() >= *lpcchName || (lpClass && *lpcchClass < 1))
            throw RegFailure{ERROR_MORE_DATA};
        std::memcpy(lpName, found.c_str(), found.size() + 1);
        *lpcchName = static_cast<DWORD>(found.size());
        if (lpClass) {
            lpClass[0] = '\0';
            *lpcchClass = 0;
        }
        if (lpftLastWriteTime) {
            lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(mtime);
            lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(mtime) >> 32);
        }
    });
    if (kivo::trace::enabled())
        kivo::trace::line("RegEnumKeyExA(hkey=" + keyText(hKey) + ", index=" + std::to_string(dwIndex) +
                          ") = " + std::to_string(rc) +
                          (rc == 0 ? " name=" + kivo::trace::quote(found) : ""));
    return rc;
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    std::string found;
    const DWORD given = lpcbData ? *lpcbData : 0;
    const LONG rc = guarded([&] {
        if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
            throw RegFailure{ERROR_INVALID_PARAMETER};
        const KeyRef base = keyOf(hKey);
        Session s(base, Transaction::Read);
        Statement q =
            s.db().prepare("SELECT name, type, data FROM vals WHERE key=? ORDER BY rowid LIMIT 1 OFFSET ?");
        q.bind(1, base.id).bind(2, std::int64_t{dwIndex});
        if (!q.step())
            throw RegFailure{ERROR_NO_MORE_ITEMS};
        found = q.columnText(0);
        const auto type = static_cast<DWORD>(q.columnInt(1));
        const auto data = q.columnBlob(2);
        const auto size = static_cast<DWORD>(data.size());
        if (found.size() >= *lpcchValueName)
            throw RegFailure{ERROR_MORE_DATA};
        if (lpData && given < size) {
            // As for RegQueryValueExA: the caller learns the size it needs.
            *lpcbData = size;
            if (lpType)
                *lpType = type;
            throw RegFailure{ERROR_MORE_DATA};
        }
        std::memcpy(lpValueName, found.c_str(), found.size() + 1);
        *lpcchValueName = static_cast<DWORD>(found.size());
        if (lpType)
            *lpType = type;
        if (lpData && size)
            std::memcpy(lpData, data.data(), size);
        if (lpcbData)
            *lpcbData = size;
    });
    if (kivo::trace::enabled())
        kivo::trace::line("RegEnumValueA(hkey=" + keyText(hKey) + ", index=" + std::to_string(dwIndex) +
                          ") = " + std::to_string(rc) +
                          (rc == 0 ? " name=" + kivo::trace::quote(found) + " type=" + ptrOut(lpType) +
                                         " size=" + ptrOut(lpcbData)
                                   : ""));
    return rc;
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    const LONG rc = guarded([&] {
        const KeyRef base = keyOf(hKey);
        const std::string_view name = lpValueName ? lpValueName : "";
        Session s(base, Transaction::Write);
        Statement q = s.db().prepare("DELETE FROM vals WHERE key=? AND lname=?");
        q.bind(1, base.id).bind(2, fold(name));
        q.run();
        if (s.db().changes() == 0)
            throw RegFailure{ERROR_FILE_NOT_FOUND};
        s.store.touch(base.id);
        s.tx.commit();
    });
    if (kivo::trace::enabled())
        kivo::trace::line("RegDeleteValueA(hkey=" + keyText(hKey) +
                          ", name=" + kivo::trace::quote(lpValueName) + ") = " + std::to_string(rc));
    return rc;
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    const LONG rc = guarded([&] {
        if (!lpSubKey)
            throw RegFailure{ERROR_INVALID_PARAMETER};
        const KeyRef base = keyOf(hKey);
        const auto parts = splitPath(lpSubKey);
        Session s(base, Transaction::Write);
        const std::int64_t id = s.store.resolve(base.id, parts);
        Statement parentOf = s.db().prepare("SELECT parent FROM keys WHERE id=?");
        parentOf.bind(1, id);
        parentOf.step();
        const std::int64_t parent = parentOf.columnInt(0);
        // Roots stay; a key with subkeys is refused as on Windows NT, so a
        // slip can never take a whole tree (kivo-reg deletes trees bottom-up).
        if (parent == 0)
            throw RegFailure{ERROR_ACCESS_DENIED};
        Statement kids = s.db().prepare("SELECT 1 FROM keys WHERE parent=? LIMIT 1");
        kids.bind(1, id);
        if (kids.step())
            throw RegFailure{ERROR_ACCESS_DENIED};
        Statement dropValues = s.db().prepare("DELETE FROM vals WHERE key=?");
        dropValues.bind(1, id);
        dropValues.run();
        Statement dropKey = s.db().prepare("DELETE FROM keys WHERE id=?");
        dropKey.bind(1, id);
        dropKey.run();
        s.store.touch(parent);
        s.tx.commit();
    });
    if (kivo::trace::enabled())
        kivo::trace::line("RegDeleteKeyA(hkey=" + keyText(hKey) + ", subkey=" + kivo::trace::quote(lpSubKey) +
                          ") = " + std::to_string(rc));
    return rc;
}
