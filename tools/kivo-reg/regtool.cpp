#include "tools/kivo-reg/regtool.h"

#include "tools/kivo-reg/keys.h"
#include "tools/kivo-reg/regfile.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

namespace kivo::reg
{

namespace
{

constexpr const char* kHelp =
    R"(Usage: kivo-reg COMMAND ...

Reads and changes the KIVO95 key store ($KIVO95_REGISTRY, else
$XDG_CONFIG_HOME/kivo95/registry.db).

  kivo-reg query KEY [VALUE] [/v NAME | /ve] [/s]
      Shows the values and subkeys of KEY, or one value. /ve: the default
      value. /s: every key below KEY too.
  kivo-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]
      Creates KEY and, with /v or /ve, sets a value. TYPE is REG_SZ (the
      default), REG_EXPAND_SZ, REG_MULTI_SZ (items separated by \0),
      REG_DWORD (decimal or 0x hex) or REG_BINARY (hex digits).
  kivo-reg delete KEY [/v NAME | /ve | /va] [/f]
      Deletes KEY with all its subkeys, or one value, or (/va) all values.
  kivo-reg export KEY FILE [/y]
      Writes KEY and everything below it to FILE as a REGEDIT4 .reg file.
  kivo-reg import FILE
      Applies a .reg file ([-KEY] and "Name"=- delete). Nothing changes
      unless every line of the file is good.

KEY starts with its root: HKEY_CLASSES_ROOT (HKCR), HKEY_CURRENT_USER (HKCU),
HKEY_LOCAL_MACHINE (HKLM), HKEY_USERS (HKU), HKEY_CURRENT_CONFIG (HKCC) or
HKEY_DYN_DATA (HKDD), e.g. HKLM\SOFTWARE\Kivo. Options may start with / or -;
/f and /y are accepted for reg.exe habits (kivo-reg never asks).

Exit status: 0 done, 1 failed (message on stderr), 2 wrong command line.
)";

constexpr const char* kDone = "The operation completed successfully.\n";

struct UsageError {
    std::string message;
};

struct Failure {
    std::string message;
};

[[noreturn]] void notFound()
{
    throw Failure{describe(ERROR_FILE_NOT_FOUND)};
}

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The arguments after the command: positionals and the options it allows.
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options; // upper-case name without the dash, e.g. "V"

    bool has(const char* name) const { return options.count(name) > 0; }
    const std::string& get(const char* name) const { return options.at(name); }
};

// Every option is one or two letters (/v, /ve, -f), so "/tmp/x.reg" is a file.
bool looksLikeOption(const std::string& a)
{
    if (a.size() < 2 || a.size() > 3 || (a[0] != '/' && a[0] != '-'))
        return false;
    for (std::size_t i = 1; i < a.size(); ++i)
        if (!std::isalpha(static_cast<unsigned char>(a[i])))
            return false;
    return true;
}

Args parseArgs(const std::vector<std::string>& args, const std::set<std::string>& flags,
               const std::set<std::string>& withArgument)
{
    Args out;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (looksLikeOption(a)) {
            const std::string name = upper(a.substr(1));
            if (out.options.count(name))
                throw UsageError{"option " + a + " given twice"};
            if (flags.count(name)) {
                out.options[name] = "";
                continue;
            }
            if (withArgument.count(name)) {
                if (i + 1 == args.size())
                    throw UsageError{"option " + a + " needs an argument"};
                out.options[name] = args[++i];
                continue;
            }
            throw UsageError{"unknown option " + a};
        }
        out.positional.push_back(a);
    }
    return out;
}

KeyPath keyArg(const std::string& text)
{
    auto key = parseKeyPath(text);
    if (!key)
        throw Failure{"Invalid key name \"" + text +
                      "\": it must start with a root such as HKLM or "
                      "HKEY_LOCAL_MACHINE."};
    return *key;
}

Key openExisting(const KeyPath& path)
{
    try {
        return Key::open(path);
    } catch (const CallError& e) {
        if (e.code() == ERROR_FILE_NOT_FOUND)
            notFound();
        throw;
    }
}

// The value a command names: /v NAME, /ve, or a second positional.
std::optional<std::string> valueArg(const Args& a, std::size_t positionalIndex)
{
    const int given = int(a.has("V")) + int(a.has("VE")) + int(a.positional.size() > positionalIndex);
    if (given > 1)
        throw UsageError{"name one value only"};
    if (a.has("V"))
        return a.get("V");
    if (a.has("VE"))
        return std::string();
    if (a.positional.size() > positionalIndex)
        return a.positional[positionalIndex];
    return std::nullopt;
}

// ---- query -----------------------------------------------------------------

std::string typeName(DWORD type)
{
    switch (type) {
    case REG_NONE:
        return "REG_NONE";
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_BINARY:
        return "REG_BINARY";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN:
        return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK:
        return "REG_LINK";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    default: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(type));
        return buf;
    }
    }
}

std::string dataText(const Value& v)
{
    const std::string& d = v.data;
    switch (v.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return d.substr(0, d.find('\0'));
    case REG_MULTI_SZ: {
        std::string out;
        std::size_t start = 0;
        while (start < d.size() && d[start] != '\0') {
            std::size_t end = d.find('\0', start);
            if (end == std::string::npos)
                end = d.size();
            if (!out.empty())
                out += "\\0";
            out += d.substr(start, end - start);
            start = end + 1;
        }
        return out;
    }
    case REG_DWORD:
        if (d.size() == 4) {
            DWORD n = 0;
            std::memcpy(&n, d.data(), 4);
            char buf[16];
            std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(n));
            return buf;
        }
        [[fallthrough]];
    default: {
        std::string out;
        char buf[4];
        for (unsigned char c : d) {
            std::snprintf(buf, sizeof buf, "%02X", c);
            out += buf;
        }
        return out;
    }
    }
}

void printValue(std::ostream& out, const Value& v)
{
    out << "    " << (v.name.empty() ? "(Default)" : v.name) << "    " << typeName(v.type) << "    "
        << dataText(v) << "\n";
}

void printKey(std::ostream& out, const KeyPath& path, HKEY key, bool recursive)
{
    out << "\n" << path.fullName() << "\n";
    for (const Value& v : values(key))
        printValue(out, v);
    const auto children = subkeyNames(key);
    if (!recursive && !children.empty())
        out << "\n";
    for (const std::string& name : children) {
        const KeyPath child{path.root, path.sub.empty() ? name : path.sub + "\\" + name};
        if (!recursive) {
            out << child.fullName() << "\n";
            continue;
        }
        Key sub = Key::open(child);
        printKey(out, child, sub.handle(), true);
    }
}

int query(const std::vector<std::string>& args, std::ostream& out)
{
    const Args a = parseArgs(args, {"VE", "S"}, {"V"});
    if (a.positional.empty() || a.positional.size() > 2)
        throw UsageError{"query takes KEY and at most one VALUE"};
    const auto name = valueArg(a, 1);
    Key key = openExisting(keyArg(a.positional[0]));
    const KeyPath path = storedSpelling(keyArg(a.positional[0]));
    if (!name) {
        printKey(out, path, key.handle(), a.has("S"));
        return kExitOk;
    }
    const auto v = value(key.handle(), *name);
    if (!v)
        notFound();
    out << "\n" << path.fullName() << "\n";
    printValue(out, *v);
    out << "\n";
    return kExitOk;
}

// ---- add -------------------------------------------------------------------

std::string dwordData(const std::string& text)
{
    const bool isHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = isHex ? text.substr(2) : text;
    unsigned long long n = 0;
    bool ok = !digits.empty() && digits.size() <= (isHex ? 8u : 10u);
    for (char c : digits) {
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : isHex && std::isxdigit(static_cast<unsigned char>(c))
                          ? std::toupper(static_cast<unsigned char>(c)) - 'A' + 10
                          : -1;
        ok = ok && d >= 0;
        n = n * (isHex ? 16 : 10) + static_cast<unsigned>(d < 0 ? 0 : d);
    }
    if (!ok || n > 0xFFFFFFFFull)
        throw Failure{"Invalid REG_DWORD data \"" + text +
                      "\": give a number from 0 to 4294967295, in decimal or as 0x followed by hex digits."};
    std::string out(4, '\0');
    for (int b = 0; b < 4; ++b)
        out[b] = static_cast<char>((n >> (8 * b)) & 0xff);
    return out;
}

std::string binaryData(const std::string& text)
{
    std::string out;
    bool ok = text.size() % 2 == 0;
    for (std::size_t i = 0; ok && i < text.size(); i += 2) {
        ok = std::isxdigit(static_cast<unsigned char>(text[i])) &&
             std::isxdigit(static_cast<unsigned char>(text[i + 1]));
        if (ok)
            out.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    }
    if (!ok)
        throw Failure{"Invalid REG_BINARY data \"" + text + "\": give pairs of hex digits, e.g. 0a1b2c."};
    return out;
}

std::string multiData(const std::string& text)
{
    std::string out;
    std::size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        std::size_t end = text.find("\\0", start);
        if (end == std::string::npos)
            end = text.size();
        out += text.substr(start, end - start);
        out.push_back('\0');
        start = end + 2;
    }
    out.push_back('\0');
    return out;
}

Value valueFromArgs(const std::string& name, const Args& a)
{
    const std::string type = a.has("T") ? upper(a.get("T")) : "REG_SZ";
    const std::string data = a.has("D") ? a.get("D") : std::string();
    Value v{name, REG_SZ, {}};
    if (type == "REG_SZ" || type == "REG_EXPAND_SZ") {
        v.type = type == "REG_SZ" ? REG_SZ : REG_EXPAND_SZ;
        v.data = data + '\0';
    } else if (type == "REG_MULTI_SZ") {
        v.type = REG_MULTI_SZ;
        v.data = multiData(data);
    } else if (type == "REG_DWORD") {
        v.type = REG_DWORD;
        v.data = dwordData(data);
    } else if (type == "REG_BINARY") {
        v.type = REG_BINARY;
        v.data = binaryData(data);
    } else {
        throw Failure{"Unknown type \"" + a.get("T") +
                      "\": use REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD or REG_BINARY."};
    }
    return v;
}

int add(const std::vector<std::string>& args, std::ostream& out)
{
    const Args a = parseArgs(args, {"VE", "F"}, {"V", "T", "D"});
    if (a.positional.size() != 1)
        throw UsageError{"add takes one KEY"};
    const KeyPath path = keyArg(a.positional[0]);
    const auto name = valueArg(a, 1);
    if (!name && (a.has("T") || a.has("D")))
        throw UsageError{"/t and /d need /v NAME or /ve"};
    // Check the data first: a refused add leaves the store as it was.
    std::optional<Value> v;
    if (name)
        v = valueFromArgs(*name, a);
    Key key = Key::create(path);
    if (v)
        check(RegSetValueExA(key.handle(), v->name.c_str(), 0, v->type,
                             reinterpret_cast<const BYTE*>(v->data.data()),
                             static_cast<DWORD>(v->data.size())));
    out << kDone;
    return kExitOk;
}

// ---- delete ----------------------------------------------------------------

int remove(const std::vector<std::string>& args, std::ostream& out)
{
    const Args a = parseArgs(args, {"VE", "VA", "F"}, {"V"});
    if (a.positional.size() != 1)
        throw UsageError{"delete takes one KEY"};
    const KeyPath path = keyArg(a.positional[0]);
    const auto name = valueArg(a, 1);
    if (name && a.has("VA"))
        throw UsageError{"/va deletes all values; do not name one"};
    if (!name && !a.has("VA")) {
        if (path.sub.empty())
            throw Failure{"A root key cannot be deleted."};
        openExisting(path);
        deleteTree(path);
    } else {
        Key key = openExisting(path);
        std::vector<std::string> names;
        if (name)
            names.push_back(*name);
        else
            for (const Value& v : values(key.handle()))
                names.push_back(v.name);
        for (const std::string& n : names) {
            const LONG rc = RegDeleteValueA(key.handle(), n.c_str());
            if (rc == ERROR_FILE_NOT_FOUND && name)
                notFound();
            if (rc != ERROR_FILE_NOT_FOUND)
                check(rc);
        }
    }
    out << kDone;
    return kExitOk;
}

// ---- export and import -------------------------------------------------------

int exportKey(const std::vector<std::string>& args, std::ostream& out)
{
    const Args a = parseArgs(args, {"Y"}, {});
    if (a.positional.size() != 2)
        throw UsageError{"export takes KEY and FILE"};
    openExisting(keyArg(a.positional[0]));
    const std::string text = exportRegFile(storedSpelling(keyArg(a.positional[0])));
    const std::string& file = a.positional[1];
    std::ofstream f(file, std::ios::binary | std::ios::trunc);
    if (f)
        f.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (f)
        f.close();
    if (!f)
        throw Failure{"Cannot write " + file + ": " + std::strerror(errno)};
    out << kDone;
    return kExitOk;
}

int import(const std::vector<std::string>& args, std::ostream& out)
{
    const Args a = parseArgs(args, {}, {});
    if (a.positional.size() != 1)
        throw UsageError{"import takes one FILE"};
    const std::string& file = a.positional[0];
    std::ifstream f(file, std::ios::binary);
    if (!f)
        throw Failure{"Cannot read " + file + ": " + std::strerror(errno)};
    std::stringstream text;
    text << f.rdbuf();
    std::vector<RegOp> ops;
    try {
        ops = parseRegFile(text.str(), file);
    } catch (const ParseError& e) {
        throw Failure{std::string(e.what()) + " (nothing was changed)"};
    }
    applyRegOps(ops);
    out << kDone;
    return kExitOk;
}

} // namespace

int runTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.empty()) {
        err << kHelp;
        return kExitUsage;
    }
    const std::string command = upper(args[0]);
    try {
        if (command == "--HELP" || command == "-H" || command == "/?" || command == "-?" ||
            command == "HELP") {
            out << kHelp;
            return kExitOk;
        }
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "/?" || args[i] == "-?" || args[i] == "--help") {
                out << kHelp;
                return kExitOk;
            }
        }
        if (command == "QUERY")
            return query(args, out);
        if (command == "ADD")
            return add(args, out);
        if (command == "DELETE")
            return remove(args, out);
        if (command == "EXPORT")
            return exportKey(args, out);
        if (command == "IMPORT")
            return import(args, out);
        throw UsageError{"unknown command " + args[0]};
    } catch (const UsageError& e) {
        err << "ERROR: Invalid syntax: " << e.message << ".\nType \"kivo-reg --help\" for usage.\n";
        return kExitUsage;
    } catch (const Failure& e) {
        err << "ERROR: " << e.message << "\n";
    } catch (const CallError& e) {
        err << "ERROR: " << e.what() << "\n";
    }
    return kExitError;
}

} // namespace kivo::reg
