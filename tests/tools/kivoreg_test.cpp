// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The kivo-reg program as a user runs it: output, messages and exit codes.
#include "tests/support/testsupport.h"
#include "tests/tools/kivoreg_run.h"

#include "tools/kivo-reg/keys.h"
#include "tools/kivo-reg/utf16.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using kivo::test::contains;
using kivo::test::kivoReg;
using kivo::test::readFile;
using kivo::test::Result;
using kivo::test::TempDir;
using kivo::test::TempRegistry;
using kivo::test::writeFile;

namespace
{

// The stored bytes of a value of the test's store.
std::string stored(const char* keyName, const char* valueName)
{
    kivo::reg::Key key = kivo::reg::Key::open(kivo::reg::parseKeyPath(keyName).value());
    const auto v = kivo::reg::value(key.handle(), valueName);
    return v ? v->data : "(none)";
}

const std::string kNotFound = "ERROR: The system was unable to find the specified registry key or value.\n";

class KivoReg : public ::testing::Test
{
  protected:
    TempRegistry store;
    TempDir dir;
};

} // namespace

TEST_F(KivoReg, AddQueryAndDeleteLikeRegExe)
{
    Result r = kivoReg(
        {"add", "HKLM\\SOFTWARE\\Kivo\\Wizard\\", "/v", "PDTCaption", "/t", "REG_SZ", "/d", "Post-Dial"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "The operation completed successfully.\n");
    ASSERT_EQ(kivoReg({"add", "hklm\\software\\kivo\\wizard", "/v", "ShowWelcome", "/t", "reg_dword", "/d",
                       "1", "/f"})
                  .code,
              0);
    ASSERT_EQ(kivoReg({"add", "HKLM\\SOFTWARE\\Kivo\\Wizard", "/v", "Tune", "/d", ""}).code, 0);
    ASSERT_EQ(kivoReg({"add", "HKLM\\SOFTWARE\\Kivo\\Wizard", "/ve", "/d", "main"}).code, 0);
    ASSERT_EQ(kivoReg({"add", "HKLM\\SOFTWARE\\Kivo\\Wizard\\Home"}).code, 0);

    r = kivoReg({"query", "HKEY_LOCAL_MACHINE\\software\\KIVO\\Wizard"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "\n"
                     "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kivo\\Wizard\n"
                     "    PDTCaption    REG_SZ    Post-Dial\n"
                     "    ShowWelcome    REG_DWORD    0x1\n"
                     "    Tune    REG_SZ    \n"
                     "    (Default)    REG_SZ    main\n"
                     "\n"
                     "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kivo\\Wizard\\Home\n");
    r = kivoReg({"query", "HKLM\\SOFTWARE\\Kivo\\Wizard", "showwelcome"});
    EXPECT_EQ(r.out, "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Kivo\\Wizard\n    ShowWelcome    REG_DWORD    0x1\n\n");
    EXPECT_EQ(kivoReg({"query", "HKLM\\SOFTWARE\\Kivo\\Wizard", "/v", "Tune"}).code, 0);

    EXPECT_EQ(kivoReg({"delete", "HKLM\\SOFTWARE\\Kivo\\Wizard", "/v", "Tune", "/f"}).code, 0);
    r = kivoReg({"query", "HKLM\\SOFTWARE\\Kivo\\Wizard", "Tune"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, kNotFound);
    EXPECT_EQ(kivoReg({"delete", "HKLM\\SOFTWARE\\Kivo"}).code, 0);
    r = kivoReg({"query", "HKLM\\SOFTWARE\\Kivo\\Wizard"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, kNotFound);
    EXPECT_TRUE(r.out.empty());
}

TEST_F(KivoReg, DataTypesAreCheckedBeforeAnythingIsWritten)
{
    ASSERT_EQ(kivoReg({"add", "HKCU\\K", "/v", "D", "/t", "REG_DWORD", "/d", "0xFFFFFFFF"}).code, 0);
    ASSERT_EQ(kivoReg({"add", "HKCU\\K", "/v", "B", "/t", "REG_BINARY", "/d", "00ff10"}).code, 0);
    ASSERT_EQ(kivoReg({"add", "HKCU\\K", "/v", "M", "/t", "REG_MULTI_SZ", "/d", "a\\0b"}).code, 0);
    Result r = kivoReg({"query", "HKCU\\K"});
    EXPECT_TRUE(contains(r.out, "    D    REG_DWORD    0xffffffff\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "    B    REG_BINARY    00FF10\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "    M    REG_MULTI_SZ    a\\0b\n")) << r.out;

    for (const char* bad : {"4294967296", "-1", "12x", "0x", ""}) {
        r = kivoReg({"add", "HKCU\\K", "/v", "D", "/t", "REG_DWORD", "/d", bad});
        EXPECT_EQ(r.code, 1) << bad;
        EXPECT_TRUE(contains(r.err, "Invalid REG_DWORD data")) << r.err;
    }
    EXPECT_EQ(kivoReg({"add", "HKCU\\K", "/v", "B", "/t", "REG_BINARY", "/d", "abc"}).code, 1);
    r = kivoReg({"add", "HKCU\\K", "/v", "X", "/t", "REG_QWORD", "/d", "1"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "Unknown type")) << r.err;
    EXPECT_EQ(kivoReg({"query", "HKCU\\K", "X"}).code, 1) << "a refused add writes nothing";
    r = kivoReg({"query", "HKCU\\K", "D"});
    EXPECT_TRUE(contains(r.out, "0xffffffff")) << "a refused add keeps the old value";
}

TEST_F(KivoReg, ExitCodesSeparateFailuresFromWrongCommandLines)
{
    Result r = kivoReg({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(contains(r.out, "kivo-reg export KEY FILE")) << r.out;
    EXPECT_EQ(kivoReg({"query", "/?"}).code, 0);

    for (const QStringList& args :
         {QStringList{}, QStringList{"frobnicate"}, QStringList{"query"}, QStringList{"query", "HKLM", "/x"},
          QStringList{"add", "HKLM\\A", "/v"}, QStringList{"add", "HKLM\\A", "/d", "1"},
          QStringList{"export", "HKLM"}, QStringList{"delete", "HKLM\\A", "/v", "x", "/va"},
          QStringList{"query", "HKLM\\A", "/v", "x", "/v", "y"}}) {
        r = kivoReg(args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(r.err.empty());
    }
    r = kivoReg({"query", "HKEY_NOWHERE\\A"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "Invalid key name")) << r.err;
    EXPECT_EQ(kivoReg({"query", "HKLM\\\\A"}).code, 1);
    r = kivoReg({"delete", "HKLM"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "root key")) << r.err;
    EXPECT_EQ(kivoReg({"delete", "HKLM\\Missing"}).err, kNotFound);
    r = kivoReg({"import", dir.file("missing.reg").c_str()});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "Cannot read")) << r.err;

    // A store that cannot be used is a failure with a message, not a crash.
    writeFile(dir.file("bad.db"), std::string(4096, 'x'));
    setenv("KIVO95_REGISTRY", dir.file("bad.db").c_str(), 1);
    r = kivoReg({"query", "HKLM"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "damaged")) << r.err;
}

TEST_F(KivoReg, StatisticsMoveOutAndBackThroughARegFile)
{
    ASSERT_EQ(
        kivoReg({"add", "HKLM\\SOFTWARE\\Kivo\\Home", "/v", "Accesses", "/t", "REG_DWORD", "/d", "10"}).code,
        0);
    ASSERT_EQ(kivoReg({"add", "HKLM\\SOFTWARE\\Kivo\\Home", "/v", "Last \"access\"", "/d", "C:\\x"}).code, 0);
    const std::string file = dir.file("stats.reg");
    ASSERT_EQ(kivoReg({"export", "HKLM\\SOFTWARE\\Kivo", file.c_str()}).code, 0);
    EXPECT_EQ(readFile(file), "REGEDIT4\r\n"
                              "\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kivo]\r\n"
                              "\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kivo\\Home]\r\n"
                              "\"Accesses\"=dword:0000000a\r\n"
                              "\"Last \\\"access\\\"\"=\"C:\\\\x\"\r\n"
                              "\r\n");

    // Into a fresh store, as on another machine.
    TempRegistry other;
    EXPECT_EQ(kivoReg({"export", "HKLM\\SOFTWARE\\Kivo", dir.file("none.reg").c_str()}).err, kNotFound);
    Result r = kivoReg({"import", file.c_str()});
    EXPECT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(kivoReg({"export", "HKLM\\SOFTWARE\\Kivo", dir.file("again.reg").c_str()}).code, 0);
    EXPECT_EQ(readFile(dir.file("again.reg")), readFile(file));
}

TEST_F(KivoReg, MalformedImportChangesNothing)
{
    ASSERT_EQ(
        kivoReg({"add", "HKLM\\SOFTWARE\\Kivo\\Home", "/v", "Accesses", "/t", "REG_DWORD", "/d", "3"}).code,
        0);
    const std::string before = dir.file("before.reg");
    ASSERT_EQ(kivoReg({"export", "HKLM\\SOFTWARE\\Kivo", before.c_str()}).code, 0);

    const std::string bad = dir.file("bad.reg");
    writeFile(bad, "REGEDIT4\r\n"
                   "\r\n"
                   "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Kivo\\Home]\r\n"
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kivo\\Work]\r\n"
                   "\"Accesses\"=dword:00000001\r\n"
                   "\"Total\"=dword:1234567890\r\n");
    Result r = kivoReg({"import", bad.c_str()});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, bad + ":6: bad dword")) << r.err;
    EXPECT_TRUE(contains(r.err, "nothing was changed")) << r.err;

    const std::string after = dir.file("after.reg");
    ASSERT_EQ(kivoReg({"export", "HKLM\\SOFTWARE\\Kivo", after.c_str()}).code, 0);
    EXPECT_EQ(readFile(after), readFile(before));
}

TEST_F(KivoReg, EachCommandHasItsOwnHelp)
{
    struct Case {
        QStringList args;
        int code;
        const char* says; // on stdout for help, on stderr otherwise
    };
    const Case cases[] = {
        {{"/?"}, 0, "kivo-reg COMMAND /?"},
        {{"add", "/?"}, 0, "Usage: kivo-reg add KEY"},
        {{"add", "/h"}, 0, "/s SEPARATOR"},
        {{"ADD", "-H"}, 0, "Usage: kivo-reg add KEY"},
        {{"query", "-?"}, 0, "Usage: kivo-reg query KEY"},
        {{"delete", "--help"}, 0, "Usage: kivo-reg delete KEY"},
        {{"export", "/?"}, 0, "/u  Unicode"},
        {{"import", "/H"}, 0, "Usage: kivo-reg import FILE"},
        {{"add", "/?", "HKCU\\K"}, 2, "Type \"kivo-reg add /?\" for usage."},
        {{"add", "HKCU\\K", "/h"}, 2, "/h must stand alone"},
        {{"query", "HKCU\\K", "/f", "x"}, 2, "Type \"kivo-reg query /?\" for usage."},
        {{"export", "HKCU\\K", "f.reg", "/u", "/a"}, 2, "choose /u or /a"},
        {{"add", "HKCU\\K", "/v", "M", "/t", "REG_MULTI_SZ", "/s", "ab", "/d", "a"},
         2,
         "/s takes one character"},
        {{"add", "HKCU\\K", "/v", "M", "/t", "REG_MULTI_SZ", "/s", "", "/d", "a"},
         2,
         "/s takes one character"},
    };
    for (const Case& c : cases) {
        const Result r = kivoReg(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString();
        EXPECT_TRUE(contains(c.code == 0 ? r.out : r.err, c.says)) << r.out << r.err;
    }
}

TEST_F(KivoReg, MultiStringsAreStoredAsRegExeStoresThem)
{
    struct Case {
        const char* data;
        const char* separator; // nullptr: the default \0
        std::string stored;    // empty: refused
    };
    const Case cases[] = {
        {"a\\0b", nullptr, std::string("a\0b\0\0", 5)},
        {"a", nullptr, std::string("a\0\0", 3)},
        {"a\\0", nullptr, std::string("a\0\0", 3)},
        {"\\0", nullptr, std::string("\0\0", 2)},
        {"", nullptr, std::string("\0", 1)},
        {"\\0a", nullptr, ""},
        {"two\\0\\0strings", nullptr, ""},
        {"a\\0\\0", nullptr, ""},
        {"three#little#strings", "#", std::string("three\0little\0strings\0\0", 22)},
        {"two\\0#x", "#", std::string("two\\0\0x\0\0", 9)},
        {"#", "#", std::string("\0\0", 2)},
        {"##", "#", ""},
        {"a\xc2\xa7"
         "b",
         "\xc2\xa7", std::string("a\0b\0\0", 5)},
    };
    ASSERT_EQ(kivoReg({"add", "HKCU\\K", "/v", "M", "/t", "REG_MULTI_SZ", "/d", "old"}).code, 0);
    for (const Case& c : cases) {
        QStringList args = {"add", "HKCU\\K",      "/v", "M",
                            "/t",  "REG_MULTI_SZ", "/d", QString::fromUtf8(c.data)};
        if (c.separator)
            args << "/s" << QString::fromUtf8(c.separator);
        const Result r = kivoReg(args);
        if (c.stored.empty()) {
            EXPECT_EQ(r.code, 1) << c.data;
            EXPECT_TRUE(contains(r.err, "an item cannot be empty")) << r.err;
            EXPECT_EQ(stored("HKCU\\K", "M"), std::string("old\0\0", 5)) << "a refused add writes nothing";
        } else {
            EXPECT_EQ(r.code, 0) << c.data << r.err;
            EXPECT_EQ(stored("HKCU\\K", "M"), c.stored) << c.data;
            ASSERT_EQ(kivoReg({"add", "HKCU\\K", "/v", "M", "/t", "REG_MULTI_SZ", "/d", "old"}).code, 0);
        }
    }
}

TEST_F(KivoReg, QueryWithSLooksInEveryKeyBelow)
{
    ASSERT_EQ(kivoReg({"add", "HKCU\\K", "/v", "Test1", "/d", "x"}).code, 0);
    ASSERT_EQ(kivoReg({"add", "HKCU\\K", "/v", "Wine", "/d", "First"}).code, 0);
    ASSERT_EQ(kivoReg({"add", "HKCU\\K\\sub", "/v", "wine", "/d", "Second"}).code, 0);
    ASSERT_EQ(kivoReg({"add", "HKCU\\K\\sub\\deeper"}).code, 0);
    Result r = kivoReg({"query", "HKCU\\K", "/s"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "\n"
                     "HKEY_CURRENT_USER\\K\n"
                     "    Test1    REG_SZ    x\n"
                     "    Wine    REG_SZ    First\n"
                     "\n"
                     "HKEY_CURRENT_USER\\K\\sub\n"
                     "    wine    REG_SZ    Second\n"
                     "\n"
                     "HKEY_CURRENT_USER\\K\\sub\\deeper\n"
                     "\n");
    r = kivoReg({"query", "HKCU\\K", "/v", "WINE", "/s"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "\n"
                     "HKEY_CURRENT_USER\\K\n"
                     "    Wine    REG_SZ    First\n"
                     "\n"
                     "HKEY_CURRENT_USER\\K\\sub\n"
                     "    wine    REG_SZ    Second\n"
                     "\n"
                     "End of search: 2 match(es) found.\n");
    r = kivoReg({"query", "HKCU\\K", "/ve", "/s"});
    EXPECT_EQ(r.out, "\nEnd of search: 0 match(es) found.\n");
    EXPECT_EQ(kivoReg({"query", "HKCU\\Missing", "/s"}).err, kNotFound);
}

TEST_F(KivoReg, UnicodeExportIsWhatRegExportWrites)
{
    ASSERT_EQ(
        kivoReg({"add", "HKLM\\SOFTWARE\\Kivo\\B\u00fcro", "/v", "Path", "/t", "REG_EXPAND_SZ", "/d", "%A%"})
            .code,
        0);
    const std::string file = dir.file("u.reg");
    Result r = kivoReg({"export", "HKLM\\SOFTWARE\\Kivo", file.c_str(), "/u"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kivo]\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kivo\\B\u00fcro]\r\n"
                             "\"Path\"=hex(2):25,00,41,00,25,00,00,00\r\n\r\n";
    EXPECT_EQ(readFile(file), "\xff\xfe" + kivo::reg::utf8ToUtf16(text).value());

    // Into a fresh store and out again, unchanged.
    TempRegistry other;
    ASSERT_EQ(kivoReg({"import", file.c_str()}).code, 0);
    const std::string again = dir.file("again.reg");
    ASSERT_EQ(kivoReg({"export", "HKLM\\SOFTWARE\\Kivo", again.c_str(), "-U", "/y"}).code, 0);
    EXPECT_EQ(readFile(again), readFile(file));

    // Text that is not UTF-8 cannot go into a Unicode file; no file is written.
    kivo::reg::Key key = kivo::reg::Key::create(kivo::reg::parseKeyPath("HKLM\\SOFTWARE\\Kivo").value());
    ASSERT_EQ(RegSetValueExA(key.handle(), "Latin1", 0, REG_SZ, reinterpret_cast<const BYTE*>("caf\xe9"), 5),
              0);
    r = kivoReg({"export", "HKLM\\SOFTWARE\\Kivo", dir.file("no.reg").c_str(), "/u"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "the data of the value \"Latin1\" is not UTF-8 text")) << r.err;
    EXPECT_TRUE(contains(r.err, "export without /u")) << r.err;
    EXPECT_EQ(access(dir.file("no.reg").c_str(), F_OK), -1);
    EXPECT_EQ(kivoReg({"export", "HKLM\\SOFTWARE\\Kivo", dir.file("a.reg").c_str(), "/a"}).code, 0);
    EXPECT_TRUE(contains(readFile(dir.file("a.reg")), "\"Latin1\"=\"caf\xe9\"\r\n"));
}

TEST_F(KivoReg, ImportOfAnyFileEndsWithAClearAnswerAndChangesNothingUnlessItIsGood)
{
    ASSERT_EQ(kivoReg({"add", "HKLM\\SOFTWARE\\Kivo", "/v", "Accesses", "/t", "REG_DWORD", "/d", "3"}).code,
              0);
    const std::string before = dir.file("before.reg");
    ASSERT_EQ(kivoReg({"export", "HKLM\\SOFTWARE\\Kivo", before.c_str()}).code, 0);

    // Sparse files: a header and then nothing but zero bytes.
    auto sparse = [this](const char* name, off_t size) {
        const std::string path = dir.file(name);
        writeFile(path, "REGEDIT4\r\n");
        EXPECT_EQ(truncate(path.c_str(), size), 0);
        return path;
    };
    struct Case {
        std::string file;
        rlim_t heapLimit;
        std::string says;
    };
    std::vector<Case> cases = {
        {"/dev/zero", 0, "/dev/zero:1: not a .reg file"},
        {dir.path(), 0, "Cannot read " + dir.path() + ": Is a directory"},
        {sparse("huge.reg", (off_t(64) << 20) + 1), 0, "huge.reg is larger than 64 MiB"},
        {sparse("nuls.reg", off_t(1) << 20), 0, "nuls.reg:2: the line holds a NUL byte"},
    };
#if !defined(__SANITIZE_ADDRESS__)
    // With its heap held to 32 MiB, kivo-reg cannot hold a 60 MiB file.
    cases.push_back({sparse("big.reg", off_t(60) << 20), rlim_t(32) << 20, "Not enough memory to read"});
#endif
    for (const Case& c : cases) {
        const Result r = kivoReg({"import", c.file.c_str()}, c.heapLimit);
        EXPECT_EQ(r.code, 1) << c.file;
        EXPECT_TRUE(contains(r.err, c.says)) << r.err;
        EXPECT_TRUE(contains(r.err, "nothing was changed")) << r.err;
    }
    const std::string after = dir.file("after.reg");
    ASSERT_EQ(kivoReg({"export", "HKLM\\SOFTWARE\\Kivo", after.c_str()}).code, 0);
    EXPECT_EQ(readFile(after), readFile(before));
}
