// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The installer: writes the installation file in the current directory.
#include "platform/desktop/dialup_caption.h"
#include "tests/support/testsupport.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <sys/stat.h>

using kivo::test::TempDir;

namespace
{

struct Outcome {
    int exitCode = -1;
    QString err;
};

Outcome runInitkivo(const std::string& cwd, const QStringList& args = {})
{
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(cwd));
    p.start(KIVO_BIN_DIR "/initkivo", args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace

TEST(Initkivo, WritesThePostDialCaptionAsFirstLine)
{
    TempDir dir;
    kivo::test::writeFile(dir.file("kivoinfo.pdt"),
                          "old caption that is much longer than the new one\nsecond\n");
    Outcome r = runInitkivo(dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(kivo::test::readFile(dir.file("kivoinfo.pdt")),
              std::string(kivo::dialup::kPostDialCaption) + "\n")
        << "an old file is replaced, not patched";
}

TEST(Initkivo, ReportsAFileItCannotWrite)
{
    // A directory in the file's place cannot be written, not even by root.
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("kivoinfo.pdt").c_str(), 0755), 0);
    Outcome r = runInitkivo(dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("cannot create kivoinfo.pdt")) << r.err.toStdString();
}

TEST(Initkivo, RefusesArguments)
{
    TempDir dir;
    Outcome r = runInitkivo(dir.path(), {"--force"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("usage")) << r.err.toStdString();
}
