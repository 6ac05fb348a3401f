#include "platform/sqlite_db.h"

#include <sqlite3.h>

namespace kivo::sqlite
{

namespace
{

[[noreturn]] void fail(sqlite3* db, int rc)
{
    std::string what = sqlite3_errstr(rc);
    if (db && sqlite3_errcode(db) == rc)
        what = sqlite3_errmsg(db);
    throw Error(rc, what);
}

} // namespace

Statement::Statement(sqlite3* db, std::string_view sql) : m_db(db)
{
    int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        fail(db, rc);
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

void Statement::check(int rc) const
{
    if (rc != SQLITE_OK)
        fail(m_db, rc);
}

Statement& Statement::bind(int index, std::int64_t value)
{
    check(sqlite3_bind_int64(m_stmt, index, value));
    return *this;
}

Statement& Statement::bind(int index, std::string_view text)
{
    check(sqlite3_bind_text(m_stmt, index, text.data() ? text.data() : "", static_cast<int>(text.size()),
                            SQLITE_TRANSIENT));
    return *this;
}

Statement& Statement::bindBlob(int index, const void* data, std::size_t size)
{
    // A null pointer would bind SQL NULL; a zero-length value is an empty blob.
    if (size == 0)
        check(sqlite3_bind_zeroblob(m_stmt, index, 0));
    else
        check(sqlite3_bind_blob64(m_stmt, index, data, size, SQLITE_TRANSIENT));
    return *this;
}

bool Statement::step()
{
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    fail(m_db, rc);
}

void Statement::run()
{
    while (step()) {
    }
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

std::int64_t Statement::columnInt(int index) const
{
    return sqlite3_column_int64(m_stmt, index);
}

std::string Statement::columnText(int index) const
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, index));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, index))) : std::string();
}

std::vector<std::uint8_t> Statement::columnBlob(int index) const
{
    const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(m_stmt, index));
    const int n = sqlite3_column_bytes(m_stmt, index);
    return p ? std::vector<std::uint8_t>(p, p + n) : std::vector<std::uint8_t>();
}

Database::Database(const std::string& path)
{
    int rc = sqlite3_open_v2(path.c_str(), &m_db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        Error e(rc, m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
        sqlite3_close(m_db);
        throw e;
    }
    sqlite3_extended_result_codes(m_db, 1);
}

Database::~Database()
{
    sqlite3_close_v2(m_db);
}

void Database::exec(const char* sql)
{
    int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(m_db, rc);
}

std::int64_t Database::lastInsertRowid() const
{
    return sqlite3_last_insert_rowid(m_db);
}

int Database::changes() const
{
    return sqlite3_changes(m_db);
}

void Database::setBusyTimeout(int ms)
{
    sqlite3_busy_timeout(m_db, ms);
}

Transaction::Transaction(Database& db, Mode mode) : m_db(db)
{
    db.exec(mode == Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction()
{
    if (!m_open)
        return;
    try {
        m_db.exec("ROLLBACK");
    } catch (const Error&) {
        // The transaction may already have been rolled back by SQLite itself
        // (after an I/O error); closing the connection ends it anyway.
    }
}

void Transaction::commit()
{
    m_db.exec("COMMIT");
    m_open = false;
}

} // namespace kivo::sqlite
