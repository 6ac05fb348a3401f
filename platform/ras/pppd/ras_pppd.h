// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The pppd backend of the RAS layer: dials the peers of /etc/ppp/peers by
// running "pppd call NAME nodetach nopersist" and reads pppd's log to follow
// the dial. pppd runs under kivo-pppd-guard (platform/ras/pppd/pppd-guard/), in a
// process group of its own with its connect script, so that a hang-up ends
// them all and none outlives the wizard.
//
// This header also exposes the parts that need no process (the peers
// listing, the log reader, the table from pppd's exit codes to RAS errors,
// the search for pppd links started elsewhere) so that they can be tested on
// recorded lines.
//
// Environment:
//   KIVO95_PPPD=path       the pppd to run (default /usr/sbin/pppd);
//   KIVO95_PPP_PEERS=dir   the default peers directory (default /etc/ppp/peers).
#pragma once

#include "platform/ras/ras_backend.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kivo::ras::pppd
{

constexpr const char* kSystemPeersDir = "/etc/ppp/peers";
constexpr const char* kSystemPppd = "/usr/sbin/pppd";

// The peers directory and the pppd binary, from the environment or the
// system defaults.
std::string defaultPeersDir();
std::string pppdProgram();
// The guard program: beside the running program (the build tree), else in
// ../libexec/kivo95 relative to it (an installation); empty when neither.
std::string guardProgram();

// ---- peers ----

// False for names that are not meant as peers: hidden files, editor backups
// and the leftovers of package upgrades.
bool isPeerName(std::string_view fileName);

// The peer files of dir (regular, readable files whose names pass
// isPeerName), in byte order of their names. 0, or
// ERROR_CANNOT_OPEN_PHONEBOOK when the directory cannot be read.
DWORD listPeers(const std::string& dir, std::vector<std::string>& names);

// The serial device a peer file's options name, or empty when it names none
// or cannot be read. pppd takes a word that is no option as its device, so
// this is the first word that is not an option's argument and is a path
// below /dev ("/dev/ttyS0"), a bare TTY name ("ttyS1", as /dev/ttyS1), or
// any other path that names a character device (a symlink such as
// /dev/serial/by-id/... or a pty link of a modem emulator).
std::string peerDevice(const std::string& peerFile);

// "isdn" for the TTYs of ISDN cards, else "modem".
std::string deviceTypeOf(std::string_view device);

// ---- the log ----

// What pppd's output has told about one run so far.
struct LogFacts {
    bool dialSent = false;         // the chat script sent its ATD command
    bool chatAlarm = false;        // chat gave up waiting for an answer
    std::string chatFailure;       // the abort string that ended chat ("BUSY")
    bool connected = false;        // a network protocol came up
    bool optionsFileError = false; // "Can't open options file ..."
    bool permissionDenied = false; // ... because of the file's permissions
    bool lcpTimeout = false;       // the peer never answered LCP
    bool modemHangup = false;
    bool noPppSupport = false; // the kernel lacks PPP (no /dev/ppp, no PPP line discipline)
    std::string interface;     // "ppp0"
    std::string device;        // "/dev/ttyS0", from "Connect: ppp0 <--> /dev/ttyS0"
};

// Reads pppd's output line by line and turns it into the states of a RAS
// dial. The states climb the dial ladder (kDialLadder):
//   OpenPort, PortOpened, ConnectDevice, DeviceConnected,
//   AllDevicesConnected, Authenticate, Authenticated, Connected
// and a line that proves a later step reports the steps it skipped first,
// so every dial walks the whole ladder in order, each step once (a peer
// without chat script jumps from OpenPort to Authenticate at "Connect:").
class LogReader
{
  public:
    // One line of output, without its line end. Returns the states it
    // reaches that were not reached before, in order; after Connected, a
    // modem hang-up returns RASCS_Disconnected.
    std::vector<DWORD> feed(std::string_view line);

    // Reaches a ladder state directly (the backend reaches OpenPort when
    // pppd has started); returns the states not reached before.
    std::vector<DWORD> reach(DWORD state);

    // The last state returned (RASCS_OpenPort before any).
    DWORD state() const { return m_state; }
    const LogFacts& facts() const { return m_facts; }

  private:
    LogFacts m_facts;
    DialClimb m_climb;
    DWORD m_state = RASCS_OpenPort;
};

// pppd's exit code for a run that ended by a signal it did not handle.
constexpr int kKilledBySignal = -1;
// pppd's exit code after the modem hung up.
constexpr int kExitHangup = 16;
// The guard's exit code when it could not run pppd.
constexpr int kExitCannotRun = 127;

// The RAS error for the end of a pppd run, from its exit code and what its
// log said. Every exit code and condition has its row here.
DWORD errorForExit(int exitCode, const LogFacts& facts);

// ---- links started elsewhere ----

struct RunningLink {
    long pid = 0;
    std::string name; // the link name of ppp-NAME.pid, else the interface ("ppp0")
};

// The pppd processes that announce themselves with pid files in dirs
// (ppp-NAME.pid, pppN.pid), alive and running a program whose name is one
// of programNames, one per process, in pid order.
std::vector<RunningLink> findRunningLinks(const std::vector<std::string>& dirs,
                                          const std::vector<std::string>& programNames);

// ---- the backend ----

struct Options {
    std::string pppd = pppdProgram();
    std::string peersDir = defaultPeersDir();
    // How long a pppd may take to end after SIGTERM before it gets SIGKILL
    // (the guard itself kills after three seconds).
    int termGraceMs = 5000;
    // Where pppd writes its pid files.
    std::vector<std::string> runDirs = {"/run", "/var/run"};
    // The guard pppd runs under; empty: pppd runs directly (still in a
    // process group of its own, but a wizard killed with SIGKILL would then
    // leave it running).
    std::string guard = guardProgram();
};

std::unique_ptr<RasBackend> makePppdBackend(Options options = {});

// True when pppd can serve this machine: the pppd program can be run and
// the peers directory lists at least one peer of the user's own (the
// unedited example peer of the ppp package does not count). why says what
// was found either way.
bool pppdAvailable(std::string& why);

} // namespace kivo::ras::pppd
