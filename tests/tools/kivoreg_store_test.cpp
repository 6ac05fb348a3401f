// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// kivo-reg against stores in trouble: an import killed half-way or stopped
// by a full disk changes nothing, a read-only store can still be read, and
// every message says what is wrong and with which file.
//
// Read-only folders and files, and a small full disk, are made in a mount
// namespace of the test's own (each test case runs in a process of its
// own); that needs root. Without root, read-only is made with chmod, and the
// full-disk case fails on CI and is skipped elsewhere.
#include "platform/registry/registry.h"
#include "platform/registry/sqlite_db.h"
#include "tests/support/testsupport.h"
#include "tests/tools/kivoreg_run.h"

#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using kivo::test::contains;
using kivo::test::kivoReg;
using kivo::test::readFile;
using kivo::test::Result;
using kivo::test::TempDir;
using kivo::test::TempRegistry;
using kivo::test::waitUntil;
using kivo::test::writeFile;

namespace
{

// A .reg file with `keys` keys of two values each below HKLM\SOFTWARE\Bench.
std::string regFile(int keys)
{
    std::string text = "REGEDIT4\r\n\r\n";
    char buf[160];
    for (int i = 0; i < keys; ++i) {
        std::snprintf(buf, sizeof buf,
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\Key%05d]\r\n\"Text\"=\"value %d\"\r\n"
                      "\"Count\"=dword:%08x\r\n\r\n",
                      i, i, i);
        text += buf;
    }
    return text;
}

// The subkeys of HKLM\SOFTWARE\Bench in the current store; -1 when there is no such key.
long benchKeys()
{
    HKEY h = nullptr;
    const LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Bench", 0, KEY_READ, &h);
    if (rc != ERROR_SUCCESS) {
        EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
        return -1;
    }
    long n = 0;
    for (;; ++n) {
        char name[64];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(h, static_cast<DWORD>(n), name, &size, nullptr, nullptr, nullptr, nullptr) != 0)
            break;
    }
    RegCloseKey(h);
    kivo::registry::ReleaseConnections();
    return n;
}

std::string integrity(const std::string& store)
{
    kivo::sqlite::Database db(store, kivo::sqlite::Database::Open::ReadOnly);
    auto s = db.prepare("PRAGMA integrity_check");
    return s.step() ? s.columnText(0) : "no answer";
}

// A mount namespace of this test process's own (root only).
bool ownMounts()
{
    static const bool ok = ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
                           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return ok;
}

// Makes path read-only: a read-only bind mount as root, else its mode.
class ReadOnly
{
  public:
    explicit ReadOnly(const std::string& path) : m_path(path)
    {
        if (ownMounts()) {
            m_mounted =
                ::mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                ::mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
            EXPECT_TRUE(m_mounted) << "read-only bind mount of " << path << ": " << std::strerror(errno);
            return;
        }
        struct stat st {
        };
        ::stat(path.c_str(), &st);
        m_mode = st.st_mode & 07777;
        ::chmod(path.c_str(), S_ISDIR(st.st_mode) ? 0555 : 0444);
    }
    ~ReadOnly()
    {
        if (m_mounted)
            ::umount2(m_path.c_str(), MNT_DETACH);
        else
            ::chmod(m_path.c_str(), m_mode);
    }

  private:
    std::string m_path;
    bool m_mounted = false;
    mode_t m_mode = 0;
};

class KivoRegStore : public ::testing::Test
{
  protected:
    TempRegistry store;
    TempDir dir;
};

} // namespace

// Killed at many moments of its one transaction, an import leaves the store
// with all of the file or nothing of it, and the store stays sound.
TEST_F(KivoRegStore, AKilledImportLeavesAllOrNothing)
{
    constexpr int kKeys = 20000;
    const std::string file = dir.file("bench.reg");
    writeFile(file, regFile(kKeys));
    // Thresholds on the log's size: the moment of the kill, from at once to
    // the end of the transaction.
    const qint64 thresholds[] = {0, 1, 256 << 10, 1 << 20, 2 << 20, 3 << 20, 4 << 20};
    int complete = 0, none = 0;
    for (qint64 threshold : thresholds) {
        const std::string path = dir.file("kill" + std::to_string(threshold) + ".db");
        setenv("KIVO95_REGISTRY", path.c_str(), 1);
        ASSERT_EQ(kivoReg({"add", "HKLM\\SOFTWARE\\Before", "/v", "V", "/d", "kept"}).code, 0);
        QProcess p;
        p.start(QStringLiteral(KIVO_BIN_DIR "/kivo-reg"), {"import", QString::fromStdString(file)});
        ASSERT_TRUE(p.waitForStarted());
        const QString wal = QString::fromStdString(path + "-wal");
        waitUntil([&] { return QFileInfo(wal).size() >= threshold || p.state() == QProcess::NotRunning; });
        p.kill();
        p.waitForFinished();
        const long n = benchKeys();
        EXPECT_TRUE(n == -1 || n == kKeys) << n << " of " << kKeys << " keys after a kill at " << threshold;
        (n == kKeys ? complete : none) += 1;
        EXPECT_EQ(integrity(path), "ok");
        Result r = kivoReg({"query", "HKLM\\SOFTWARE\\Before", "V"});
        EXPECT_TRUE(contains(r.out, "kept")) << r.err;
    }
    // The store still takes the import whole.
    Result r = kivoReg({"import", QString::fromStdString(file)});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(benchKeys(), kKeys);
    RecordProperty("killed imports that had committed", complete);
    RecordProperty("killed imports that had not", none);
}

TEST_F(KivoRegStore, AnImportStoppedByAFullDiskChangesNothingAndSaysSo)
{
    if (!ownMounts()) {
        if (std::getenv("CI"))
            FAIL() << "a full disk is made as a small tmpfs, which needs root";
        GTEST_SKIP() << "a full disk is made as a small tmpfs, which needs root";
    }
    const std::string small = dir.file("small");
    ASSERT_EQ(::mkdir(small.c_str(), 0700), 0);
    ASSERT_EQ(::mount("kivo-test", small.c_str(), "tmpfs", 0, "size=256k"), 0) << std::strerror(errno);
    const std::string path = small + "/registry.db";
    setenv("KIVO95_REGISTRY", path.c_str(), 1);
    ASSERT_EQ(kivoReg({"add", "HKLM\\SOFTWARE\\Before", "/v", "V", "/d", "kept"}).code, 0);
    const std::string file = dir.file("big.reg");
    writeFile(file, regFile(20000));

    Result r = kivoReg({"import", QString::fromStdString(file)});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "The disk holding " + path + " is full.") &&
                contains(r.err, "Nothing was imported."))
        << r.err;
    EXPECT_EQ(benchKeys(), -1);
    r = kivoReg({"query", "HKLM\\SOFTWARE\\Before", "V"});
    EXPECT_TRUE(contains(r.out, "kept")) << r.err;
    EXPECT_EQ(integrity(path), "ok");
    kivo::registry::ReleaseConnections();
    ::umount2(small.c_str(), MNT_DETACH);
}

TEST_F(KivoRegStore, AStoreThatCannotBeWrittenCanStillBeQueriedAndExported)
{
    const std::string folder = dir.file("store");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string path = folder + "/registry.db";
    setenv("KIVO95_REGISTRY", path.c_str(), 1);
    ASSERT_EQ(kivoReg({"add", "HKLM\\SOFTWARE\\Kivo", "/v", "V", "/d", "kept"}).code, 0);
    const std::string exported = dir.file("out.reg");

    for (const std::string& readOnly : {folder, path}) {
        ReadOnly guard(readOnly);
        Result r = kivoReg({"query", "HKLM\\SOFTWARE\\Kivo", "V"});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(contains(r.out, "kept")) << r.out;
        r = kivoReg({"export", "HKLM\\SOFTWARE\\Kivo", QString::fromStdString(exported), "/y"});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(contains(readFile(exported), "\"V\"=\"kept\"")) << readFile(exported);
        r = kivoReg({"add", "HKLM\\SOFTWARE\\Kivo", "/v", "W", "/d", "new"});
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(contains(r.err, path) && contains(r.err, "read-only")) << r.err;
    }
}

TEST_F(KivoRegStore, MessagesSayWhatIsWrongAndWhere)
{
    // Something other than a file.
    const std::string fifo = dir.file("fifo.db");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    setenv("KIVO95_REGISTRY", fifo.c_str(), 1);
    Result r = kivoReg({"query", "HKLM\\SOFTWARE"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "ERROR: " + fifo + " is a FIFO (named pipe), not a key store file.\n");

    // Another program's database.
    const std::string foreign = dir.file("notes.db");
    {
        kivo::sqlite::Database db(foreign);
        db.exec("CREATE TABLE notes(x); INSERT INTO notes VALUES('mine');");
    }
    const std::string bytes = readFile(foreign);
    setenv("KIVO95_REGISTRY", foreign.c_str(), 1);
    r = kivoReg({"add", "HKLM\\SOFTWARE\\Kivo"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, foreign + " is a database of another program")) << r.err;
    EXPECT_EQ(readFile(foreign), bytes);

    // Damaged pages are damage, not a missing key.
    const std::string damaged = dir.file("damaged.db");
    setenv("KIVO95_REGISTRY", damaged.c_str(), 1);
    {
        kivo::registry::Transaction tx(kivo::registry::Transaction::Write);
        for (int i = 0; i < 300; ++i) {
            HKEY h = nullptr;
            const std::string key = "SOFTWARE\\Kivo\\Entry " + std::to_string(i);
            ASSERT_EQ(
                RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, 0, nullptr, &h, nullptr), 0);
            RegSetValueExA(h, "TotalTime", 0, REG_SZ, reinterpret_cast<const BYTE*>("00:10:00"), 9);
            RegCloseKey(h);
        }
        ASSERT_EQ(tx.commit(), ERROR_SUCCESS);
    }
    kivo::registry::ReleaseConnections(); // the last connection writes the log into the file
    std::string pages = readFile(damaged);
    ASSERT_GT(pages.size(), 16384u);
    std::memset(pages.data() + pages.size() / 2, 0, pages.size() / 2);
    writeFile(damaged, pages);
    r = kivoReg({"query", "HKLM\\SOFTWARE\\Kivo\\Entry 299", "TotalTime"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, damaged + " is damaged")) << r.err;

    // A key too deep for a registry.
    setenv("KIVO95_REGISTRY", store.path().c_str(), 1);
    std::string deep = "[HKEY_LOCAL_MACHINE";
    for (int i = 0; i < 600; ++i)
        deep += "\\D";
    const std::string file = dir.file("deep.reg");
    writeFile(file, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\First]\r\n\"V\"=\"1\"\r\n\r\n" + deep +
                        "]\r\n");
    r = kivoReg({"import", QString::fromStdString(file)});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "ERROR: A key can be at most 512 levels below its root. Nothing was imported.\n");
    r = kivoReg({"query", "HKLM\\SOFTWARE\\First"});
    EXPECT_EQ(r.code, 1) << "nothing of the file was applied";
}
