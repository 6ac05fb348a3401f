// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Debian's real pppd and chat in the tests: a Hayes modem of ours behind a
// pty (socat, tests/support/hayes-modem), peers and chat scripts in a
// directory of the test's own (never /etc/ppp/peers), and a look at the
// processes a dial left behind.
//
// This kernel may lack PPP (no CONFIG_PPP): pppd then exits 4 before it opens
// the line. For the chat dialogue, pppdWithAid() runs pppd with a test aid
// preloaded (support/ppp_dev_aid.c) that lets its /dev/ppp start-up check
// pass; pppd then fails for real where it needs the kernel, after CONNECT.
#pragma once

#include <QProcess>

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kivo::test
{

constexpr const char* kRealPppd = "/usr/sbin/pppd";
constexpr const char* kRealChat = "/usr/sbin/chat";

// Empty when pppd, chat and socat are installed; else what is missing (the
// bootstrap installs them, so a test fails rather than skips then).
std::string pppdToolsMissing();

// A Hayes modem on a pty whose link is path() (DIR/modem/line; its files
// are in DIR/modem, so that a peers directory DIR lists peers only). answers
// maps a dialled number to the modem's reply ("BUSY", "NO CARRIER",
// "CONNECT 33600", ...); an empty reply answers nothing. Other AT commands
// answer OK.
class HayesModem
{
  public:
    HayesModem(const std::string& dir, const std::map<std::string, std::string>& answers);
    ~HayesModem();
    HayesModem(const HayesModem&) = delete;
    HayesModem& operator=(const HayesModem&) = delete;

    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }
    // The link to the pty that pppd opens, and the pty itself (/dev/pts/N).
    const std::string& path() const { return m_link; }
    const std::string& tty() const { return m_tty; }
    // The commands the modem received, in order ("AT", "ATDT5550001").
    std::vector<std::string> commands() const;
    int dialled() const; // how many ATD commands
    // socat and the script: they hold the pty's ends for the modem.
    std::vector<long> pids() const;

  private:
    QProcess m_socat;
    std::string m_link;
    std::string m_tty;
    std::string m_log;
    std::string m_error;
};

// A peer in dir and its chat script in dir/chat. The peer dials number on
// the modem at modemPath and waits answerSeconds for CONNECT (chat's TIMEOUT).
// The options suit root's pppd (noauth, nolock: the system's
// /etc/ppp/options asks for authentication and a lock file).
void writePeer(const std::string& dir, const std::string& name, const std::string& modemPath,
               const std::string& number, int answerSeconds);

// A pppd for KIVO95_PPPD: a small script in dir/bin that runs Debian's pppd with
// the /dev/ppp aid preloaded (root only: the loader ignores LD_PRELOAD for a
// setuid program run by anyone else).
std::string pppdWithAid(const std::string& dir);

struct ProcessInfo {
    long pid = 0;
    long pgid = 0;
    std::string name; // comm: "pppd", "chat", "sh", "kivo-pppd-guard"
    uid_t ruid = 0, euid = 0;
};

// The live processes (zombies excluded) whose command line mentions text,
// a test's own directory: pppd, the guard, the shell and chat of a dial that
// uses its peer and chat script. The modem's own are left out by except.
std::vector<ProcessInfo> dialProcesses(const std::string& text, const std::vector<long>& except = {});

// True while any of pids has not ended (a zombie has: it holds nothing).
bool anyAlive(const std::vector<long>& pids);

// The live processes that hold tty open, other than those in except.
std::vector<long> ttyHolders(const std::string& tty, const std::vector<long>& except);

} // namespace kivo::test
