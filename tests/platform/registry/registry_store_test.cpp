// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The key store's file and its transactions: what the store takes as its
// file and what it refuses, processes that start on it at once, the scope
// that makes several calls one transaction, and enumerations while the
// store changes.
#include "platform/registry/registry.h"
#include "platform/registry/sqlite_db.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using kivo::test::readFile;
using kivo::test::TempDir;
using kivo::test::TempRegistry;

namespace
{

bool exists(HKEY root, const char* path)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

LONG setDword(HKEY h, const char* name, DWORD v)
{
    return RegSetValueExA(h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

// The DWORD value, or the error the query gave (as a negative number).
long dwordOf(HKEY root, const char* path, const char* name)
{
    HKEY h = nullptr;
    LONG rc = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &h);
    if (rc != ERROR_SUCCESS)
        return -rc;
    DWORD v = 0, size = sizeof v;
    rc = RegQueryValueExA(h, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS ? long(v) : -rc;
}

HKEY create(HKEY root, const std::string& path)
{
    HKEY h = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS)
        << path;
    return h;
}

void setDwordAt(const std::string& path, const char* name, DWORD v)
{
    HKEY h = create(HKEY_LOCAL_MACHINE, path);
    EXPECT_EQ(setDword(h, name, v), ERROR_SUCCESS);
    RegCloseKey(h);
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Points KIVO95_REGISTRY at path while it lives.
class StoreAt
{
  public:
    explicit StoreAt(const std::string& path) : m_previous(std::getenv("KIVO95_REGISTRY"))
    {
        setenv("KIVO95_REGISTRY", path.c_str(), 1);
    }
    ~StoreAt() { setenv("KIVO95_REGISTRY", m_previous.c_str(), 1); }

  private:
    std::string m_previous;
};

} // namespace

// ---- the file --------------------------------------------------------------------

TEST(RegistryStore, ANewStoreIsMarkedAsOursAndHoldsLocalMachineSoftware)
{
    TempRegistry store;
    EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, "SOFTWARE"));
    EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, "software")); // any spelling
    kivo::registry::ReleaseConnections();
    kivo::sqlite::Database db(store.path(), kivo::sqlite::Database::Open::ReadOnly);
    auto id = db.prepare("PRAGMA application_id");
    ASSERT_TRUE(id.step());
    EXPECT_EQ(id.columnInt(0), 0x4B393552);
    auto mode = db.prepare("PRAGMA journal_mode");
    ASSERT_TRUE(mode.step());
    EXPECT_EQ(mode.columnText(0), "wal");
}

TEST(RegistryStore, ADatabaseOfAnotherProgramIsRefusedAndLeftByteForByte)
{
    TempDir dir;
    struct Case {
        const char* name;
        const char* sql;
        LONG code;
        const char* words;
    };
    const Case cases[] = {
        {"notes.db", "CREATE TABLE notes(x); INSERT INTO notes VALUES('keep me');", ERROR_BADDB,
         "a database of another program"},
        {"wal.db", "PRAGMA journal_mode=WAL; CREATE TABLE t(x); INSERT INTO t VALUES(1);", ERROR_BADDB,
         "a database of another program"},
        {"marked.db", "PRAGMA application_id=1234; CREATE TABLE keys(x); CREATE TABLE vals(y);", ERROR_BADDB,
         "application id 0x000004D2"},
        {"newer.db", "PRAGMA application_id=1262040402; PRAGMA user_version=3; CREATE TABLE keys(x);",
         ERROR_BADDB, "newer version"},
        {"halfstore.db", "PRAGMA application_id=1262040402; PRAGMA user_version=2; CREATE TABLE keys(x);",
         ERROR_REGISTRY_CORRUPT, "its table \"vals\" is missing"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file(c.name);
        {
            kivo::sqlite::Database db(path);
            db.exec(c.sql);
        }
        const std::string before = readFile(path);
        StoreAt at(path);
        HKEY h = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_ALL_ACCESS, &h), c.code) << c.name;
        const std::string words = kivo::registry::LastStoreProblem();
        EXPECT_TRUE(contains(words, c.words) && contains(words, path)) << words;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", 0, nullptr, 0, 0, nullptr, &h, nullptr),
                  c.code);
        EXPECT_EQ(setDword(HKEY_LOCAL_MACHINE, "V", 1), c.code);
        EXPECT_EQ(readFile(path), before) << c.name << " was changed";
    }

    // A database with nothing in it holds nothing to keep: it becomes a store.
    const std::string empty = dir.file("empty.db");
    {
        kivo::sqlite::Database db(empty);
        db.exec("CREATE TABLE t(x); DROP TABLE t;");
    }
    StoreAt at(empty);
    setDwordAt("SOFTWARE\\Kivo", "V", 7);
    EXPECT_EQ(dwordOf(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kivo", "V"), 7);
}

TEST(RegistryStore, AStoreOfTheFirstFormatIsTakenAndBroughtUpToDate)
{
    TempDir dir;
    const std::string path = dir.file("v1.db");
    {
        kivo::sqlite::Database db(path);
        db.exec("PRAGMA journal_mode=WAL;"
                "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
                " name TEXT NOT NULL, lname TEXT NOT NULL, mtime INTEGER NOT NULL, UNIQUE(parent, lname));"
                "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL, lname TEXT NOT NULL,"
                " type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, lname));"
                "INSERT INTO keys VALUES(1,0,'HKEY_CLASSES_ROOT','hkey_classes_root',0),"
                "(2,0,'HKEY_CURRENT_USER','hkey_current_user',0),(3,0,'HKEY_LOCAL_MACHINE','hkey_local_"
                "machine',0),"
                "(4,0,'HKEY_USERS','hkey_users',0),(6,0,'HKEY_CURRENT_CONFIG','hkey_current_config',0),"
                "(7,0,'HKEY_DYN_DATA','hkey_dyn_data',0),(8,3,'Old','old',0);"
                "INSERT INTO vals VALUES(8,'V','v',4,X'05000000');"
                "PRAGMA user_version=1;");
    }
    StoreAt at(path);
    EXPECT_EQ(dwordOf(HKEY_LOCAL_MACHINE, "Old", "V"), 5);
    setDwordAt("Old", "W", 6);
    kivo::registry::ReleaseConnections();
    kivo::sqlite::Database db(path, kivo::sqlite::Database::Open::ReadOnly);
    auto v = db.prepare("PRAGMA user_version");
    ASSERT_TRUE(v.step());
    EXPECT_EQ(v.columnInt(0), 2);
}

TEST(RegistryStore, SomethingOtherThanAFileIsNamedAndNeverWaitedOn)
{
    TempDir dir;
    const std::string fifo = dir.file("registry.db");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& [path, kind] : {std::pair{fifo, "a FIFO"}, std::pair{dir.path(), "a folder"}}) {
        StoreAt at(path);
        HKEY h = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS, &h), ERROR_CANTOPEN);
        const std::string words = kivo::registry::LastStoreProblem();
        EXPECT_TRUE(contains(words, path + " is " + kind)) << words;
    }
}

TEST(RegistryStore, AStoreRemovedUnderARunningProgramIsMadeAfresh)
{
    TempRegistry store;
    setDwordAt("SOFTWARE\\Kivo", "V", 1);
    for (const char* suffix : {"", "-wal", "-shm"})
        ::unlink((store.path() + suffix).c_str());
    EXPECT_EQ(dwordOf(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kivo", "V"), -ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, "SOFTWARE"));
    setDwordAt("SOFTWARE\\Kivo", "V", 2);
    EXPECT_EQ(dwordOf(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kivo", "V"), 2);
}

// Many processes starting at once on a store that does not exist yet: each
// one's first write succeeds (none gives up without waiting for the others).
TEST(RegistryStore, ProcessesStartingAtOnceOnANewStoreAllSucceed)
{
    TempDir dir;
    constexpr int kRounds = 4, kProcs = 40;
    for (int round = 0; round < kRounds; ++round) {
        const std::string path = dir.file("r" + std::to_string(round) + ".db");
        StoreAt at(path);
        int gate[2];
        ASSERT_EQ(::pipe(gate), 0);
        std::vector<pid_t> pids;
        for (int p = 0; p < kProcs; ++p) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::close(gate[1]);
                char c;
                (void)!::read(gate[0], &c, 1); // all start when the gate closes
                const std::string key = "SOFTWARE\\Start\\P" + std::to_string(p);
                HKEY h = nullptr;
                LONG rc =
                    RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, 0, nullptr, &h, nullptr);
                if (rc == ERROR_SUCCESS)
                    rc = setDword(h, "P", static_cast<DWORD>(p));
                ::_exit(rc == ERROR_SUCCESS ? 0 : rc > 255 ? 255 : static_cast<int>(rc));
            }
            pids.push_back(pid);
        }
        ::close(gate[0]);
        ::close(gate[1]);
        for (pid_t pid : pids)
            EXPECT_EQ(kivo::test::waitForExit(pid), 0) << "round " << round;
        for (int p = 0; p < kProcs; ++p)
            EXPECT_EQ(dwordOf(HKEY_LOCAL_MACHINE, ("SOFTWARE\\Start\\P" + std::to_string(p)).c_str(), "P"),
                      p);
    }
}

// ---- transactions --------------------------------------------------------------------

TEST(RegistryTransaction, ChangesTakeEffectTogetherAtCommitOrNotAtAll)
{
    TempRegistry store;
    const auto seenByAnotherThread = [](const char* name) {
        long v = 0;
        std::thread t([&] {
            v = dwordOf(HKEY_LOCAL_MACHINE, "SOFTWARE\\T", name);
            kivo::registry::ReleaseConnections();
        });
        t.join();
        return v;
    };
    {
        kivo::registry::Transaction tx(kivo::registry::Transaction::Write);
        ASSERT_EQ(tx.status(), ERROR_SUCCESS);
        setDwordAt("SOFTWARE\\T", "A", 1);
        // A failure that is no failure of the store leaves the scope usable.
        EXPECT_EQ(dwordOf(HKEY_LOCAL_MACHINE, "SOFTWARE\\T", "Missing"), -ERROR_FILE_NOT_FOUND);
        setDwordAt("SOFTWARE\\T", "B", 2);
        EXPECT_EQ(dwordOf(HKEY_LOCAL_MACHINE, "SOFTWARE\\T", "A"), 1); // its own changes it sees
        EXPECT_EQ(seenByAnotherThread("A"), -ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(tx.commit(), ERROR_SUCCESS);
    }
    EXPECT_EQ(seenByAnotherThread("A"), 1);
    EXPECT_EQ(seenByAnotherThread("B"), 2);

    {
        kivo::registry::Transaction tx(kivo::registry::Transaction::Write);
        setDwordAt("SOFTWARE\\T", "A", 10);
        setDwordAt("SOFTWARE\\T\\New", "C", 3);
        kivo::registry::Transaction inner(kivo::registry::Transaction::Read); // joins
        EXPECT_EQ(inner.commit(), ERROR_SUCCESS);
        // Gone without a commit: nothing of it stays.
    }
    EXPECT_EQ(dwordOf(HKEY_LOCAL_MACHINE, "SOFTWARE\\T", "A"), 1);
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, "SOFTWARE\\T\\New"));
}

TEST(RegistryTransaction, AReadScopeSeesOneStateAndRefusesWrites)
{
    TempRegistry store;
    setDwordAt("SOFTWARE\\T", "A", 1);
    HKEY h = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\T");
    {
        kivo::registry::Transaction tx(kivo::registry::Transaction::Read);
        ASSERT_EQ(tx.status(), ERROR_SUCCESS);
        EXPECT_EQ(dwordOf(HKEY_LOCAL_MACHINE, "SOFTWARE\\T", "A"), 1);
        std::thread writer([] {
            setDwordAt("SOFTWARE\\T", "A", 2); // another connection commits meanwhile
            kivo::registry::ReleaseConnections();
        });
        writer.join();
        EXPECT_EQ(dwordOf(HKEY_LOCAL_MACHINE, "SOFTWARE\\T", "A"), 1);
        EXPECT_EQ(setDword(h, "B", 1), ERROR_ACCESS_DENIED);
        kivo::registry::Transaction inner(kivo::registry::Transaction::Write);
        EXPECT_EQ(inner.status(), ERROR_ACCESS_DENIED);
        EXPECT_EQ(tx.commit(), ERROR_SUCCESS);
    }
    EXPECT_EQ(dwordOf(HKEY_LOCAL_MACHINE, "SOFTWARE\\T", "A"), 2);
    EXPECT_EQ(RegFlushKey(h), ERROR_SUCCESS);
    RegCloseKey(h);

    // A scope that cannot begin says why; its calls then run one by one.
    StoreAt at("/nonexistent/folder/registry.db");
    kivo::registry::Transaction tx(kivo::registry::Transaction::Write);
    EXPECT_EQ(tx.status(), ERROR_CANTOPEN);
    EXPECT_TRUE(contains(kivo::registry::LastStoreProblem(), "/nonexistent/folder"))
        << kivo::registry::LastStoreProblem();
    EXPECT_EQ(tx.commit(), ERROR_CANTOPEN);
}

// ---- keys ------------------------------------------------------------------------------

TEST(RegistryKeys, KeysReachAtMost512LevelsBelowTheirRoot)
{
    TempRegistry store;
    std::string path = "SOFTWARE";
    for (int level = 2; level <= 512; ++level)
        path += "\\L" + std::to_string(level);
    HKEY deepest = create(HKEY_LOCAL_MACHINE, path);
    HKEY h = nullptr;
    EXPECT_EQ(RegCreateKeyExA(deepest, "Below", 0, nullptr, 0, 0, nullptr, &h, nullptr), ERROR_BADKEY);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (path + "\\Below").c_str(), 0, nullptr, 0, 0, nullptr, &h,
                              nullptr),
              ERROR_BADKEY);
    // Refused whole: no level of a path that goes too deep is made.
    std::string tooDeep = "SOFTWARE\\Fresh";
    for (int level = 3; level <= 513; ++level)
        tooDeep += "\\F";
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, tooDeep.c_str(), 0, nullptr, 0, 0, nullptr, &h, nullptr),
              ERROR_BADKEY);
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fresh"));
    // An existing deep key still opens.
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
    RegCloseKey(h);
    RegCloseKey(deepest);
}

// Enumerating index after index continues where the last call got to; a
// change between two calls is seen as a fresh count would see it.
TEST(RegistryKeys, EnumerationsFollowChangesMadeBetweenCalls)
{
    TempRegistry store;
    HKEY parent = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\E");
    for (const char* name : {"b", "d", "f"})
        RegCloseKey(create(parent, name));
    // The name at index i of the key's subkeys or values, or the error.
    const auto nameAt = [&](bool values, DWORD i) {
        char name[64];
        DWORD n = sizeof name;
        const LONG rc = values ? RegEnumValueA(parent, i, name, &n, nullptr, nullptr, nullptr, nullptr)
                               : RegEnumKeyExA(parent, i, name, &n, nullptr, nullptr, nullptr, nullptr);
        return rc == ERROR_SUCCESS ? std::string(name, n) : "error " + std::to_string(rc);
    };
    const auto keyAt = [&](DWORD i) { return nameAt(false, i); };
    const auto valueAt = [&](DWORD i) { return nameAt(true, i); };
    EXPECT_EQ(keyAt(0), "b");
    EXPECT_EQ(keyAt(1), "d");
    RegCloseKey(create(parent, "a"));
    EXPECT_EQ(keyAt(2), "d"); // a, b, d, f now
    EXPECT_EQ(keyAt(2), "d"); // the same index again
    std::thread other([] {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\E\\a");
        kivo::registry::ReleaseConnections();
    });
    other.join();
    EXPECT_EQ(keyAt(3), "error 259"); // b, d, f
    EXPECT_EQ(keyAt(2), "f");

    for (const char* name : {"v1", "v2", "v3"})
        ASSERT_EQ(setDword(parent, name, 1), ERROR_SUCCESS);
    EXPECT_EQ(valueAt(0), "v1");
    ASSERT_EQ(RegDeleteValueA(parent, "v1"), ERROR_SUCCESS);
    EXPECT_EQ(valueAt(1), "v3");

    // A long walk meets every key once, in order.
    HKEY many = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Many");
    {
        kivo::registry::Transaction tx(kivo::registry::Transaction::Write);
        for (int i = 0; i < 3000; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "k%05d", i);
            RegCloseKey(create(many, name));
        }
        ASSERT_EQ(tx.commit(), ERROR_SUCCESS);
    }
    for (DWORD i = 0;; ++i) {
        char name[64];
        DWORD n = sizeof name;
        const LONG rc = RegEnumKeyExA(many, i, name, &n, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) {
            EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
            EXPECT_EQ(i, 3000u);
            break;
        }
        char expected[16];
        std::snprintf(expected, sizeof expected, "k%05u", i);
        ASSERT_EQ(std::string(name, n), expected);
    }
    RegCloseKey(many);
    RegCloseKey(parent);
}
