// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// String tables of modules, and starting programs.
#include "platform/system/system.h"
#include "platform/system/trace.h"
#include "tests/support/testsupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include <signal.h>
#include <sys/stat.h>

using kivo::test::TempDir;
using kivo::test::writeFile;

namespace
{

// Points the string-table search at one directory for the test's lifetime.
struct StringsDir {
    TempDir dir;
    StringsDir() { setenv("KIVO95_STRINGS", dir.path().c_str(), 1); }
    ~StringsDir() { unsetenv("KIVO95_STRINGS"); }
};

} // namespace

TEST(Modules, ShippedTableGivesTheConnectedCaptionFormat)
{
    // No KIVO95_STRINGS: the table is found beside the executable, as shipped.
    unsetenv("KIVO95_STRINGS");
    HMODULE h = LoadLibraryA("rnaapp.exe");
    ASSERT_NE(h, nullptr);
    char buf[501];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(LoadStringA(h, 204, buf, 500), 15);
    EXPECT_STREQ(buf, "Connected to %s");
    EXPECT_TRUE(FreeLibrary(h));
}

TEST(Modules, NamesAreFoundWithoutDirectoryExtensionOrCase)
{
    StringsDir s;
    writeFile(s.dir.file("RnaApp.strings"),
              "# comment\r\n1=one\r\n\r\n2=two = 2\nbad line\n=x\n70000=too big\n");
    for (const char* name : {"rnaapp", "RNAAPP.EXE", "C:\\Windows\\rnaapp.exe", "/usr/lib/RNAAPP"}) {
        HMODULE h = LoadLibraryA(name);
        ASSERT_NE(h, nullptr) << name;
        char buf[64];
        EXPECT_EQ(LoadStringA(h, 1, buf, sizeof buf), 3);
        EXPECT_STREQ(buf, "one") << "the carriage return of a CRLF line is not part of the text";
        EXPECT_EQ(LoadStringA(h, 2, buf, sizeof buf), 7);
        EXPECT_STREQ(buf, "two = 2") << "the text runs from the first '=' to the line end";
        EXPECT_TRUE(FreeLibrary(h));
    }
    EXPECT_EQ(LoadLibraryA("other.exe"), nullptr);
    EXPECT_EQ(LoadLibraryA(""), nullptr);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
}

TEST(Modules, StringsAreCutToTheBufferAndMissingOnesGiveEmptyText)
{
    StringsDir s;
    writeFile(s.dir.file("m.strings"), "5=abcdef\n");
    HMODULE h = LoadLibraryA("m");
    ASSERT_NE(h, nullptr);
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(LoadStringA(h, 5, buf, 4), 3);
    EXPECT_STREQ(buf, "abc");
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(LoadStringA(h, 6, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "") << "a missing string leaves an empty text";
    EXPECT_EQ(LoadStringA(h, 5, buf, 0), 0);
    EXPECT_EQ(LoadStringA(h, 5, nullptr, 8), 0);
    EXPECT_TRUE(FreeLibrary(h));
}

TEST(Modules, HandlesAreCountedAndDeadOnesRefused)
{
    StringsDir s;
    writeFile(s.dir.file("m.strings"), "1=a\n");
    HMODULE a = LoadLibraryA("m");
    HMODULE b = LoadLibraryA("M.EXE");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b) << "loading a loaded module again gives the same handle";
    EXPECT_TRUE(FreeLibrary(a));
    char buf[4];
    EXPECT_EQ(LoadStringA(a, 1, buf, sizeof buf), 1) << "still loaded once more";
    EXPECT_TRUE(FreeLibrary(b));
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(LoadStringA(a, 1, buf, sizeof buf), 0) << "a released module has no strings";
    EXPECT_STREQ(buf, "");
    EXPECT_FALSE(FreeLibrary(a));
    EXPECT_FALSE(FreeLibrary(nullptr));
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(0x1234)));
}

TEST(Modules, EarlierDirectoriesWin)
{
    TempDir first, second;
    writeFile(first.file("m.strings"), "1=first\n");
    writeFile(second.file("m.strings"), "1=second\n");
    setenv("KIVO95_STRINGS", (second.path() + "::" + first.path()).c_str(), 1);
    HMODULE h = LoadLibraryA("m");
    char buf[16];
    EXPECT_EQ(LoadStringA(h, 1, buf, sizeof buf), 6);
    EXPECT_STREQ(buf, "second");
    FreeLibrary(h);
    unsetenv("KIVO95_STRINGS");
}

class WinExecTest : public ::testing::Test
{
  protected:
    TempDir dir;
    QString previous = QDir::currentPath();
    void SetUp() override { ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.path()))); }
    void TearDown() override { QDir::setCurrent(previous); }
    bool exists(const std::string& name) { return std::filesystem::exists(dir.file(name)); }
};

TEST_F(WinExecTest, SplitsWordsWithoutAShell)
{
    EXPECT_GT(WinExec("touch \"a b\" c \"d;e\" $HOME '*' x|y", SW_SHOWNORMAL), 31u);
    EXPECT_GT(kivo::sys::lastWinExecPid(), 0);
    ASSERT_TRUE(kivo::sys::waitForLastWinExec(10000));
    for (const char* name : {"a b", "c", "d;e", "$HOME", "'*'", "x|y"})
        EXPECT_TRUE(exists(name)) << name;
    EXPECT_FALSE(exists("a"));
    EXPECT_FALSE(exists("\"a"));
}

TEST_F(WinExecTest, AQuotedWordGivesBackAnyText)
{
    // As Windows programs read their command line: a backslash escapes a
    // quote, backslashes elsewhere are plain. QuoteCommandWord makes one
    // word of any text, which the split gives back byte for byte.
    const std::vector<std::string> names = {"say \"hi\"", "back\\slash", "end\\",
                                            "x\\\"y",     "\"",          "two  blanks"};
    std::string line = "touch";
    for (const std::string& n : names)
        line += " " + kivo::sys::QuoteCommandWord(n);
    line += " plain\\name a\\\"b c\\\\\"d e\"";
    ASSERT_GT(WinExec(line.c_str(), SW_SHOWNORMAL), 31u) << line;
    ASSERT_TRUE(kivo::sys::waitForLastWinExec(10000));
    for (const std::string& n : names)
        EXPECT_TRUE(exists(n)) << n;
    EXPECT_TRUE(exists("plain\\name")) << "a backslash before no quote stays";
    EXPECT_TRUE(exists("a\"b")) << "an odd run escapes the quote";
    EXPECT_TRUE(exists("c\\d e")) << "an even run halves and the quote groups";
    EXPECT_EQ(kivo::sys::QuoteCommandWord("a\"b\\"), "\"a\\\"b\\\\\"");
}

TEST_F(WinExecTest, FailuresGiveWindowsCodes)
{
    EXPECT_EQ(WinExec((dir.path() + "/missing").c_str(), SW_SHOWNORMAL), 2u);
    EXPECT_EQ(WinExec("no-such-program-kivo95", SW_SHOWNORMAL), 2u);
    EXPECT_EQ(WinExec("", SW_SHOWNORMAL), 2u);
    EXPECT_EQ(WinExec("   ", SW_SHOWNORMAL), 2u);
    EXPECT_EQ(WinExec(nullptr, SW_SHOWNORMAL), 2u);
    writeFile(dir.file("plain"), "not a program\n");
    ::chmod(dir.file("plain").c_str(), 0644);
    EXPECT_EQ(WinExec((dir.path() + "/plain").c_str(), SW_SHOWNORMAL), 5u);
    EXPECT_EQ(WinExec(dir.path().c_str(), SW_SHOWNORMAL), 5u) << "a directory cannot be run";
}

TEST_F(WinExecTest, WaitEndsWithTheChildAndNotBefore)
{
    ASSERT_GT(WinExec("sleep 600", SW_SHOWNORMAL), 31u);
    const long pid = kivo::sys::lastWinExecPid();
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(kivo::sys::waitForLastWinExec(50)) << "the child is still running";
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    EXPECT_TRUE(kivo::sys::waitForLastWinExec(10000));
    EXPECT_TRUE(kivo::sys::waitForLastWinExec(0)) << "an ended child stays ended";
}

TEST_F(WinExecTest, IsTraced)
{
    setenv("KIVO95_TRACE", dir.file("trace").c_str(), 1);
    kivo::trace::reset();
    WinExec("no-such-program-kivo95 x", SW_SHOWNORMAL);
    EXPECT_NE(kivo::test::readFile(dir.file("trace"))
                  .find("WinExec(\"no-such-program-kivo95 x\", cmdShow=1) = 2\n"),
              std::string::npos);
    unsetenv("KIVO95_TRACE");
    kivo::trace::reset();
}
