// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "tests/support/testsupport.h"

#include "platform/registry/registry.h"

#include <QCoreApplication>
#include <QProcess>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace kivo::test {

bool waitUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        // Wake at least every 10 ms: a predicate may depend on another thread
        // or process that posts no event to us.
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

static std::string makeTempDir()
{
    QTemporaryDir d;
    d.setAutoRemove(false);
    return d.path().toStdString();
}

TempRegistry::TempRegistry() : m_dir(makeTempDir()), m_path(m_dir + "/registry.db")
{
    if (const char* p = std::getenv("KIVO95_REGISTRY")) {
        m_previous = p;
        m_hadPrevious = true;
    }
    setenv("KIVO95_REGISTRY", m_path.c_str(), 1);
}

TempRegistry::~TempRegistry()
{
    // The connections to the file go with it.
    kivo::registry::ReleaseConnections();
    if (m_hadPrevious)
        setenv("KIVO95_REGISTRY", m_previous.c_str(), 1);
    else
        unsetenv("KIVO95_REGISTRY");
    QDir(QString::fromStdString(m_dir)).removeRecursively();
}

StoreHolder::StoreHolder(const std::string& path) : m_shell(std::make_unique<QProcess>())
{
    // The shell answers "held" once the file is locked; closing its input
    // ends it, and the transaction with it.
    m_shell->setProcessChannelMode(QProcess::MergedChannels);
    m_shell->start(QStringLiteral("sqlite3"), {QString::fromStdString(path)});
    if (!m_shell->waitForStarted()) {
        m_error = "the sqlite3 shell did not start (package sqlite3)";
        return;
    }
    m_shell->write("PRAGMA locking_mode=EXCLUSIVE;\nBEGIN EXCLUSIVE;\n"
                   "SELECT count(*) FROM sqlite_master;\nSELECT 'held';\n");
    QByteArray answer;
    waitUntil([&] {
        answer += m_shell->readAll();
        return answer.contains("held") || m_shell->state() == QProcess::NotRunning;
    });
    if (!answer.contains("held"))
        m_error = "the sqlite3 shell did not take the file: " + answer.toStdString();
}

StoreHolder::~StoreHolder()
{
    m_shell->closeWriteChannel();
    if (!m_shell->waitForFinished(10000))
        m_shell->kill();
    m_shell->waitForFinished();
}

TempDir::TempDir() : m_path(makeTempDir()) {}

TempDir::~TempDir()
{
    QDir(QString::fromStdString(m_path)).removeRecursively();
}

int waitForExit(int pid)
{
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

std::string readFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace kivo::test
