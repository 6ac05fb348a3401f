// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A small RAII layer over the SQLite C API for the key store.
//
// Every failure throws kivo::sqlite::Error carrying SQLite's result code, so
// the caller can turn all of them into one error code in one place.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kivo::sqlite
{

class Error : public std::runtime_error
{
  public:
    Error(int code, const std::string& what, int systemErrno = 0)
        : std::runtime_error(what), m_code(code), m_errno(systemErrno)
    {
    }
    // The primary result code (SQLITE_BUSY, SQLITE_CORRUPT, ...).
    int code() const { return m_code & 0xff; }
    int extendedCode() const { return m_code; }
    // The errno of the system call that failed, when an I/O error had one.
    int systemErrno() const { return m_errno; }

  private:
    int m_code;
    int m_errno;
};

class Statement
{
  public:
    // persistent: the statement is kept for many uses (SQLite then places it
    // where it need not be compacted away).
    Statement(sqlite3* db, std::string_view sql, bool persistent = false);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Parameters count from 1, as in SQLite.
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::string_view text);
    Statement& bindBlob(int index, const void* data, std::size_t size);

    // True while a row is available; false when done.
    bool step();
    // Steps once and expects no row (INSERT, UPDATE, DELETE).
    void run();
    // Ends the statement's run (releasing what it holds) and clears its parameters.
    void reset();

    std::int64_t columnInt(int index) const;
    std::string columnText(int index) const;
    std::vector<std::uint8_t> columnBlob(int index) const;
    // The column's bytes, valid until the next step or reset.
    std::string_view columnBytes(int index) const;

  private:
    void check(int rc) const;
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

class Database;

// A statement of a connection's cache, in use; it is reset when this goes,
// so that it holds no read lock between uses.
class CachedStatement
{
  public:
    explicit CachedStatement(Statement& s) : m_s(&s) {}
    ~CachedStatement()
    {
        if (m_s)
            m_s->reset();
    }
    CachedStatement(CachedStatement&& other) noexcept : m_s(other.m_s) { other.m_s = nullptr; }
    CachedStatement(const CachedStatement&) = delete;
    CachedStatement& operator=(const CachedStatement&) = delete;
    Statement& operator*() const { return *m_s; }
    Statement* operator->() const { return m_s; }

  private:
    Statement* m_s;
};

class Database
{
  public:
    enum class Open {
        ReadWriteCreate, // creating the file when it is missing
        ReadWrite,       // an existing file; read-only when the file cannot be written
        ReadOnly,
        Immutable, // read-only, no locks and no log: for a file nobody can change
    };
    explicit Database(const std::string& path, Open how = Open::ReadWriteCreate);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const char* sql);
    Statement prepare(std::string_view sql) { return Statement(m_db, sql); }
    // The statement for this text, prepared on its first use and kept with
    // the connection.
    CachedStatement cached(std::string_view sql);
    std::int64_t lastInsertRowid() const;
    int changes() const;
    void setBusyTimeout(int ms);
    // True when the connection cannot write (the file or its folder is read-only).
    bool readOnly() const;
    // True outside a transaction.
    bool autocommit() const;
    // The log is checkpointed when the last connection closes; this keeps it
    // from happening (for a database that is not ours to change).
    void keepLogOnClose();
    sqlite3* handle() const { return m_db; }

  private:
    sqlite3* m_db = nullptr;
    std::map<std::string, std::unique_ptr<Statement>, std::less<>> m_cache;
};

// BEGIN IMMEDIATE (writers) or BEGIN (readers); rolled back unless committed.
class Transaction
{
  public:
    enum Mode { Read, Write };
    Transaction(Database& db, Mode mode);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

  private:
    Database& m_db;
    bool m_open = true;
};

} // namespace kivo::sqlite
