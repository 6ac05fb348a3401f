// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "tools/kivo-reg/regfile.h"

#include "tools/kivo-reg/messages.h"
#include "tools/kivo-reg/utf16.h"

#include <cstdio>

namespace kivo::reg
{

namespace
{

constexpr std::string_view kRegedit4 = "REGEDIT4";
constexpr std::string_view kRegedit5 = "Windows Registry Editor Version 5.00";
// Windows breaks hex data after the comma that brings a line to 77
// characters, so that lines end by column 79 with their backslash.
constexpr std::size_t kWrapAt = 77;

// Backslash and quote are escaped as regedit does; line breaks (possible in
// value names only) as \n and \r, which regedit reads back.
std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out.push_back(c);
        }
    }
    out.push_back('"');
    return out;
}

// A REG_SZ that "text" gives back exactly: one NUL at the end and nowhere
// else, no line break. Others go as hex(1) so that their bytes come back.
bool writableAsText(const std::string& data)
{
    if (data.empty() || data.back() != '\0')
        return false;
    return data.find_first_of(std::string_view("\0\r\n", 3)) == data.size() - 1;
}

// "line" continued with the bytes as hex, wrapped as regedit wraps: at least
// one byte stays on the first line however long the name before it is.
std::string hexLines(std::string line, std::string_view data)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::size_t width = columns(line);
    line.reserve(line.size() + data.size() * 3 + data.size() / 8);
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        line.push_back(kDigits[b >> 4]);
        line.push_back(kDigits[b & 15]);
        if (i + 1 == data.size())
            break;
        line.push_back(',');
        width += 3;
        if (width >= kWrapAt) {
            line += "\\\r\n  ";
            width = 2;
        }
    }
    return line;
}

std::string keyLine(const KeyPath& path, RegFormat format)
{
    const std::string name = path.fullName();
    if (name.find_first_of("\r\n") != std::string::npos)
        throw ExportError(message(
            KivoReg::tr("the key \"%1\" has a line break in its name, which a .reg file cannot carry"),
            {name}));
    if (format == RegFormat::Unicode && !isUtf8(name))
        throw ExportError(message(KivoReg::tr("the name of the key \"%1\" is not UTF-8 text"), {name}));
    return "[" + name + "]\r\n";
}

void exportKey(const KeyPath& path, HKEY key, std::string& out, RegFormat format)
{
    out += keyLine(path, format);
    for (const Value& v : values(key)) {
        try {
            out += formatValue(v, format) + "\r\n";
        } catch (const ExportError& e) {
            throw ExportError(path.fullName() + ": " + e.what());
        }
    }
    out += "\r\n";
}

} // namespace

bool isTextType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::string formatValue(const Value& v, RegFormat format)
{
    const bool unicode = format == RegFormat::Unicode;
    if (unicode && !isUtf8(v.name))
        throw ExportError(message(KivoReg::tr("the value name \"%1\" is not UTF-8 text"), {v.name}));
    const std::string name = (v.name.empty() ? std::string("@") : quoted(v.name)) + "=";
    // An empty REG_SZ goes as "" as regedit writes it (it comes back holding its NUL).
    if (v.type == REG_SZ && v.data.empty())
        return name + "\"\"";
    if (v.type == REG_SZ && writableAsText(v.data) && (!unicode || isUtf8(v.data)))
        return name + quoted(std::string_view(v.data).substr(0, v.data.size() - 1));
    if (v.type == REG_DWORD && v.data.size() == 4) {
        const auto* b = reinterpret_cast<const unsigned char*>(v.data.data());
        char text[16];
        std::snprintf(text, sizeof text, "%08x",
                      unsigned(b[0]) | unsigned(b[1]) << 8 | unsigned(b[2]) << 16 | unsigned(b[3]) << 24);
        return name + "dword:" + text;
    }
    char kind[24] = "hex:";
    if (v.type != REG_BINARY)
        std::snprintf(kind, sizeof kind, "hex(%x):", static_cast<unsigned>(v.type));
    if (unicode && isTextType(v.type)) {
        const auto wide = utf8ToUtf16(v.data);
        if (!wide)
            throw ExportError(
                message(KivoReg::tr("the data of the value \"%1\" is not UTF-8 text"), {v.name}));
        return hexLines(name + kind, *wide);
    }
    return hexLines(name + kind, v.data);
}

void applyRegOp(const RegOp& op)
{
    switch (op.kind) {
    case RegOp::CreateKey:
        Key::create(op.key);
        break;
    case RegOp::DeleteKey:
        try {
            deleteTree(op.key);
        } catch (const CallError& e) {
            if (e.code() != ERROR_FILE_NOT_FOUND)
                throw;
        }
        break;
    case RegOp::SetValue: {
        Key key = Key::create(op.key);
        const Value& v = op.value;
        check(RegSetValueExA(key.handle(), v.name.c_str(), 0, v.type,
                             reinterpret_cast<const BYTE*>(v.data.data()),
                             static_cast<DWORD>(v.data.size())));
        break;
    }
    case RegOp::DeleteValue: {
        HKEY h = nullptr;
        LONG rc = RegOpenKeyExA(op.key.root, op.key.sub.c_str(), 0, KEY_ALL_ACCESS, &h);
        if (rc == ERROR_SUCCESS) {
            rc = RegDeleteValueA(h, op.value.name.c_str());
            RegCloseKey(h);
        }
        if (rc != ERROR_FILE_NOT_FOUND)
            check(rc);
        break;
    }
    }
}

void applyRegOps(const std::vector<RegOp>& ops)
{
    for (const RegOp& op : ops)
        applyRegOp(op);
}

std::string exportRegFile(const KeyPath& path, RegFormat format)
{
    const bool unicode = format == RegFormat::Unicode;
    std::string out = std::string(unicode ? kRegedit5 : kRegedit4) + "\r\n\r\n";
    walkTree(path, [&](const KeyPath& key, HKEY handle) { exportKey(key, handle, out, format); });
    if (!unicode)
        return out;
    // Every name and text was checked to be UTF-8 on the way.
    return "\xff\xfe" + utf8ToUtf16(out).value();
}

} // namespace kivo::reg
