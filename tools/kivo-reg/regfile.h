// REGEDIT4 .reg files: the text regedit writes and reads, so settings and
// statistics can move to and from a Windows registry.
//
// Reading also takes LF line ends, the "Windows Registry Editor Version 5.00"
// header (in 8-bit text; UTF-16 files are refused with a message), root
// abbreviations (HKLM) in key lines, and comment lines starting with ';'.
#pragma once

#include "tools/kivo-reg/keys.h"

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

// "FILE:LINE: what is wrong".
class ParseError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// Reads the whole file; throws ParseError at the first bad line, so that a
// caller can change nothing unless every line is good.
std::vector<RegOp> parseRegFile(std::string_view text, const std::string& fileName);

// Carries out parsed changes. Deleting what is not there is no error.
void applyRegOps(const std::vector<RegOp>& ops);

// The file text for a key and everything below it: header, one section per
// key (parents before children), CRLF line ends.
std::string exportRegFile(const KeyPath& key);

// One value as a .reg line (continued lines joined by "\\\r\n  "), no line end.
std::string formatValue(const Value& value);

} // namespace kivo::reg
