// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The registry calls, over one SQLite file per user.
//
// The store holds all predefined roots. Its file is $KIVO95_REGISTRY when
// set, else $XDG_CONFIG_HOME/kivo95/registry.db (~/.config when the
// variable is unset). Each thread that calls keeps one connection to it open
// (the variable is read on every call, so a process may switch stores); each
// call is one transaction of its own unless a kivo::registry::Transaction
// groups it with others. Several processes share the file safely: a writer
// waits up to 5 s for another one.
//
// Durability: a change whose call has returned survives the process being
// killed at any moment. After a power cut or a system crash the store is
// intact, but changes of the last moments may be missing; RegFlushKey makes
// everything written so far durable.
//
// Differences from Windows, on purpose:
// - security descriptors, classes, volatile keys and access masks are
//   accepted and ignored (every handle may read and write);
// - a doubled backslash inside a path separates like a single one;
// - a key more than 512 levels below its root is refused (ERROR_BADKEY), as
//   Windows limits the tree to 512 levels; Windows' other limit, 32 new
//   levels per call, is not enforced;
// - a store that cannot be opened gives ERROR_CANTOPEN (1011), one that
//   cannot be written ERROR_CANTWRITE (1013), a damaged one
//   ERROR_REGISTRY_CORRUPT (1015), a database that is not a key store (or
//   one from a newer version) ERROR_BADDB (1009), a store busy for longer
//   than the wait ERROR_BUSY (170), a failed read or write of the disk
//   (a full disk) ERROR_REGISTRY_IO_FAILED (1016); never a crash.
//   kivo::registry::LastStoreProblem says in words what happened and where.
#pragma once

#include "platform/system/win32types.h"

#include <string>

// Predefined roots.
#define HKEY_CLASSES_ROOT ((HKEY)(std::uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(std::uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(std::uintptr_t)0x80000002u)
#define HKEY_USERS ((HKEY)(std::uintptr_t)0x80000003u)
#define HKEY_PERFORMANCE_DATA ((HKEY)(std::uintptr_t)0x80000004u)
#define HKEY_CURRENT_CONFIG ((HKEY)(std::uintptr_t)0x80000005u)
#define HKEY_DYN_DATA ((HKEY)(std::uintptr_t)0x80000006u)

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;

// Access rights and options (accepted, not enforced).
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens an existing key; never creates one.
LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition);

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData);

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);

LONG RegCloseKey(HKEY hKey);

// Makes every change of the key's store written so far durable (it waits for
// the disk). Costly: for the end of a user's command, not for every change.
LONG RegFlushKey(HKEY hKey);

// For kivo-reg. Enumerating index 0, 1, 2, ... on one handle costs the same
// for every index, however many subkeys or values the key has.
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);

// ---- additions of this layer (Windows has none of these in these calls) ----

namespace kivo::registry
{

// One transaction over the registry calls this thread makes on the current
// store while the object lives: they see one state of the store, and their
// changes take effect together when commit() returns 0 — or not at all, when
// the object goes without a commit, a call in it failed on the store, or the
// process dies first. Windows' registry calls know nothing like it (its
// transacted registry calls are another API).
//
// Read scopes see one unchanging state of the store and refuse writes
// (ERROR_ACCESS_DENIED); write scopes hold the store's one write lock from
// the start, so they never fail half-way because another process wrote.
// Scopes on one thread nest: an inner one joins the outermost, whose commit
// alone counts. Calls on keys of another store file run on their own.
class Transaction
{
  public:
    enum Mode { Read, Write };
    explicit Transaction(Mode mode);
    ~Transaction(); // rolls back unless committed
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // 0 when the transaction is in force; else why it could not begin (the
    // calls then run one by one, and commit() returns this code).
    LONG status() const { return m_status; }
    // 0 when every change made in the scope is in the store; else nothing of
    // them is (the first failure met in the scope, or the commit's own).
    LONG commit();

  private:
    LONG m_status = 0;
    bool m_outermost = false;
    bool m_done = false;
};

// What the last call on this thread that failed on the store itself ran
// into, in words naming the file ("/home/u/.config/kivo95/registry.db is
// read-only: ..."); empty after a call that succeeded or failed otherwise (a
// missing key, a bad argument).
std::string LastStoreProblem();

// Checks the current store's pages (SQLite's quick check): 0 when they are
// sound, ERROR_REGISTRY_CORRUPT when not (LastStoreProblem says what is
// wrong), or the code of the failure that kept it from looking.
LONG CheckStore();

// Closes this thread's connections to stores (not one a transaction is
// using); the next call opens its store again. For a program that wants to
// let go of the file, and for tests.
void ReleaseConnections();

} // namespace kivo::registry
