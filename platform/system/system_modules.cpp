// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// String tables of other "modules" and starting programs.
#include "platform/system/system.h"

#include "platform/system/i18n.h"
#include "platform/system/trace.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace fs = std::filesystem;

namespace
{

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string hex(std::uintptr_t v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

// ---- modules ----------------------------------------------------------------

struct Module {
    std::string key; // lower-case module name
    std::map<UINT, std::string> strings;
    int references = 0;
};

// Module handles are small numbers in a range of their own, so that a
// released or made-up handle is recognised instead of dereferenced.
constexpr std::uintptr_t kModuleBase = std::uintptr_t(0x7EF0) << 32;

struct Modules {
    std::mutex lock;
    std::map<std::uintptr_t, Module> byHandle;
    std::uintptr_t next = 1;
};

Modules& modules()
{
    static Modules m;
    return m;
}

fs::path executableDir()
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

std::vector<fs::path> tableDirs()
{
    std::vector<fs::path> dirs;
    if (const char* env = std::getenv("KIVO95_STRINGS")) {
        std::string list(env);
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(':', start);
            if (end == std::string::npos)
                end = list.size();
            if (end > start)
                dirs.emplace_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
    fs::path exeDir = executableDir();
    if (!exeDir.empty()) {
        dirs.push_back(exeDir / "strings");
        dirs.push_back(exeDir / ".." / "share" / "kivo95" / "strings");
    }
    // As Windows takes a module's resources in the user's language first,
    // DIR/de/NAME.strings comes before DIR/NAME.strings; a directory named
    // earlier still wins over a translation found in a later one.
    const std::string language = kivo::i18n::Language();
    if (language.empty())
        return dirs;
    std::vector<fs::path> withLanguage;
    for (const fs::path& dir : dirs) {
        withLanguage.push_back(dir / language);
        withLanguage.push_back(dir);
    }
    return withLanguage;
}

// "C:\\Windows\\RNAAPP.EXE" -> "rnaapp".
std::string moduleKey(const std::string& name)
{
    std::string base = name;
    std::size_t cut = base.find_last_of("/\\");
    if (cut != std::string::npos)
        base.erase(0, cut + 1);
    base = lower(base);
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".exe") == 0)
        base.erase(base.size() - 4);
    return base;
}

// Finds NAME.strings in a directory, the name compared without regard to case.
bool findTable(const fs::path& dir, const std::string& key, fs::path& found)
{
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec)
        return false;
    const std::string wanted = key + ".strings";
    for (const fs::directory_entry& e : it) {
        if (lower(e.path().filename().string()) == wanted && e.is_regular_file(ec)) {
            found = e.path();
            return true;
        }
    }
    return false;
}

// ID=TEXT per line; '#' starts a comment line; TEXT runs to the line end.
bool readTable(const fs::path& file, std::map<UINT, std::string>& strings)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        std::size_t eq = line.find('=');
        if (eq == 0 || eq == std::string::npos)
            continue;
        const std::string id = line.substr(0, eq);
        if (!std::all_of(id.begin(), id.end(), [](unsigned char c) { return std::isdigit(c); }) ||
            id.size() > 5)
            continue;
        const unsigned long n = std::stoul(id);
        if (n > 0xFFFF)
            continue;
        strings[static_cast<UINT>(n)] = line.substr(eq + 1);
    }
    return true;
}

// ---- programs -----------------------------------------------------------------

// Words as Windows programs split their command line (see WinExec), never
// through a shell.
std::vector<std::string> splitCommandLine(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\') {
            std::size_t n = 0;
            while (i + n < line.size() && line[i + n] == '\\')
                ++n;
            inWord = true;
            if (i + n < line.size() && line[i + n] == '"') {
                word.append(n / 2, '\\');
                if (n % 2 == 1) {
                    word.push_back('"');
                    i += n; // the quote is taken
                } else {
                    i += n - 1; // the quote groups
                }
            } else {
                word.append(n, '\\');
                i += n - 1;
            }
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

// One started program. A thread of its own waits for it (blocking in
// waitpid, so the child never lingers as a zombie) and wakes any waiter.
struct Child {
    pid_t pid = 0;
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
};

struct Children {
    std::mutex lock;
    std::shared_ptr<Child> last;
};

Children& children()
{
    static Children c;
    return c;
}

UINT errnoToWinExec(int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case ENOEXEC:
        return ERROR_BAD_FORMAT;
    default:
        return ERROR_FILE_NOT_FOUND;
    }
}

UINT startProgram(const std::string& cmdLine)
{
    const std::vector<std::string> words = splitCommandLine(cmdLine);
    if (words.empty() || words.front().empty())
        return ERROR_FILE_NOT_FOUND;
    std::vector<char*> argv;
    for (const std::string& w : words)
        argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);

    // The child starts with default signal handling and nothing blocked,
    // whatever this process has set up for itself.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    const bool searchPath = words.front().find('/') == std::string::npos;
    const int err = searchPath ? posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), environ)
                               : posix_spawn(&pid, argv[0], nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (err != 0)
        return errnoToWinExec(err);

    auto child = std::make_shared<Child>();
    child->pid = pid;
    std::thread([child] {
        int status = 0;
        while (::waitpid(child->pid, &status, 0) < 0 && errno == EINTR) {
        }
        std::lock_guard g(child->lock);
        child->done = true;
        child->ended.notify_all();
    }).detach();
    Children& c = children();
    std::lock_guard g(c.lock);
    c.last = child;
    // Any value above 31 means success; Windows returns an instance handle.
    return 33;
}

} // namespace

// ---- public calls -----------------------------------------------------------

HMODULE LoadLibraryA(LPCSTR name)
{
    HMODULE result = nullptr;
    if (name && *name) {
        const std::string key = moduleKey(name);
        Modules& m = modules();
        std::lock_guard g(m.lock);
        for (auto& [handle, module] : m.byHandle) {
            if (module.key == key) {
                ++module.references;
                result = reinterpret_cast<HMODULE>(handle);
                break;
            }
        }
        if (!result && !key.empty()) {
            fs::path file;
            Module module;
            for (const fs::path& dir : tableDirs()) {
                if (findTable(dir, key, file) && readTable(file, module.strings)) {
                    module.key = key;
                    module.references = 1;
                    const std::uintptr_t h = kModuleBase + m.next++;
                    m.byHandle.emplace(h, std::move(module));
                    result = reinterpret_cast<HMODULE>(h);
                    break;
                }
            }
        }
    }
    if (kivo::trace::enabled())
        kivo::trace::line("LoadLibraryA(" + kivo::trace::quote(name) +
                          ") = " + hex(reinterpret_cast<std::uintptr_t>(result)));
    return result;
}

BOOL FreeLibrary(HMODULE module)
{
    BOOL result = FALSE;
    {
        Modules& m = modules();
        std::lock_guard g(m.lock);
        auto it = m.byHandle.find(reinterpret_cast<std::uintptr_t>(module));
        if (it != m.byHandle.end()) {
            if (--it->second.references == 0)
                m.byHandle.erase(it);
            result = TRUE;
        }
    }
    if (kivo::trace::enabled())
        kivo::trace::line("FreeLibrary(" + hex(reinterpret_cast<std::uintptr_t>(module)) +
                          ") = " + std::to_string(result));
    return result;
}

INT LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, INT size)
{
    INT copied = 0;
    if (buffer && size > 0) {
        buffer[0] = '\0';
        Modules& m = modules();
        std::lock_guard g(m.lock);
        auto it = m.byHandle.find(reinterpret_cast<std::uintptr_t>(module));
        if (it != m.byHandle.end()) {
            auto s = it->second.strings.find(id);
            if (s != it->second.strings.end()) {
                const std::size_t n =
                    std::min<std::size_t>(s->second.size(), static_cast<std::size_t>(size) - 1);
                std::memcpy(buffer, s->second.data(), n);
                buffer[n] = '\0';
                copied = static_cast<INT>(n);
            }
        }
    }
    if (kivo::trace::enabled())
        kivo::trace::line("LoadStringA(module=" + hex(reinterpret_cast<std::uintptr_t>(module)) +
                          ", id=" + std::to_string(id) + ", size=" + std::to_string(size) +
                          ") = " + std::to_string(copied) + (copied ? " " + kivo::trace::quote(buffer) : ""));
    return copied;
}

UINT WinExec(LPCSTR cmdLine, UINT cmdShow)
{
    const UINT result = cmdLine ? startProgram(cmdLine) : ERROR_FILE_NOT_FOUND;
    if (kivo::trace::enabled())
        kivo::trace::line("WinExec(" + kivo::trace::quote(cmdLine) + ", cmdShow=" + std::to_string(cmdShow) +
                          ") = " + std::to_string(result));
    return result;
}

namespace kivo::sys
{

std::string QuoteCommandWord(const std::string& word)
{
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out.push_back(c);
    }
    // ... and so are those before the closing quote.
    out.append(2 * backslashes, '\\');
    out.push_back('"');
    return out;
}

long lastWinExecPid()
{
    Children& c = children();
    std::lock_guard g(c.lock);
    return c.last ? static_cast<long>(c.last->pid) : 0;
}

bool waitForLastWinExec(int timeoutMs)
{
    std::shared_ptr<Child> child;
    {
        Children& c = children();
        std::lock_guard g(c.lock);
        child = c.last;
    }
    if (!child)
        return true;
    std::unique_lock g(child->lock);
    return child->ended.wait_for(g, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                                 [&] { return child->done; });
}

} // namespace kivo::sys
