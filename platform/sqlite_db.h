// A small RAII layer over the SQLite C API for the key store.
//
// Every failure throws kivo::sqlite::Error carrying SQLite's result code, so
// the caller can turn all of them into one error code in one place.
#pragma once

#include <cstdint>
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
    Error(int code, const std::string& what) : std::runtime_error(what), m_code(code) {}
    // The primary result code (SQLITE_BUSY, SQLITE_CORRUPT, ...).
    int code() const { return m_code & 0xff; }
    int extendedCode() const { return m_code; }

  private:
    int m_code;
};

class Statement
{
  public:
    Statement(sqlite3* db, std::string_view sql);
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
    void reset();

    std::int64_t columnInt(int index) const;
    std::string columnText(int index) const;
    std::vector<std::uint8_t> columnBlob(int index) const;

  private:
    void check(int rc) const;
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

class Database
{
  public:
    // Opens (creating when missing) the database file for reading and writing.
    explicit Database(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const char* sql);
    Statement prepare(std::string_view sql) { return Statement(m_db, sql); }
    std::int64_t lastInsertRowid() const;
    int changes() const;
    void setBusyTimeout(int ms);

  private:
    sqlite3* m_db = nullptr;
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
