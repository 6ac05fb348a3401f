// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A real X server for the desktop tests: Xvfb on a free display, optionally
// with a window manager (openbox), and a second X client process that makes
// windows on it.
#pragma once

#include <QProcess>

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace kivo::test
{

// Starts Xvfb (and the window manager) and points DISPLAY at it for this
// process; on exit closes the desktop layer's connection, ends both and
// restores DISPLAY. ok() is false, with the reason in error(), when the
// server or the window manager did not come up: a test must fail then.
class XServer
{
  public:
    enum class WindowManager { None, Openbox };
    explicit XServer(WindowManager wm = WindowManager::None);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }
    const std::string& display() const { return m_display; }
    // Ends the server now (the desktop layer's connection breaks).
    void stop();

  private:
    void waitForWindowManager();

    std::string m_error;
    std::string m_display;
    std::string m_previousDisplay;
    bool m_hadDisplay = false;
    pid_t m_server = -1;
    pid_t m_wm = -1;
};

// The x11_client helper program, a client of its own on the current
// DISPLAY. Every call returns once the server has carried it out.
class XClient
{
  public:
    XClient();
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool ok() const { return m_process.state() == QProcess::Running; }
    // Sends one command line and returns the answer line.
    std::string command(const std::string& line);

    // flags: see x11_client.cpp ("m": mapped). Returns the XID, 0 on failure.
    std::uint32_t create(const std::string& title, const std::string& flags = "m");
    void setTitle(std::uint32_t window, const std::string& title);
    void map(std::uint32_t window);
    void withdraw(std::uint32_t window);
    void iconify(std::uint32_t window);
    void destroy(std::uint32_t window);
    // "map=M state=S" as the server sees the window.
    std::string query(std::uint32_t window);

  private:
    std::string simple(const char* verb, std::uint32_t window, const std::string& arg = {});
    QProcess m_process;
};

// Runs one test of this test program (its gtest name, as a filter; it may
// be a DISABLED_ one) in a child process on Qt's xcb platform against the
// given X display, and returns the child's exit code and everything it
// wrote. The child is ended if it has not finished within timeoutMs.
struct ChildRun {
    int exitCode = -1;
    QByteArray output;
};
ChildRun runTestOnDisplay(const std::string& display, const std::string& testName, int timeoutMs = 120000);

} // namespace kivo::test
