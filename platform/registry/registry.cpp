// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The registry calls over one SQLite file per user (registry_store.h holds
// the file and its rows).
//
// Handles are numbers from a table of our own (store path, key id, depth);
// they are not pointers, so a stale handle can never reach freed memory.
#include "platform/registry/registry.h"

#include "platform/registry/registry_store.h"
#include "platform/registry/sqlite_db.h"
#include "platform/system/trace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace
{

using kivo::registry::detail::connections;
using kivo::registry::detail::fold;
using kivo::registry::detail::RegFailure;
using kivo::registry::detail::Store;
using kivo::registry::detail::storePath;

// Windows keeps a key at most 512 levels below its root.
constexpr std::size_t kMaxDepth = 512;

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
    std::size_t depth = 0; // levels below the root
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

// The key a handle stands for: a predefined root in the current store, or
// an entry of the handle table.
KeyRef keyOf(HKEY h)
{
    if (const Root* r = findRoot(h))
        return KeyRef{storePath(), r->id, 0};
    if (isPredefined(h))
        throw RegFailure{ERROR_INVALID_HANDLE};
    if (auto ref = handles().find(h))
        return *ref;
    throw RegFailure{ERROR_INVALID_HANDLE};
}

// ---- transactions ----------------------------------------------------------

// The transaction scope in force on this thread, if any.
struct Scope {
    Store* store = nullptr;
    bool write = false;
    LONG failed = 0;     // the first failure on the store inside the scope
    std::string problem; // its words
    unsigned generation = kivo::registry::detail::forkGeneration();
    // Inside a scope no other connection can change what this one sees (a
    // reader keeps its snapshot, a writer holds the lock): a key found once
    // stays there until this connection changes something.
    std::int64_t serial = 0;
    std::unordered_set<std::int64_t> seenKeys;
    std::int64_t seenAtChange = -1;
};
thread_local std::optional<Scope> t_scope_;
thread_local std::int64_t t_scopeSerial = 0;

// The scope in force; a child made by fork() inherits none (its parent's
// connection is not its own).
std::optional<Scope>& scope()
{
    if (t_scope_ && t_scope_->generation != kivo::registry::detail::forkGeneration())
        t_scope_.reset();
    return t_scope_;
}

std::int64_t changesOf(Store& store)
{
    return sqlite3_total_changes64(store.db().handle());
}

// Whether the key of a handle is still there.
bool keyStillThere(Store& store, std::int64_t id)
{
    // The roots are always there.
    if (id <= kivo::registry::detail::kLastRootId)
        return true;
    auto& sc = scope();
    if (!sc || sc->store != &store)
        return store.keyExists(id);
    const std::int64_t changes = changesOf(store);
    if (sc->seenAtChange != changes) {
        sc->seenKeys.clear();
        sc->seenAtChange = changes;
    }
    if (sc->seenKeys.count(id))
        return true;
    if (!store.keyExists(id))
        return false;
    sc->seenKeys.insert(id);
    return true;
}
// The store the running call works on, for the words of its failure.
thread_local Store* t_current = nullptr;

// One call's work on the store: the scope's transaction when one is in
// force on this store, else a transaction of the call's own; and the
// handle's key checked to be still there.
class Session
{
  public:
    Session(const KeyRef& ref, bool write)
    {
        if (scope() && scope()->store->path() == ref.store) {
            if (scope()->failed) {
                kivo::registry::detail::setProblem(scope()->problem);
                throw RegFailure{scope()->failed};
            }
            if (write && !scope()->write)
                throw RegFailure{ERROR_ACCESS_DENIED};
            m_store = scope()->store;
        } else {
            m_store = &connections().get(ref.store, scope() ? scope()->store : nullptr);
            if (write)
                m_store->checkWritable();
            t_current = m_store;
            m_store->begin(write);
            m_own = true;
        }
        t_current = m_store;
        // (A constructor that throws gets no destructor: end the call's own
        // transaction here.)
        try {
            if (!keyStillThere(*m_store, ref.id))
                throw RegFailure{ERROR_KEY_DELETED};
        } catch (...) {
            if (m_own)
                m_store->rollback();
            throw;
        }
    }
    ~Session()
    {
        if (m_own)
            m_store->rollback();
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Store& store() { return *m_store; }
    kivo::sqlite::Database& db() { return m_store->db(); }
    void commit()
    {
        if (m_own) {
            m_store->commit();
            m_own = false;
        }
    }

  private:
    Store* m_store = nullptr;
    bool m_own = false;
};

// The one place where failures inside a call become its result code.
template <class F> LONG guarded(F&& body)
{
    kivo::registry::detail::clearProblem();
    t_current = nullptr;
    try {
        // A body may return its result (for a common outcome such as the end
        // of an enumeration, which is no failure worth an exception).
        if constexpr (std::is_same_v<decltype(body()), void>) {
            body();
            return ERROR_SUCCESS;
        } else {
            return body();
        }
    } catch (const RegFailure& f) {
        return f.code;
    } catch (const kivo::sqlite::Error& e) {
        std::string path;
        try {
            path = t_current ? t_current->path() : storePath();
        } catch (const RegFailure&) {
            path = "the key store";
        }
        const LONG code = kivo::registry::detail::fromSqlite(e, path);
        // A failure on the store may have undone part of the scope's work
        // (or all of it): nothing of the scope may be committed now.
        if (scope() && t_current == scope()->store && !scope()->failed) {
            scope()->failed = code;
            scope()->problem = kivo::registry::detail::problem();
        }
        return code;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

std::int64_t resolve(Store& store, std::int64_t id, const std::vector<std::string_view>& parts)
{
    for (std::string_view part : parts) {
        auto next = store.child(id, part);
        if (!next)
            throw RegFailure{ERROR_FILE_NOT_FOUND};
        id = *next;
    }
    return id;
}

// Enumerations remember per handle where the last call got to: the next
// index then continues from that row instead of counting from the first, as
// long as the store has not changed in between. Each query's last column is
// the row's position (a subkey's folded name, a value's rowid).
struct EnumQueries {
    const char* same;    // the cursor's row again
    const char* after;   // the row after the cursor's
    const char* counted; // the row at an offset
};
constexpr EnumQueries kSubkeyRows{
    "SELECT name, mtime, lname FROM keys WHERE parent=? AND lname>=? ORDER BY lname LIMIT 1",
    "SELECT name, mtime, lname FROM keys WHERE parent=? AND lname>? ORDER BY lname LIMIT 1",
    "SELECT name, mtime, lname FROM keys WHERE parent=? ORDER BY lname LIMIT 1 OFFSET ?"};
constexpr EnumQueries kValueRows{
    "SELECT name, type, data, rowid FROM vals WHERE key=? AND rowid>=? ORDER BY rowid LIMIT 1",
    "SELECT name, type, data, rowid FROM vals WHERE key=? AND rowid>? ORDER BY rowid LIMIT 1",
    "SELECT name, type, data, rowid FROM vals WHERE key=? ORDER BY rowid LIMIT 1 OFFSET ?"};

// The statement stepped onto the row at index; none past the last row.
std::optional<kivo::sqlite::CachedStatement> enumRow(Session& s, HKEY h, std::int64_t key, DWORD index,
                                                     bool values)
{
    const EnumQueries& sql = values ? kValueRows : kSubkeyRows;
    const int position = values ? 3 : 2;
    Store::Cursor& cur = s.store().cursor(reinterpret_cast<std::uintptr_t>(h), values);
    // Inside a scope only this connection changes what it sees.
    const auto& sc = scope();
    const auto [version, changes] = sc && sc->store == &s.store()
                                        ? std::pair{-sc->serial, changesOf(s.store())}
                                        : s.store().stateVersion();
    const bool follows =
        cur.version == version && cur.changes == changes && (index == cur.index || index == cur.index + 1);
    auto q = s.db().cached(!follows ? sql.counted : index == cur.index ? sql.same : sql.after);
    q->bind(1, key);
    if (!follows)
        q->bind(2, std::int64_t{index});
    else if (values)
        q->bind(2, cur.rowid);
    else
        q->bind(2, cur.name);
    if (!q->step())
        return std::nullopt;
    cur = values ? Store::Cursor{index, {}, q->columnInt(position), version, changes}
                 : Store::Cursor{index, q->columnText(position), 0, version, changes};
    return q;
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
        Session s(base, false);
        const std::int64_t id = resolve(s.store(), base.id, parts);
        s.commit();
        result = handles().add(KeyRef{base.store, id, base.depth + parts.size()});
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
        const std::size_t depth = base.depth + parts.size();
        Session s(base, true);
        std::int64_t id = base.id;
        bool created = false;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            std::optional<std::int64_t> next;
            if (!created)
                next = s.store().child(id, parts[i]);
            if (!next && base.depth + i + 1 > kMaxDepth)
                throw RegFailure{ERROR_BADKEY}; // nothing of it is kept: the call's work is undone
            created = !next;
            id = next ? *next : s.store().createChild(id, parts[i]);
        }
        s.commit();
        disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        result = handles().add(KeyRef{base.store, id, depth});
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
        Session s(base, false);
        auto q = s.db().cached("SELECT type, data FROM vals WHERE key=? AND lname=?");
        q->bind(1, base.id).bind(2, fold(lpValueName ? lpValueName : ""));
        if (!q->step())
            throw RegFailure{ERROR_FILE_NOT_FOUND};
        const auto type = static_cast<DWORD>(q->columnInt(0));
        const std::string_view data = q->columnBytes(1);
        const auto size = static_cast<DWORD>(data.size());
        if (lpType)
            *lpType = type;
        if (lpcbData)
            *lpcbData = size;
        if (lpData) {
            if (given < size)
                throw RegFailure{ERROR_MORE_DATA};
            if (size)
                std::memcpy(lpData, data.data(), size);
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
        Session s(base, true);
        {
            // The first writer's spelling of the name stays (case-preserving).
            auto q = s.db().cached("INSERT INTO vals(key, name, lname, type, data) VALUES(?,?,?,?,?)"
                                   " ON CONFLICT(key, lname) DO UPDATE SET type=excluded.type,"
                                   " data=excluded.data");
            q->bind(1, base.id).bind(2, name).bind(3, fold(name)).bind(4, std::int64_t{dwType});
            q->bindBlob(5, lpData, cbData);
            q->run();
        }
        s.store().touch(base.id);
        s.commit();
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
    else
        connections().forget(reinterpret_cast<std::uintptr_t>(hKey));
    if (kivo::trace::enabled())
        kivo::trace::line("RegCloseKey(hkey=" + keyText(hKey) + ") = " + std::to_string(rc));
    return rc;
}

LONG RegFlushKey(HKEY hKey)
{
    const LONG rc = guarded([&] {
        const KeyRef base = keyOf(hKey);
        Session s(base, false);
        s.commit();
        // Every commit is in the log already; syncing the log makes them all
        // durable. (The log's file is open once the connection has read.)
        sqlite3_file* log = nullptr;
        if (sqlite3_file_control(s.db().handle(), "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) != SQLITE_OK ||
            !log || !log->pMethods)
            return;
        if (const int sync = log->pMethods->xSync(log, SQLITE_SYNC_NORMAL); sync != SQLITE_OK)
            throw kivo::sqlite::Error(sync, "cannot sync the log", errno);
    });
    if (kivo::trace::enabled())
        kivo::trace::line("RegFlushKey(hkey=" + keyText(hKey) + ") = " + std::to_string(rc));
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
        Session s(base, false);
        auto row = enumRow(s, hKey, base.id, dwIndex, false);
        if (!row)
            return ERROR_NO_MORE_ITEMS;
        auto& q = *row;
        found = q->columnText(0);
        const std::int64_t mtime = q->columnInt(1);
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
        return ERROR_SUCCESS;
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
        Session s(base, false);
        auto row = enumRow(s, hKey, base.id, dwIndex, true);
        if (!row)
            return ERROR_NO_MORE_ITEMS;
        auto& q = *row;
        found = q->columnText(0);
        const auto type = static_cast<DWORD>(q->columnInt(1));
        const std::string_view data = q->columnBytes(2);
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
        return ERROR_SUCCESS;
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
        Session s(base, true);
        {
            auto q = s.db().cached("DELETE FROM vals WHERE key=? AND lname=?");
            q->bind(1, base.id).bind(2, fold(name));
            q->run();
        }
        if (s.db().changes() == 0)
            throw RegFailure{ERROR_FILE_NOT_FOUND};
        s.store().touch(base.id);
        s.commit();
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
        Session s(base, true);
        const std::int64_t id = resolve(s.store(), base.id, parts);
        const std::int64_t parent = s.store().parentOf(id);
        // Roots stay; a key with subkeys is refused as on Windows NT, so a
        // slip can never take a whole tree (kivo-reg deletes trees bottom-up).
        if (parent == 0)
            throw RegFailure{ERROR_ACCESS_DENIED};
        {
            auto kids = s.db().cached("SELECT 1 FROM keys WHERE parent=? LIMIT 1");
            kids->bind(1, id);
            if (kids->step())
                throw RegFailure{ERROR_ACCESS_DENIED};
        }
        {
            auto dropValues = s.db().cached("DELETE FROM vals WHERE key=?");
            dropValues->bind(1, id);
            dropValues->run();
        }
        {
            auto dropKey = s.db().cached("DELETE FROM keys WHERE id=?");
            dropKey->bind(1, id);
            dropKey->run();
        }
        s.store().touch(parent);
        s.commit();
    });
    if (kivo::trace::enabled())
        kivo::trace::line("RegDeleteKeyA(hkey=" + keyText(hKey) + ", subkey=" + kivo::trace::quote(lpSubKey) +
                          ") = " + std::to_string(rc));
    return rc;
}

// ---- additions -------------------------------------------------------------------

namespace kivo::registry
{

Transaction::Transaction(Mode mode)
{
    if (scope()) {
        // Joins the scope in force; a writer cannot join a reader.
        if (mode == Write && !scope()->write)
            m_status = ERROR_ACCESS_DENIED;
    } else {
        m_status = guarded([&] {
            Store& store = connections().get(storePath(), nullptr);
            t_current = &store;
            if (mode == Write)
                store.checkWritable();
            store.begin(mode == Write);
            scope() = Scope{
                &store, mode == Write, 0, {}, kivo::registry::detail::forkGeneration(), ++t_scopeSerial, {},
                -1};
            m_outermost = true;
        });
    }
    if (kivo::trace::enabled())
        kivo::trace::line(std::string("RegTransaction(") + (mode == Write ? "write" : "read") +
                          (m_outermost || m_status ? "" : ", joined") + ") = " + std::to_string(m_status));
}

Transaction::~Transaction()
{
    if (m_done || !m_outermost || !scope())
        return;
    scope()->store->rollback();
    scope().reset();
    if (kivo::trace::enabled())
        kivo::trace::line("RegTransaction rolled back");
}

LONG Transaction::commit()
{
    if (m_done)
        return m_status;
    m_done = true;
    if (m_status || !m_outermost)
        return m_status ? m_status : (scope() ? scope()->failed : 0);
    if (!scope())
        return m_status = ERROR_INVALID_HANDLE; // begun in the parent of this process
    Store* store = scope()->store;
    LONG rc = scope()->failed;
    if (rc) {
        detail::setProblem(scope()->problem);
    } else {
        rc = guarded([&] {
            t_current = store;
            store->commit();
        });
    }
    if (rc)
        store->rollback();
    scope().reset();
    m_status = rc;
    if (kivo::trace::enabled())
        kivo::trace::line("RegTransaction commit = " + std::to_string(rc));
    return rc;
}

std::string LastStoreProblem()
{
    return detail::problem();
}

LONG CheckStore()
{
    return guarded([&] {
        Store& store = connections().get(storePath(), scope() ? scope()->store : nullptr);
        t_current = &store;
        auto check = store.db().prepare("PRAGMA quick_check");
        std::string first;
        if (check.step())
            first = check.columnText(0);
        if (first != "ok")
            detail::storeFailure(ERROR_REGISTRY_CORRUPT, store.path() + " is damaged (" + first + ")");
    });
}

void ReleaseConnections()
{
    connections().release(scope() ? scope()->store : nullptr);
}

} // namespace kivo::registry
