// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Helpers shared by the tests.
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <string>

class QApplication;
class QProcess;

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

// Another program holding a key store file to itself: the sqlite3 shell with
// the file open in exclusive locking mode inside a transaction, until this
// object goes. ok() is false (with the reason in error()) when the shell did
// not take the file.
class StoreHolder {
public:
    explicit StoreHolder(const std::string& path);
    ~StoreHolder();
    StoreHolder(const StoreHolder&) = delete;
    StoreHolder& operator=(const StoreHolder&) = delete;
    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }

private:
    std::unique_ptr<QProcess> m_shell;
    std::string m_error;
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

// Waits for a child process to end: its exit code, or 128 + the signal that
// ended it.
int waitForExit(int pid);

// Writes text to a file (creating or replacing it).
void writeFile(const std::string& path, const std::string& text);
std::string readFile(const std::string& path);

}  // namespace kivo::test
