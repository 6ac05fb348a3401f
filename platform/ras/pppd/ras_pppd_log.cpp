// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The pppd backend's parts that need no process: peers, log lines, exit
// codes, pid files.
#include "platform/ras/pppd/ras_pppd.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kivo::ras::pppd
{
namespace
{

namespace fs = std::filesystem;

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

bool contains(std::string_view s, std::string_view part)
{
    return s.find(part) != std::string_view::npos;
}

bool containsNoCase(std::string_view s, std::string_view part)
{
    return std::search(s.begin(), s.end(), part.begin(), part.end(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           }) != s.end();
}

// chat and pppd lines may carry the program's name in front, as on stderr
// ("/usr/sbin/pppd: Can't open ...") or as syslog writes them
// ("chat[812]: send (ATZ^M)"); the reader looks at the message only.
std::string_view message(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    const std::size_t colon = line.find(": ");
    std::string_view who = colon == std::string_view::npos || colon > 64 ? "" : line.substr(0, colon);
    if (who.find(' ') != std::string_view::npos)
        who = "";
    if (const std::size_t bracket = who.find('['); bracket != std::string_view::npos && who.back() == ']')
        who = who.substr(0, bracket);
    if (const std::size_t slash = who.rfind('/'); slash != std::string_view::npos)
        who = who.substr(slash + 1);
    if (who == "chat" || who == "pppd")
        line.remove_prefix(colon + 2);
    while (!line.empty() && line.front() == ' ')
        line.remove_prefix(1);
    return line;
}

// The text between the first '(' and the last ')' of "Failed (NO CARRIER)".
std::string_view inParens(std::string_view s)
{
    const std::size_t open = s.find('(');
    const std::size_t close = s.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return {};
    return s.substr(open + 1, close - open - 1);
}

// The words of an options file as pppd reads them: '#' at the start of a
// word comments out the rest of the line, quotes group, a backslash takes
// the next character as it is.
std::vector<std::string> optionWords(std::istream& in)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (int c; (c = in.get()) != EOF;) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else if (c == '\\' && in.peek() != EOF)
                word += static_cast<char>(in.get());
            else
                word += static_cast<char>(c);
            continue;
        }
        if (std::isspace(c)) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (c == '#' && !inWord) {
            while ((c = in.get()) != EOF && c != '\n') {
            }
        } else {
            inWord = true;
            if (c == '"' || c == '\'')
                quote = static_cast<char>(c);
            else if (c == '\\' && in.peek() != EOF)
                word += static_cast<char>(in.get());
            else
                word += static_cast<char>(c);
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

// Options whose argument may look like a path but is no device.
bool takesArgument(std::string_view option)
{
    static constexpr std::string_view kOptions[] = {
        "file",
        "call",
        "connect",
        "disconnect",
        "init",
        "pty",
        "socket",
        "welcome",
        "logfile",
        "record",
        "plugin",
        "ip-up-script",
        "ip-down-script",
        "ipv6-up-script",
        "ipv6-down-script",
        "auth-up-script",
        "auth-down-script",
        "user",
        "password",
        "remotename",
        "name",
        "linkname",
        "ipparam",
    };
    return std::find(std::begin(kOptions), std::end(kOptions), option) != std::end(kOptions);
}

bool isCharacterDevice(const std::string& path)
{
    struct stat st {
    };
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

std::string trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return std::string(s);
}

} // namespace

std::string defaultPeersDir()
{
    const char* dir = std::getenv("KIVO95_PPP_PEERS");
    return dir && *dir ? dir : kSystemPeersDir;
}

std::string pppdProgram()
{
    const char* path = std::getenv("KIVO95_PPPD");
    return path && *path ? path : kSystemPppd;
}

std::string guardProgram()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    for (const fs::path& candidate :
         {self.parent_path() / "kivo-pppd-guard", self.parent_path() / "../libexec/kivo95/kivo-pppd-guard"})
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate.lexically_normal().string();
    return {};
}

// ---- peers ----

bool isPeerName(std::string_view name)
{
    if (name.empty() || name.front() == '.')
        return false;
    if (name.back() == '~' || (name.front() == '#' && name.back() == '#'))
        return false;
    for (std::string_view suffix : {".bak", ".orig"})
        if (endsWith(name, suffix))
            return false;
    return !contains(name, ".dpkg-");
}

DWORD listPeers(const std::string& dir, std::vector<std::string>& names)
{
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec)
        return ERROR_CANNOT_OPEN_PHONEBOOK;
    std::vector<std::string> found;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            return ERROR_CANNOT_OPEN_PHONEBOOK;
        const std::string name = it->path().filename().string();
        if (!isPeerName(name))
            continue;
        std::error_code statError;
        if (!fs::is_regular_file(it->path(), statError) || access(it->path().c_str(), R_OK) != 0)
            continue;
        found.push_back(name);
    }
    if (ec)
        return ERROR_CANNOT_OPEN_PHONEBOOK;
    std::sort(found.begin(), found.end());
    names.insert(names.end(), found.begin(), found.end());
    return 0;
}

std::string peerDevice(const std::string& peerFile)
{
    std::ifstream in(peerFile);
    const std::vector<std::string> words = optionWords(in);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (takesArgument(word)) {
            ++i;
            continue;
        }
        if (startsWith(word, "/dev/"))
            return word;
        if (startsWith(word, "tty") && word.size() > 3)
            return "/dev/" + word;
        // As pppd itself decides: an existing character device.
        if (startsWith(word, "/") && isCharacterDevice(word))
            return word;
    }
    return {};
}

std::string deviceTypeOf(std::string_view device)
{
    // isdn4linux's ttyI*, the CAPI TTYs and mISDN's ttyISDN.
    for (std::string_view isdn : {"/dev/ttyI", "/dev/capi"})
        if (startsWith(device, isdn))
            return "isdn";
    return "modem";
}

// ---- the log ----

std::vector<DWORD> LogReader::reach(DWORD state)
{
    std::vector<DWORD> out = m_climb.climb(state);
    if (!out.empty())
        m_state = out.back();
    if (state == RASCS_Connected)
        m_facts.connected = true;
    return out;
}

std::vector<DWORD> LogReader::feed(std::string_view line)
{
    const std::string_view m = message(line);
    LogFacts& f = m_facts;

    // chat, when it logs to stderr (chat -v -s, or -V).
    if (startsWith(m, "send (")) {
        if (containsNoCase(inParens(m), "ATD")) {
            f.dialSent = true;
            return reach(RASCS_ConnectDevice);
        }
        return reach(RASCS_PortOpened);
    }
    if (startsWith(m, "expect ("))
        return reach(RASCS_PortOpened);
    if (m == "alarm") {
        f.chatAlarm = true;
        return {};
    }
    if (startsWith(m, "Failed (")) {
        f.chatFailure = trim(inParens(m));
        return {};
    }

    // pppd.
    if (startsWith(m, "Serial connection established"))
        return reach(RASCS_AllDevicesConnected);
    if (startsWith(m, "Using interface ")) {
        f.interface = trim(m.substr(16));
        return {};
    }
    if (startsWith(m, "Connect: ")) {
        // "Connect: ppp0 <--> /dev/ttyS0"
        const std::string_view rest = m.substr(9);
        const std::size_t arrow = rest.find(" <--> ");
        if (arrow != std::string_view::npos) {
            f.interface = trim(rest.substr(0, arrow));
            f.device = trim(rest.substr(arrow + 6));
        }
        return reach(RASCS_Authenticate);
    }
    if (contains(m, "authentication succeeded"))
        return reach(RASCS_Authenticated);
    if (startsWith(m, "local ")) {
        // "local  IP address 192.0.2.7", "local  LL address fe80::..."
        const std::string what = trim(m.substr(6));
        if (startsWith(what, "IP address") || startsWith(what, "LL address"))
            return reach(RASCS_Connected);
        return {};
    }
    if (startsWith(m, "Modem hangup")) {
        f.modemHangup = true;
        if (f.connected && m_state != RASCS_Disconnected) {
            m_state = RASCS_Disconnected;
            return {RASCS_Disconnected};
        }
        return {};
    }
    if (startsWith(m, "LCP: timeout sending Config-Requests")) {
        f.lcpTimeout = true;
        return {};
    }
    // The kernel lacks PPP: pppd stops before it opens the line, or, when
    // only the PPP line discipline is missing, after the connect script.
    if (startsWith(m, "Couldn't open the /dev/ppp device") ||
        startsWith(m, "Couldn't set tty to PPP discipline")) {
        f.noPppSupport = true;
        return {};
    }
    if (startsWith(m, "Can't open options file")) {
        f.optionsFileError = true;
        if (contains(m, "Permission denied"))
            f.permissionDenied = true;
        return {};
    }
    return {};
}

// ---- exit codes ----

DWORD errorForExit(int exitCode, const LogFacts& f)
{
    switch (exitCode) {
    case 0: // the peer ended the link
        return ERROR_REMOTE_DISCONNECTION;
    case 2: // options
        if (f.permissionDenied)
            return ERROR_NO_DIALIN_PERMISSION;
        return f.optionsFileError ? ERROR_CANNOT_FIND_PHONEBOOK_ENTRY : ERROR_CANNOT_LOAD_PHONEBOOK;
    case 3: // pppd is not setuid-root and the user is not root
        return ERROR_NO_DIALIN_PERMISSION;
    case 4: // no PPP support in the kernel
        return ERROR_PROTOCOL_NOT_CONFIGURED;
    case 5: // SIGTERM, SIGINT or SIGHUP: ours or poff's
        return ERROR_USER_DISCONNECTION;
    case 6: // the serial port is locked
        return ERROR_PORT_ALREADY_OPEN;
    case 7: // the serial port cannot be opened
    case 9: // the pty command cannot be run
        return ERROR_PORT_NOT_AVAILABLE;
    case 8: { // the connect script failed
        const std::string& why = f.chatFailure;
        if (why == "BUSY")
            return ERROR_LINE_BUSY;
        if (why == "NO CARRIER")
            return ERROR_NO_CARRIER;
        if (why == "NO DIALTONE" || why == "NO DIAL TONE")
            return ERROR_NO_DIALTONE;
        if (why == "NO ANSWER" || (why.empty() && f.chatAlarm && f.dialSent))
            return ERROR_NO_ANSWER;
        if (why == "VOICE")
            return ERROR_VOICE_ANSWER;
        return ERROR_FROM_DEVICE;
    }
    case 10: // PPP negotiation failed
        return f.lcpTimeout ? ERROR_PPP_TIMEOUT : ERROR_PPP_LCP_TERMINATED;
    case 11: // the peer did not authenticate itself
        return ERROR_UNABLE_TO_AUTHENTICATE_SERVER;
    case 12: // idle
    case 13: // connect time limit
    case 15: // the peer stopped answering echo requests
    case kExitHangup:
    case 20: // traffic limit
        return ERROR_PORT_DISCONNECTED;
    case 17: // the line loops back
        return ERROR_PPP_LOOPBACK_DETECTED;
    case 18: // the init script failed
        return ERROR_HARDWARE_FAILURE;
    case 19: // the peer did not accept our credentials
    case 21: // the peer refused our number
        return ERROR_AUTHENTICATION_FAILURE;
    case kKilledBySignal:
        return f.connected ? ERROR_PORT_DISCONNECTED : ERROR_FROM_DEVICE;
    case kExitCannotRun: // the guard could not start pppd
        return ERROR_DEVICE_DOES_NOT_EXIST;
    default: // 1: fatal error; 14: callback, which is not supported
        // A fatal error after the connect script: the line cannot take
        // PPP's line discipline.
        return exitCode == 1 && f.noPppSupport ? ERROR_PROTOCOL_NOT_CONFIGURED : ERROR_FROM_DEVICE;
    }
}

// ---- links started elsewhere ----

std::vector<RunningLink> findRunningLinks(const std::vector<std::string>& dirs,
                                          const std::vector<std::string>& programNames)
{
    std::map<long, std::string> byPid;
    for (const std::string& dir : dirs) {
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string file = it->path().filename().string();
            if (!startsWith(file, "ppp") || !endsWith(file, ".pid"))
                continue;
            std::string name = file.substr(0, file.size() - 4);
            const bool linkName = startsWith(name, "ppp-");
            if (linkName)
                name = name.substr(4);
            else if (name.size() <= 3 || !std::all_of(name.begin() + 3, name.end(), ::isdigit))
                continue;
            std::ifstream in(it->path());
            long pid = 0;
            if (!(in >> pid) || pid <= 1)
                continue;
            if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
                continue;
            // A pid file left behind may name a pid that now belongs to
            // another program.
            std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
            std::string program;
            if (std::getline(comm, program) &&
                std::none_of(programNames.begin(), programNames.end(), [&](const std::string& p) {
                    // The kernel keeps 15 bytes of a program's name.
                    return p.substr(0, 15) == program;
                }))
                continue;
            // Both files of one pppd: the link name says more.
            auto [at, added] = byPid.emplace(pid, name);
            if (!added && linkName)
                at->second = name;
        }
    }
    std::vector<RunningLink> out;
    for (const auto& [pid, name] : byPid)
        out.push_back({pid, name});
    return out;
}

} // namespace kivo::ras::pppd
