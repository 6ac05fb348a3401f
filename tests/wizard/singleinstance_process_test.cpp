// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The real program, started twice by the same user: the second start hands
// over to the running wizard and exits 0, the first keeps running.
#include "wizard/SingleInstance.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

using kivo::test::TempDir;

namespace
{

class WizardProcess
{
  public:
    WizardProcess(const TempDir& dir, const QString& runtimeDir)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtimeDir);
        env.insert("KIVO95_REGISTRY", QString::fromStdString(dir.file("registry.db")));
        env.insert("KIVO95_RAS", "sim");
        env.insert("KIVO95_SOUND", "null");
        env.insert("KIVO95_DIALUP_WINDOWS", "0");
        env.insert("KIVO95_MESSAGEBOX", "default");
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(QString::fromStdString(dir.path()));
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(KIVO_BIN_DIR "/kivo95", {});
    }
    ~WizardProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    QProcess& process() { return m_process; }

  private:
    QProcess m_process;
};

} // namespace

TEST(SingleInstanceProcess, SecondStartHandsOverAndExits)
{
    TempDir dir;
    const QString runtime = QString::fromStdString(dir.file("run"));
    ASSERT_TRUE(QDir().mkpath(runtime));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The program derives its socket from XDG_RUNTIME_DIR the way this
    // process does; compute it with ours pointed at the same directory.
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    const QString socket = kivo::SingleInstance::defaultName();
    qputenv("XDG_RUNTIME_DIR", saved);

    WizardProcess first(dir, runtime);
    ASSERT_TRUE(first.process().waitForStarted(10000));
    ASSERT_TRUE(kivo::test::waitUntil([&] { return QFile::exists(socket); }, 20000))
        << "the first wizard never listened on " << socket.toStdString();
    ASSERT_EQ(first.process().state(), QProcess::Running);

    WizardProcess second(dir, runtime);
    ASSERT_TRUE(second.process().waitForFinished(20000)) << "the second start did not end";
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0);
    EXPECT_EQ(first.process().state(), QProcess::Running) << "the first wizard must keep running";
}
