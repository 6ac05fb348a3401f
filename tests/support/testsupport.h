// Helpers shared by the tests.
#pragma once

#include <QString>

#include <functional>
#include <string>

class QApplication;

namespace kivo::test {

// Creates the test program's application object (offscreen). The default
// makes a plain QApplication; a test program that needs the product's own
// application class defines this function in one of its test files.
QApplication* makeApplication(int& argc, char** argv);

// Processes events until pred() is true or timeoutMs passed; returns pred().
// Waits on events (no fixed sleeps, no spinning). The default bound is
// generous: it only ends a wait for something that never comes, and a
// loaded two-core machine under the sanitizers takes seconds for what is
// instant otherwise.
bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 30000);

// A key store of its own for one test: points KIVO95_REGISTRY at a fresh
// file in a temporary directory and restores the previous value on exit.
class TempRegistry {
public:
    TempRegistry();
    ~TempRegistry();
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_dir;
    std::string m_path;
    std::string m_previous;
    bool m_hadPrevious = false;
};

// A fresh temporary directory removed on exit.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Writes text to a file (creating or replacing it).
void writeFile(const std::string& path, const std::string& text);
std::string readFile(const std::string& path);

}  // namespace kivo::test
