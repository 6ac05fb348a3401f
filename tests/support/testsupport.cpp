#include "tests/support/testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdlib>
#include <fstream>
#include <sstream>

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
    if (m_hadPrevious)
        setenv("KIVO95_REGISTRY", m_previous.c_str(), 1);
    else
        unsetenv("KIVO95_REGISTRY");
    QDir(QString::fromStdString(m_dir)).removeRecursively();
}

TempDir::TempDir() : m_path(makeTempDir()) {}

TempDir::~TempDir()
{
    QDir(QString::fromStdString(m_path)).removeRecursively();
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
