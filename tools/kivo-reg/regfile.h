// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// .reg files as Windows' regedit and reg.exe write and read them, so settings
// and statistics can move to and from a Windows registry.
//
// Reading takes both headers, "REGEDIT4" and "Windows Registry Editor
// Version 5.00", in UTF-16LE (with or without byte-order mark, as Windows
// writes it) or in 8-bit text (UTF-8, with or without mark), with CRLF, LF or
// CR line ends. Texts of a UTF-16 file are stored as UTF-8. In a version 5
// file the data of hex(1), hex(2) and hex(7) is UTF-16 whatever the file's
// own encoding, and is stored as UTF-8 as well; in a REGEDIT4 file it is
// stored as written.
//
// Where Windows silently skips a line (a value it cannot read, a line it does
// not know), reading refuses the whole file naming that line, so that nothing
// is lost without a word. Comments and spacing that Windows takes are taken.
#pragma once

#include "tools/kivo-reg/keys.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kivo::reg
{

// One change a .reg file asks for, in file order.
struct RegOp {
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind = CreateKey;
    KeyPath key;
    Value value; // SetValue: name, type, data; DeleteValue: name
    int line = 0;
};

// "FILE:LINE: what is wrong", or why a file cannot be read at all.
class ParseError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// A key or value that a .reg file of the asked form cannot carry.
class ExportError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

enum class RegFormat {
    Regedit4, // "REGEDIT4", 8-bit text as stored, CRLF
    Unicode,  // "Windows Registry Editor Version 5.00", UTF-16LE with BOM, CRLF (reg export, regedit /e)
};

// Files above this size are refused unread: a file of statistics is a few
// KiB, and parsing needs about the file's size again in memory.
constexpr std::size_t kMaxRegFileSize = std::size_t(64) << 20;

// A file's text as UTF-8 or 8-bit bytes, whatever encoding it came in.
struct RegText {
    std::string text;
    std::size_t start = 0;             // after a byte-order mark
    std::vector<std::size_t> badLines; // lines of a UTF-16 file that hold a unit that is not text
};

// Reads a file of at most kMaxRegFileSize bytes; a stream that does not start
// like a .reg file (/dev/zero, a binary) is refused after its first bytes.
// Throws ParseError with a message naming the file.
std::string readRegFile(const std::string& fileName);

// Takes the file's bytes (moved, so that a UTF-16 file's bytes can go as soon
// as they are converted). Throws ParseError for an encoding it cannot read.
RegText decodeRegFile(std::string bytes, const std::string& fileName);

// Parses the text, handing each change to `each` in file order; throws
// ParseError at the first bad line. Changes before a bad line have been
// handed over by then: check a whole file (with an `each` that does nothing)
// before applying it.
void parseRegText(const RegText& text, const std::string& fileName,
                  const std::function<void(const RegOp&)>& each);

// Decodes and parses file bytes into a list of changes.
std::vector<RegOp> parseRegFile(std::string_view bytes, const std::string& fileName);

// The types whose data Windows keeps as UTF-16 text: REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ.
bool isTextType(DWORD type);

// Carries out one parsed change. Deleting what is not there is no error.
void applyRegOp(const RegOp& op);
void applyRegOps(const std::vector<RegOp>& ops);

// The file for a key and everything below it: header, one section per key
// (parents before children), CRLF line ends. Throws ExportError for a name or
// text that the format cannot carry.
std::string exportRegFile(const KeyPath& key, RegFormat format = RegFormat::Regedit4);

// One value as a .reg line (continued lines joined by "\\\r\n  "), no line
// end, as UTF-8 or 8-bit text (a Unicode file converts its text at the end).
std::string formatValue(const Value& value, RegFormat format = RegFormat::Regedit4);

} // namespace kivo::reg
