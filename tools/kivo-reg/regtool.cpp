// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "tools/kivo-reg/regtool.h"

#include "tools/kivo-reg/keys.h"
#include "tools/kivo-reg/messages.h"
#include "tools/kivo-reg/regfile.h"
#include "tools/kivo-reg/utf16.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <new>
#include <optional>
#include <set>

namespace kivo::reg
{

namespace
{

// The texts of "kivo-reg /?" and "kivo-reg COMMAND /?".
std::string generalHelp()
{
    return KivoReg::tr("Usage: kivo-reg COMMAND ...\n"
                       "\n"
                       "Reads and changes the KIVO95 key store ($KIVO95_REGISTRY, else\n"
                       "$XDG_CONFIG_HOME/kivo95/registry.db) the way reg.exe does a Windows registry.\n"
                       "\n"
                       "  kivo-reg query KEY [VALUE | /v NAME | /ve] [/s]\n"
                       "  kivo-reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
                       "  kivo-reg delete KEY [/v NAME | /ve | /va] [/f]\n"
                       "  kivo-reg export KEY FILE [/u | /a] [/y]\n"
                       "  kivo-reg import FILE\n"
                       "\n"
                       "\"kivo-reg COMMAND /?\" explains one command.\n"
                       "\n"
                       "KEY starts with its root: HKEY_CLASSES_ROOT (HKCR), HKEY_CURRENT_USER (HKCU),\n"
                       "HKEY_LOCAL_MACHINE (HKLM), HKEY_USERS (HKU), HKEY_CURRENT_CONFIG (HKCC) or\n"
                       "HKEY_DYN_DATA (HKDD), e.g. HKLM\\SOFTWARE\\Kivo. Options may start with / or -.\n"
                       "\n"
                       "Exit status: 0 done, 1 failed (message on stderr), 2 wrong command line.\n")
        .toStdString();
}

std::string queryHelp()
{
    return KivoReg::tr("Usage: kivo-reg query KEY [VALUE | /v NAME | /ve] [/s]\n"
                       "\n"
                       "Shows the values and subkeys of KEY, or one value of it.\n"
                       "\n"
                       "  VALUE, /v NAME  the value NAME\n"
                       "  /ve             the default value\n"
                       "  /s              every key below KEY too; with a value named, looks for\n"
                       "                  that value in KEY and in every key below it\n")
        .toStdString();
}

std::string addHelp()
{
    return KivoReg::tr("Usage: kivo-reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
                       "\n"
                       "Creates KEY (with any missing keys above it) and, with /v or /ve, sets a value.\n"
                       "\n"
                       "  /v NAME       the value NAME\n"
                       "  /ve           the default value\n"
                       "  /t TYPE       REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ,\n"
                       "                REG_DWORD (decimal or 0x hex) or REG_BINARY (hex digits)\n"
                       "  /s SEPARATOR  the one character between REG_MULTI_SZ items (default \\0);\n"
                       "                an item cannot be empty\n"
                       "  /d DATA       the data (default: empty)\n"
                       "  /f            accepted for reg.exe's habits (kivo-reg never asks)\n"
                       "\n"
                       "Example: kivo-reg add 'HKLM\\SOFTWARE\\Kivo' /v Hosts /t REG_MULTI_SZ /d 'a\\0b'\n")
        .toStdString();
}

std::string deleteHelp()
{
    return KivoReg::tr("Usage: kivo-reg delete KEY [/v NAME | /ve | /va] [/f]\n"
                       "\n"
                       "Deletes KEY with all its subkeys, or one value of it, or all its values.\n"
                       "\n"
                       "  /v NAME  the value NAME\n"
                       "  /ve      the default value\n"
                       "  /va      all values of KEY (its subkeys stay)\n"
                       "  /f       accepted for reg.exe's habits (kivo-reg never asks)\n")
        .toStdString();
}

std::string exportHelp()
{
    return KivoReg::tr("Usage: kivo-reg export KEY FILE [/u | /a] [/y]\n"
                       "\n"
                       "Writes KEY and everything below it to FILE as a .reg file (CRLF line ends),\n"
                       "replacing FILE.\n"
                       "\n"
                       "  /a  REGEDIT4 with the texts as stored (the default; regedit /a writes this\n"
                       "      form)\n"
                       "  /u  Unicode: \"Windows Registry Editor Version 5.00\" in UTF-16LE, as\n"
                       "      reg export and regedit /e write it; names and texts must be UTF-8\n"
                       "  /y  accepted for reg.exe's habits (kivo-reg never asks)\n")
        .toStdString();
}

std::string importHelp()
{
    return KivoReg::tr("Usage: kivo-reg import FILE\n"
                       "\n"
                       "Applies a .reg file: REGEDIT4 or \"Windows Registry Editor Version 5.00\",\n"
                       "in UTF-16 as Windows writes it or in 8-bit text. [KEY] creates a key,\n"
                       "\"Name\"=value sets a value, [-KEY] and \"Name\"=- delete.\n"
                       "\n"
                       "Nothing changes unless every line of the file is good; a bad line is named\n"
                       "with its file and line number. Files above 64 MiB are refused.\n")
        .toStdString();
}

constexpr const char* kDone = "The operation completed successfully.\n";

struct UsageError {
    std::string message;
};

bool isHelpSwitch(const std::string& a)
{
    return a == "/?" || a == "-?" || a == "/h" || a == "-h" || a == "/H" || a == "-H" || a == "--help";
}

struct Failure {
    std::string message;
};

[[noreturn]] void notFound()
{
    // Damaged pages can hide keys: say that rather than "not found".
    if (const LONG rc = kivo::registry::CheckStore(); rc != ERROR_SUCCESS)
        throw CallError(rc);
    throw Failure{describe(ERROR_FILE_NOT_FOUND)};
}

// Every command is one transaction on the store: all of its changes or none,
// and a change reported done is on the disk.
int asOneTransaction(bool write, const std::function<int()>& command)
{
    int rc = kExitOk;
    inOneTransaction(write, [&] { rc = command(); });
    if (write)
        flushStore();
    return rc;
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

void printKey(std::ostream& out, const KeyPath& path, HKEY key)
{
    out << "\n" << path.fullName() << "\n";
    for (const Value& v : values(key))
        printValue(out, v);
    const auto children = subkeyNames(key);
    if (!children.empty())
        out << "\n";
    for (const std::string& name : children)
        out << KeyPath{path.root, path.sub.empty() ? name : path.sub + "\\" + name}.fullName() << "\n";
}

// Calls visit for the key and every key below it, parents first.
void walk(const KeyPath& path, HKEY key, const std::function<void(const KeyPath&, HKEY)>& visit)
{
    visit(path, key);
    for (const std::string& name : subkeyNames(key)) {
        const KeyPath child{path.root, path.sub.empty() ? name : path.sub + "\\" + name};
        Key sub = Key::open(child);
        walk(child, sub.handle(), visit);
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
    if (a.has("S")) {
        // As reg.exe: each key a block ending in a blank line; a named value
        // is looked for in every key, and the matches counted.
        out << "\n";
        std::size_t found = 0;
        walk(path, key.handle(), [&](const KeyPath& p, HKEY h) {
            if (!name) {
                out << p.fullName() << "\n";
                for (const Value& v : values(h))
                    printValue(out, v);
                out << "\n";
            } else if (const auto v = value(h, *name)) {
                out << p.fullName() << "\n";
                printValue(out, *v);
                out << "\n";
                ++found;
            }
        });
        if (name)
            out << message(KivoReg::tr("End of search: %1 match(es) found."), {std::to_string(found)})
                << "\n";
        return kExitOk;
    }
    if (!name) {
        printKey(out, path, key.handle());
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

// Items between separators, each ended by a NUL, and one NUL ending the
// list. As reg.exe: a separator may end the last item; an empty item is
// refused (it would end the list and hide the items after it); empty data
// is an empty list.
std::string multiData(const std::string& text, const std::string& separator)
{
    if (text.empty())
        return std::string(1, '\0');
    std::vector<std::string> items;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        items.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + separator.size();
    }
    if (items.size() > 1 && items.back().empty())
        items.pop_back();
    std::string out;
    for (const std::string& item : items) {
        if (item.empty() && items.size() > 1)
            throw Failure{
                message(KivoReg::tr("Invalid REG_MULTI_SZ data \"%1\": an item cannot be empty (two "
                                    "separators in a row, or one at the start)."),
                        {text})};
        out += item;
        out.push_back('\0');
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
        v.data = multiData(data, a.has("S") ? a.get("S") : std::string("\\0"));
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
    const Args a = parseArgs(args, {"VE", "F"}, {"V", "T", "D", "S"});
    if (a.positional.size() != 1)
        throw UsageError{"add takes one KEY"};
    if (a.has("S") && (columns(a.get("S")) != 1 || !isUtf8(a.get("S"))))
        throw UsageError{message(KivoReg::tr("/s takes one character"))};
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
    const Args a = parseArgs(args, {"Y", "U", "A"}, {});
    if (a.positional.size() != 2)
        throw UsageError{"export takes KEY and FILE"};
    if (a.has("U") && a.has("A"))
        throw UsageError{message(KivoReg::tr("choose /u or /a"))};
    const RegFormat format = a.has("U") ? RegFormat::Unicode : RegFormat::Regedit4;
    openExisting(keyArg(a.positional[0]));
    std::string text;
    try {
        text = exportRegFile(storedSpelling(keyArg(a.positional[0])), format);
    } catch (const ExportError& e) {
        throw Failure{
            format == RegFormat::Unicode
                ? message(KivoReg::tr("Cannot export: %1; a Unicode file (/u) carries UTF-8 text only, "
                                      "export without /u to keep the bytes as they are."),
                          {e.what()})
                : message(KivoReg::tr("Cannot export: %1."), {e.what()})};
    }
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
    RegText text;
    try {
        text = decodeRegFile(readRegFile(file), file);
        parseRegText(text, file, {}); // every line is checked before anything changes
    } catch (const ParseError& e) {
        throw Failure{std::string(e.what()) + " (nothing was changed)"};
    } catch (const std::bad_alloc&) {
        throw Failure{message(KivoReg::tr("Not enough memory to read %1 (nothing was changed)."), {file})};
    }
    try {
        inOneTransaction(true, [&] { parseRegText(text, file, applyRegOp); });
    } catch (const CallError& e) {
        throw Failure{std::string(e.what()) + " Nothing was imported."};
    }
    flushStore();
    out << kDone;
    return kExitOk;
}

struct Command {
    const char* name;
    std::string (*help)();
    int (*run)(const std::vector<std::string>& args, std::ostream& out);
};

const Command kCommands[] = {
    {"QUERY", queryHelp, query},       {"ADD", addHelp, add},          {"DELETE", deleteHelp, remove},
    {"EXPORT", exportHelp, exportKey}, {"IMPORT", importHelp, import},
};

} // namespace

int runTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.empty()) {
        err << generalHelp();
        return kExitUsage;
    }
    const std::string command = upper(args[0]);
    std::string usage = "kivo-reg /?";
    try {
        if (isHelpSwitch(args[0]) || command == "HELP") {
            out << generalHelp();
            return kExitOk;
        }
        const Command* c = nullptr;
        for (const Command& known : kCommands)
            if (command == known.name)
                c = &known;
        if (!c)
            throw UsageError{"unknown command " + args[0]};
        usage = "kivo-reg " + args[0] + " /?";
        // As reg.exe: the command's help when asked for alone after it.
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (!isHelpSwitch(args[i]))
                continue;
            if (args.size() != 2)
                throw UsageError{message(KivoReg::tr("%1 must stand alone after the command"), {args[i]})};
            out << c->help();
            return kExitOk;
        }
        // Every command is one transaction on the store; import makes its
        // own around applying the file it has checked.
        if (command == "IMPORT")
            return c->run(args, out);
        return asOneTransaction(command == "ADD" || command == "DELETE", [&] { return c->run(args, out); });
    } catch (const UsageError& e) {
        err << "ERROR: Invalid syntax: " << e.message << ".\nType \"" << usage << "\" for usage.\n";
        return kExitUsage;
    } catch (const Failure& e) {
        err << "ERROR: " << e.message << "\n";
    } catch (const CallError& e) {
        err << "ERROR: " << e.what() << "\n";
    } catch (const std::bad_alloc&) {
        err << "ERROR: " << message(KivoReg::tr("Not enough memory.")) << "\n";
    }
    return kExitError;
}

} // namespace kivo::reg
