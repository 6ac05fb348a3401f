// The kivo-reg program as a user runs it: output, messages and exit codes.
#include "tests/support/testsupport.h"

#include <QProcess>

#include <gtest/gtest.h>

using kivo::test::readFile;
using kivo::test::TempDir;
using kivo::test::TempRegistry;
using kivo::test::writeFile;

namespace
{

struct Result {
    int code;
    std::string out;
    std::string err;
};

// Runs build/bin/kivo-reg on the test's own key store (KIVO95_REGISTRY is
// inherited from this process).
Result kivoReg(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(KIVO_BIN_DIR "/kivo-reg"), args);
    EXPECT_TRUE(p.waitForFinished(30000)) << "kivo-reg did not finish";
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
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
