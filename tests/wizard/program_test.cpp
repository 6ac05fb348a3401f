// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The kivo95 program itself, started as a user would.
#include "platform/desktop/dialup_caption.h"
#include "tests/wizard/frame_support.h"

#include <QProcess>

#include <filesystem>

using kivo::test::readFile;
using kivo::test::TempDir;
using kivo::test::waitUntil;

namespace
{

class ProgramTest : public ::testing::Test
{
  protected:
    kivo::test::TempRegistry registry;
    TempDir cwd;
    QProcess program;

    void start(const std::string& exe, const QProcessEnvironment& extra = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(extra);
        env.insert("KIVO95_TRACE", QString::fromStdString(cwd.file("trace")));
        env.insert("KIVO95_MESSAGEBOX", "default");
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(QString::fromStdString(cwd.path()));
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QString::fromStdString(exe), {});
        ASSERT_TRUE(program.waitForStarted());
    }
    std::string trace() { return readFile(cwd.file("trace")); }
    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.terminate();
            program.waitForFinished(10000);
        }
    }
};

} // namespace

TEST_F(ProgramTest, WithoutInstallationFileAndInstallerItReportsAndEnds)
{
    // The program alone in a folder: no installer, no string tables beside it.
    TempDir programDir;
    const std::string exe = programDir.file("kivo95");
    std::filesystem::copy_file(KIVO_BIN_DIR "/kivo95", exe);
    start(exe);
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    const std::string t = trace();
    EXPECT_NE(t.find("LoadLibraryA(\"rnaapp.exe\") = 0x0\n"), std::string::npos) << t;
    EXPECT_NE(t.find("WinExec(\"\\\"" + programDir.path() + "/initkivo\\\"\", cmdShow=1) = 2\n"),
              std::string::npos)
        << t;
    EXPECT_NE(t.find("MessageBoxA(owner=0x0, text=\"KIVO95 must be reinstalled. Closing...\", "
                     "caption=\"Error in installation\", type=0x0) = 1\n"),
              std::string::npos)
        << t;
}

TEST_F(ProgramTest, SpeaksTheLanguageTheUserAsksFor)
{
    TempDir programDir;
    const std::string exe = programDir.file("kivo95");
    std::filesystem::copy_file(KIVO_BIN_DIR "/kivo95", exe);
    QProcessEnvironment german;
    german.insert("LANGUAGE", "de");
    start(exe, german);
    ASSERT_TRUE(program.waitForFinished(60000));
    const std::string t = trace();
    EXPECT_NE(t.find("i18n: languages de,"), std::string::npos) << t;
    EXPECT_NE(t.find("MessageBoxA(owner=0x0, text=\"KIVO95 muss neu installiert werden. Das Programm wird "
                     "beendet...\", caption=\"Fehler bei der Installation\", type=0x0) = 1\n"),
              std::string::npos)
        << t;
}

TEST_F(ProgramTest, FirstStartRunsTheInstallerBesideTheProgram)
{
    start(KIVO_BIN_DIR "/kivo95");
    // The last default the first start writes (only RegSetValueExA traces a
    // type after the name; the read of it comes earlier). A write is traced
    // once it is committed.
    ASSERT_TRUE(
        waitUntil([&] { return trace().find(", name=\"ShowWelcome\", type=") != std::string::npos; }, 60000))
        << trace();
    EXPECT_EQ(program.state(), QProcess::Running) << "the wizard runs on";
    EXPECT_EQ(readFile(cwd.file("kivoinfo.pdt")), std::string(kivo::dialup::kPostDialCaption) + "\n");
    TRegFile reg;
    reg.setRootKey(hkLocalMachine);
    reg.setKey(kivo::test::kAppKey);
    EXPECT_EQ(reg.ReadValue("PDTCaption").toString(), kivo::dialup::kPostDialCaption);
    EXPECT_EQ(reg.ReadValue("ShowWelcome").toInt(), 1);
    EXPECT_EQ(reg.ReadValue("Tune").toString(), "");
}
