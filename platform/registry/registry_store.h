// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Inside the registry layer: the store file, its connections and its rows.
//
// Layout: table `keys` holds every key as (id, parent, name, folded name,
// last write time); the six roots are rows with fixed ids and parent 0.
// Table `vals` holds the values of a key, in creation order (rowid). Ids are
// never reused (AUTOINCREMENT), so a handle that remembers a deleted key's id
// can tell it was deleted even after a key of that name was made again.
#pragma once

#include "platform/registry/sqlite_db.h"
#include "platform/system/win32types.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace kivo::registry::detail
{

// A Win32 result code raised from deep inside a call; turned into the
// call's return value at its boundary.
struct RegFailure {
    LONG code;
};

// Raises a failure of the store itself, with the words LastStoreProblem gives.
[[noreturn]] void storeFailure(LONG code, std::string problem);
void setProblem(std::string problem);
void clearProblem();
const std::string& problem();

// The Win32 code of a SQLite failure on the store at path; the words for it
// go to LastStoreProblem.
LONG fromSqlite(const kivo::sqlite::Error& e, const std::string& path);

// Counts the fork() calls this process came out of as the child: a copy of
// a connection made in another generation is the parent's, not ours.
unsigned forkGeneration();

// The form names are compared in (case folded).
std::string fold(std::string_view name);

// $KIVO95_REGISTRY, else the default file under the user's configuration
// folder. Read on every call so that a process (a test, kivo-reg) can switch stores.
std::string storePath();

// Row ids of the roots: the predefined handle's low bits plus one.
constexpr std::int64_t kLastRootId = 7;

// One open connection to one store file, used by one thread.
class Store
{
  public:
    // Opens the store at path, making a new one when there is no file (or an
    // empty one), and makes sure it is a key store of ours. Throws
    // RegFailure or kivo::sqlite::Error.
    explicit Store(const std::string& path);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const std::string& path() const { return m_path; }
    kivo::sqlite::Database& db() { return *m_db; }
    // Still the file at its path (not removed or replaced since it was opened).
    bool isFileAt(const struct stat& st) const { return st.st_dev == m_dev && st.st_ino == m_ino; }
    // Raises ERROR_CANTWRITE, saying why, when the store cannot be written.
    void checkWritable() const;

    void begin(bool write);
    void commit();
    void rollback(); // also when SQLite ended the transaction itself

    bool keyExists(std::int64_t id);
    std::optional<std::int64_t> child(std::int64_t parent, std::string_view name);
    std::int64_t createChild(std::int64_t parent, std::string_view name);
    std::int64_t parentOf(std::int64_t id);
    void touch(std::int64_t id);

    // Where an enumeration on a handle got to: index n was the row at `at`
    // (a folded key name, or a value's rowid), seen in this state of the store.
    struct Cursor {
        DWORD index = 0;
        std::string name;
        std::int64_t rowid = 0;
        std::int64_t version = -1;
        std::int64_t changes = -1;
    };
    // The cursor of a handle's key or value enumeration on this connection.
    Cursor& cursor(std::uintptr_t handle, bool values);
    void forget(std::uintptr_t handle);
    // Changes with every commit of any connection, this one's included.
    std::pair<std::int64_t, std::int64_t> stateVersion();

  private:
    void open();
    bool identify();
    void migrate();

    std::string m_path;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    std::unique_ptr<kivo::sqlite::Database> m_db;
    std::string m_readOnlyReason; // empty: writable
    std::unordered_map<std::uintptr_t, Cursor> m_keyCursors, m_valueCursors;
};

// The calling thread's open stores.
class Connections
{
  public:
    // The store at path, opened on first use and again when its file was
    // removed or replaced. `pinned` is never dropped (a transaction uses it).
    Store& get(const std::string& path, const Store* pinned);
    void release(const Store* pinned);
    // Drops what the stores remember about a closed handle.
    void forget(std::uintptr_t handle);

  private:
    void leaveParentsConnections();

    std::vector<std::unique_ptr<Store>> m_stores; // most recently used first
    unsigned m_generation = forkGeneration();
};

Connections& connections();

} // namespace kivo::registry::detail
