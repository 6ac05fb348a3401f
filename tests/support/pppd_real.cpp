// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/pppd_real.h"

#include "tests/support/testsupport.h"

#include <QStandardPaths>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kivo::test
{
namespace
{

namespace fs = std::filesystem;

std::vector<long> allPids()
{
    std::vector<long> out;
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos)
            out.push_back(std::stol(name));
    }
    return out;
}

std::string procFile(long pid, const char* file)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

std::string pppdToolsMissing()
{
    std::string missing;
    for (const char* tool : {kRealPppd, kRealChat})
        if (!fs::exists(tool))
            missing += std::string(missing.empty() ? "" : ", ") + tool;
    if (QStandardPaths::findExecutable("socat").isEmpty())
        missing += std::string(missing.empty() ? "" : ", ") + "socat";
    return missing.empty() ? missing : missing + " (packages ppp and socat; make bootstrap installs them)";
}

HayesModem::HayesModem(const std::string& dir, const std::map<std::string, std::string>& answers)
    : m_link(dir + "/modem/line"), m_log(dir + "/modem/log")
{
    fs::create_directories(dir + "/modem");
    std::string config = "log " + m_log + "\n";
    for (const auto& [number, reply] : answers)
        config += "dial " + number + " " + reply + "\n";
    writeFile(dir + "/modem/conf", config);
    writeFile(m_log, "");
    // socat splits the EXEC command at blanks: the paths have none.
    m_socat.setProgram("socat");
    m_socat.setArguments(
        {"PTY,link=" + QString::fromStdString(m_link) + ",rawer",
         "EXEC:" KIVO_TEST_SUPPORT_DIR "/hayes-modem " + QString::fromStdString(dir) + "/modem/conf"});
    // A group of its own, so that the script ends with socat; and it ends
    // with the test, even one that is killed.
    m_socat.setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    m_socat.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_socat.start();
    if (!m_socat.waitForStarted()) {
        m_error = "socat does not start: " + m_socat.errorString().toStdString();
        return;
    }
    if (!waitUntil([&] { return fs::is_symlink(m_link) || m_socat.state() != QProcess::Running; }) ||
        !fs::is_symlink(m_link)) {
        m_error = "socat made no pty link at " + m_link;
        return;
    }
    std::error_code ec;
    m_tty = fs::read_symlink(m_link, ec).string();
}

HayesModem::~HayesModem()
{
    if (m_socat.state() == QProcess::NotRunning)
        return;
    const qint64 group = m_socat.processId();
    ::kill(static_cast<pid_t>(-group), SIGTERM);
    if (!m_socat.waitForFinished(5000)) {
        ::kill(static_cast<pid_t>(-group), SIGKILL);
        m_socat.waitForFinished(5000);
    }
}

std::vector<std::string> HayesModem::commands() const
{
    std::vector<std::string> out;
    std::istringstream in(readFile(m_log));
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

int HayesModem::dialled() const
{
    const auto all = commands();
    return static_cast<int>(
        std::count_if(all.begin(), all.end(), [](const std::string& c) { return c.rfind("ATD", 0) == 0; }));
}

std::vector<long> HayesModem::pids() const
{
    std::vector<long> out;
    const qint64 group = m_socat.processId();
    if (group <= 0)
        return out;
    for (long pid : allPids())
        if (::getpgid(static_cast<pid_t>(pid)) == group)
            out.push_back(pid);
    return out;
}

void writePeer(const std::string& dir, const std::string& name, const std::string& modemPath,
               const std::string& number, int answerSeconds)
{
    fs::create_directories(dir + "/chat");
    const std::string chat = dir + "/chat/" + name;
    writeFile(chat, "ABORT BUSY\n"
                    "ABORT \"NO CARRIER\"\n"
                    "ABORT \"NO DIALTONE\"\n"
                    "ABORT \"NO ANSWER\"\n"
                    "ABORT VOICE\n"
                    "TIMEOUT 10\n"
                    "\"\" AT\n"
                    "OK ATDT" +
                        number + "\nTIMEOUT " + std::to_string(answerSeconds) + "\nCONNECT \"\"\n");
    writeFile(dir + "/" + name, modemPath +
                                    "\n115200\nlocal\nnocrtscts\nnolock\nnoauth\n"
                                    "connect \"" +
                                    kRealChat + " -v -s -f " + chat + "\"\n");
}

std::string pppdWithAid(const std::string& dir)
{
    fs::create_directories(dir + "/bin");
    const std::string script = dir + "/bin/pppd";
    writeFile(script, std::string("#!/bin/sh\n# Debian's pppd with the /dev/ppp test aid.\n"
                                  "LD_PRELOAD='") +
                          KIVO_PPP_AID + "' exec " + kRealPppd + " \"$@\"\n");
    ::chmod(script.c_str(), 0755);
    return script;
}

std::vector<ProcessInfo> dialProcesses(const std::string& text, const std::vector<long>& except)
{
    std::vector<ProcessInfo> out;
    for (long pid : allPids()) {
        if (pid == ::getpid() || std::find(except.begin(), except.end(), pid) != except.end())
            continue;
        const std::string cmdline = procFile(pid, "cmdline");
        if (cmdline.find(text) == std::string::npos)
            continue;
        ProcessInfo p;
        p.pid = pid;
        std::istringstream status(procFile(pid, "status"));
        std::string state;
        for (std::string line; std::getline(status, line);) {
            std::istringstream words(line);
            std::string key;
            words >> key;
            if (key == "Name:")
                words >> p.name;
            else if (key == "State:")
                words >> state;
            else if (key == "Uid:")
                words >> p.ruid >> p.euid;
        }
        if (state == "Z" || state.empty())
            continue;
        p.pgid = ::getpgid(static_cast<pid_t>(pid));
        out.push_back(p);
    }
    return out;
}

bool anyAlive(const std::vector<long>& pids)
{
    return std::any_of(pids.begin(), pids.end(), [](long pid) {
        const std::string stat = procFile(pid, "stat");
        // pid (comm) state ...
        const std::size_t close = stat.rfind(')');
        return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z' &&
               stat[close + 2] != 'X';
    });
}

std::vector<long> ttyHolders(const std::string& tty, const std::vector<long>& except)
{
    std::vector<long> out;
    for (long pid : allPids()) {
        if (std::find(except.begin(), except.end(), pid) != except.end())
            continue;
        std::error_code ec;
        for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ec), end; !ec && it != end;
             it.increment(ec)) {
            std::error_code linkError;
            if (fs::read_symlink(it->path(), linkError).string() == tty) {
                out.push_back(pid);
                break;
            }
        }
    }
    return out;
}

} // namespace kivo::test
