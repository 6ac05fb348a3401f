// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/registry/sqlite_db.h"

#include <sqlite3.h>

namespace kivo::sqlite
{

namespace
{

[[noreturn]] void fail(sqlite3* db, int rc)
{
    std::string what = sqlite3_errstr(rc);
    int systemErrno = 0;
    if (db && sqlite3_extended_errcode(db) == rc) {
        what = sqlite3_errmsg(db);
        systemErrno = sqlite3_system_errno(db);
    }
    throw Error(rc, what, systemErrno);
}

} // namespace

Statement::Statement(sqlite3* db, std::string_view sql, bool persistent) : m_db(db)
{
    int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                                persistent ? SQLITE_PREPARE_PERSISTENT : 0, &m_stmt, nullptr);
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

std::string_view Statement::columnBytes(int index) const
{
    const auto* p = static_cast<const char*>(sqlite3_column_blob(m_stmt, index));
    const int n = sqlite3_column_bytes(m_stmt, index);
    return p ? std::string_view(p, static_cast<std::size_t>(n)) : std::string_view();
}

Database::Database(const std::string& path, Open how)
{
    int flags = SQLITE_OPEN_NOMUTEX;
    std::string name = path;
    switch (how) {
    case Open::ReadWriteCreate:
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    case Open::ReadWrite:
        flags |= SQLITE_OPEN_READWRITE;
        break;
    case Open::ReadOnly:
        flags |= SQLITE_OPEN_READONLY;
        break;
    case Open::Immutable: {
        flags |= SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
        // A file name in a URI has '%', '?' and '#' escaped.
        name = "file:";
        for (char c : path) {
            if (c == '%' || c == '?' || c == '#') {
                static const char* digits = "0123456789ABCDEF";
                name += '%';
                name += digits[static_cast<unsigned char>(c) >> 4];
                name += digits[c & 15];
            } else {
                name += c;
            }
        }
        name += "?immutable=1";
        break;
    }
    }
    int rc = sqlite3_open_v2(name.c_str(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        Error e(rc, m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc), m_db ? sqlite3_system_errno(m_db) : 0);
        sqlite3_close(m_db);
        throw e;
    }
    sqlite3_extended_result_codes(m_db, 1);
}

Database::~Database()
{
    m_cache.clear(); // the statements go before their connection
    sqlite3_close_v2(m_db);
}

CachedStatement Database::cached(std::string_view sql)
{
    auto it = m_cache.find(sql);
    if (it == m_cache.end())
        it = m_cache.emplace(std::string(sql), std::make_unique<Statement>(m_db, sql, true)).first;
    return CachedStatement(*it->second);
}

bool Database::readOnly() const
{
    return sqlite3_db_readonly(m_db, "main") == 1;
}

bool Database::autocommit() const
{
    return sqlite3_get_autocommit(m_db) != 0;
}

void Database::keepLogOnClose()
{
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
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
