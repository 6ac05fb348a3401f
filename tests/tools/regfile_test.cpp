// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// .reg files: a corpus of what Windows' regedit reads (and what we do where we
// differ on purpose), files as Windows writes them, and trees going out and
// back unchanged, also for randomised names and data.
#include "tests/support/testsupport.h"
#include "tools/kivo-reg/regfile.h"
#include "tools/kivo-reg/utf16.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>

using namespace kivo::reg;

namespace
{

// Bytes as readable text: printable ASCII as it is, the rest as \xNN.
std::string shown(std::string_view bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7f) {
            out.push_back(static_cast<char>(c));
        } else {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02x", c);
            out += b;
        }
    }
    return out;
}

std::string keyText(const KeyPath& k)
{
    const char* roots[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKPD", "HKCC", "HKDD"};
    const auto index = reinterpret_cast<std::uintptr_t>(k.root) - 0x80000000u;
    return std::string(roots[index]) + (k.sub.empty() ? "" : "\\" + k.sub);
}

// The changes of a file, "+KEY | -KEY | Name=TYPE:data | Name=-", or
// "!LINE:message" when it is refused. The first key line of the corpus
// files, [HKEY_LOCAL_MACHINE\A], is left out.
std::string outcome(const std::string& file)
{
    std::string out;
    try {
        for (const RegOp& op : parseRegFile(file, "t.reg")) {
            const std::string name = op.value.name.empty() ? "@" : shown(op.value.name);
            std::string item;
            switch (op.kind) {
            case RegOp::CreateKey:
                item = "+" + keyText(op.key);
                break;
            case RegOp::DeleteKey:
                item = "-" + keyText(op.key);
                break;
            case RegOp::SetValue:
                item = name + "=" + std::to_string(op.value.type) + ":" + shown(op.value.data);
                break;
            case RegOp::DeleteValue:
                item = name + "=-";
                break;
            }
            out += (out.empty() ? "" : " | ") + item;
        }
    } catch (const ParseError& e) {
        const std::string what = e.what();
        return what.rfind("t.reg:", 0) == 0 ? "!" + what.substr(6) : "!?" + what;
    }
    for (const char* first : {"+HKLM\\A | ", "+HKLM\\A"})
        if (out.rfind(first, 0) == 0)
            return out.substr(std::string(first).size());
    return out;
}

std::string utf16(std::string_view utf8)
{
    return utf8ToUtf16(utf8).value();
}

// A file as regedit /e and reg export write it: UTF-16LE after a byte-order
// mark, CRLF line ends. The text is given with LF line ends.
std::string windowsFile(std::string_view text)
{
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return "\xff\xfe" + utf16(crlf);
}

// A REGEDIT4 or version 5 file (8-bit) holding [HKEY_LOCAL_MACHINE\A] and then body.
std::string v4(std::string_view body)
{
    return "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n" + std::string(body) + "\n";
}
std::string v5(std::string_view body)
{
    return "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n" + std::string(body) +
           "\n";
}
// A REGEDIT4 file whose second line is `line`.
std::string k(std::string_view line)
{
    return "REGEDIT4\n" + std::string(line) + "\n";
}

// What Windows' regedit does with a corpus file, beside what we do.
enum class Windows {
    Same,           // as we do
    Skips,          // passes over the line or value without a word: we refuse the file, naming the line
    ImportsNothing, // takes the file and imports nothing from it: we refuse it
    Takes,          // takes what we refuse (for a reason docs/decisions.md gives)
    Refuses,        // refuses what we take
    AddsNul,        // adds a NUL to hex(1), hex(2), hex(7) data lacking one: we keep the bytes written
    Unknown,        // our own: the \r escape, which our export writes for value names
};

struct Case {
    const char* group;
    std::string file;
    const char* expect;
    Windows windows;
};

const std::string kNul(1, '\0');

const Case kCorpus[] = {
    // ---- header
    {"header", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n", "", Windows::Same},
    {"header", "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n", "", Windows::Same},
    {"header", " \tREGEDIT4\n[HKEY_LOCAL_MACHINE\\A]", "", Windows::Same},
    {"header", "REGEDIT4", "", Windows::Same},
    {"header", "", "!1: the file is empty", Windows::Same},
    {"header", "\nREGEDIT4\n", "!1: not a .reg file", Windows::Same},
    {"header", "regedit4\n", "!1: not a .reg file", Windows::Same},
    {"header", "Windows Registry Editor Version 4.00\n", "!1: not a .reg file", Windows::Same},
    {"header", "[HKEY_LOCAL_MACHINE\\A]\n", "!1: not a .reg file", Windows::Same},
    {"header", "REGEDIT4 \n[HKEY_LOCAL_MACHINE\\A]\n", "!1: the first line must be exactly",
     Windows::ImportsNothing},
    {"header", "REGEDIT5\n[HKEY_LOCAL_MACHINE\\A]\n", "!1: the first line must be exactly",
     Windows::ImportsNothing},
    {"header", "REGEDIT\nHKEY_CLASSES_ROOT\\A = x\n", "!1: this is a Windows 3.1", Windows::Takes},
    // ---- key lines
    {"key lines", k("[HKEY_LOCAL_MACHINE\\B\\]"), "+HKLM\\B", Windows::Same},
    {"key lines", k("[hkey_current_user\\Software\\B]"), "+HKCU\\Software\\B", Windows::Same},
    {"key lines", k("  [HKEY_LOCAL_MACHINE\\B] ; a note"), "+HKLM\\B", Windows::Same},
    {"key lines", k("[HKEY_LOCAL_MACHINE\\B] junk"), "+HKLM\\B", Windows::Same},
    {"key lines", k("[HKEY_LOCAL_MACHINE\\B]]"), "+HKLM\\B]", Windows::Same},
    {"key lines", k("[HKEY_LOCAL_MACHINE]"), "+HKLM", Windows::Same},
    {"key lines", k("[HKLM\\B]"), "!2: write the root HKLM in full", Windows::Skips},
    {"key lines", k("[HKEY_NOWHERE\\B]"), "!2: invalid key name", Windows::Skips},
    {"key lines", k("[ HKEY_LOCAL_MACHINE\\B]"), "!2: invalid key name", Windows::Skips},
    {"key lines", k("[]"), "!2: invalid key name", Windows::Skips},
    {"key lines", k("[HKEY_LOCAL_MACHINE\\B\\\\C]"),
     "!2: the key name \"HKEY_LOCAL_MACHINE\\B\\\\C\" has an empty part", Windows::Skips},
    {"key lines", k("[HKEY_LOCAL_MACHINE\\B"), "!2: a key line must end with ]", Windows::Skips},
    {"key lines", k("[HKEY_LOCAL_MACHINE\\B\\\nC]"), "!2: a key line must end with ]", Windows::Skips},
    {"key lines", k("[HKEY_LOCAL_MACHINE\\B" + kNul + "C]"), "!2: the key name holds a NUL byte",
     Windows::Skips},
    // ---- strings and escapes
    {"strings", v4(R"("N"="a \"q\" b\\c")"), R"(N=1:a "q" b\\c\x00)", Windows::Same},
    {"strings", v4(R"(@="d")"), R"(@=1:d\x00)", Windows::Same},
    {"strings", v4(R"(""="d")"), R"(@=1:d\x00)", Windows::Same},
    {"strings", v4(R"("N"="")"), R"(N=1:\x00)", Windows::Same},
    {"strings", v4("\t\"N\" =\t\"x\""), R"(N=1:x\x00)", Windows::Same},
    {"strings", v4(R"("N"="a";c)"), R"(N=1:a\x00)", Windows::Same},
    {"strings", v4(R"("N"="Line1\nLine2")"), R"(N=1:Line1\x0aLine2\x00)", Windows::Same},
    {"strings", v4(R"("Two\nLines"="x")"), R"(Two\x0aLines=1:x\x00)", Windows::Same},
    {"strings", v4(R"("N"="a\rb")"), R"(N=1:a\x0db\x00)", Windows::Unknown},
    {"strings", v4(R"("N"="C:\dir")"), "!4: unknown escape \\d", Windows::Skips},
    {"strings", v4(R"("N"="\0")"), "!4: unknown escape \\0", Windows::Skips},
    {"strings", v4(R"("N"="open)"), "!4: missing closing quote", Windows::Skips},
    {"strings", v4(R"("N"="a\)"), "!4: missing closing quote", Windows::Skips},
    {"strings", v4("\"N\"=\"Line1\nLine2\""), "!4: missing closing quote", Windows::Skips},
    {"strings", v4(R"("N"="a"b)"), "!4: unexpected text after the value", Windows::Skips},
    {"strings", v4(R"("N"="a"#c)"), "!4: unexpected text after the value", Windows::Skips},
    {"strings", v4(R"("N" "x")"), "!4: expected = after the value name", Windows::Skips},
    {"strings", v4(R"(@x="y")"), "!4: expected = after the value name", Windows::Skips},
    {"strings", v4("\"ShowWelcome" + kNul + "x\"=dword:1"), "!4: a NUL byte inside quotes", Windows::Skips},
    {"strings", v4("\"N\"=\"a" + kNul + "b\""), "!4: a NUL byte inside quotes", Windows::Skips},
    {"strings", "REGEDIT4\n\"N\"=\"x\"\n", "!2: a value line must follow a [KEY] line", Windows::Skips},
    // ---- dword
    {"dword", v4(R"("N"=dword:0000000a)"), R"(N=4:\x0a\x00\x00\x00)", Windows::Same},
    {"dword", v4(R"("N"=dword:A)"), R"(N=4:\x0a\x00\x00\x00)", Windows::Same},
    {"dword", v4(R"("N"=dword:fcfdfeff)"), R"(N=4:\xff\xfe\xfd\xfc)", Windows::Same},
    {"dword", v4(R"("N"=dword: 1)"), R"(N=4:\x01\x00\x00\x00)", Windows::Same},
    {"dword", v4("\"N\"=dword:\t1 ;c"), R"(N=4:\x01\x00\x00\x00)", Windows::Same},
    {"dword", v4(R"("N"=dword:123456789)"), "!4: bad dword \"123456789\"", Windows::Skips},
    {"dword", v4(R"("N"=dword:0x1)"), "!4: bad dword", Windows::Skips},
    {"dword", v4(R"("N"=dword:)"), "!4: bad dword", Windows::Skips},
    {"dword", v4(R"("N"=dword:1 2)"), "!4: bad dword", Windows::Skips},
    {"dword", v4(R"("N"=dword:-1)"), "!4: bad dword", Windows::Skips},
    {"dword", v4(R"("N"=dword:1#c)"), "!4: bad dword", Windows::Skips},
    {"dword", v4(R"("N"=dword:1\)"), "!4: bad dword", Windows::Skips},
    {"dword", v4(R"("N"=DWORD:1)"), "!4: unknown value type", Windows::Skips},
    // ---- hex kinds
    {"hex", v4(R"("N"=hex:01,ff)"), R"(N=3:\x01\xff)", Windows::Same},
    {"hex", v4(R"("N"=hex:)"), "N=3:", Windows::Same},
    {"hex", v4(R"("N"=hex(0):)"), "N=0:", Windows::Same},
    {"hex", v4(R"("N"=hex:1,2)"), R"(N=3:\x01\x02)", Windows::Same},
    {"hex", v4(R"("N"=hex: 01, 02,)"), R"(N=3:\x01\x02)", Windows::Same},
    {"hex", v4(R"("N"=hex:01,02 ;c)"), R"(N=3:\x01\x02)", Windows::Same},
    {"hex", v4(R"("N"=hex(4):01,02,03,04)"), R"(N=4:\x01\x02\x03\x04)", Windows::Same},
    {"hex", v4(R"("N"=hex(b):01,00,00,00,00,00,00,80)"), R"(N=11:\x01\x00\x00\x00\x00\x00\x00\x80)",
     Windows::Same},
    {"hex", v4(R"("N"=hex(12345):)"), "N=74565:", Windows::Same},
    {"hex", v4(R"("N"=hex(2):25,50,41,54,48,25,00)"), R"(N=2:%PATH%\x00)", Windows::Same},
    {"hex", v4(R"("N"=hex(2):25,00,50,00)"), R"(N=2:%\x00P\x00)", Windows::Same},
    {"hex", v5(R"("N"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00)"), R"(N=2:%PATH%\x00)",
     Windows::Same},
    {"hex", v5(R"("N"=hex(7):61,00,00,00,62,00,00,00,00,00)"), R"(N=7:a\x00b\x00\x00)", Windows::Same},
    {"hex", v5(R"("N"=hex(1):e9,00,00,00)"), R"(N=1:\xc3\xa9\x00)", Windows::Same},
    {"hex", v5(R"("N"=hex(3):e9,00)"), R"(N=3:\xe9\x00)", Windows::Same},
    {"hex", v4(R"("N"=hex(2):25,50,41,54,48,25)"), R"(N=2:%PATH%)", Windows::AddsNul},
    {"hex", v5(R"("N"=hex(2):25,00,50)"),
     "!4: hex(2) data of a version 5 file is UTF-16 text, but it has an odd", Windows::Takes},
    {"hex", v5(R"("N"=hex(1):00,d8,00,00)"),
     "!4: hex(1) data of a version 5 file is UTF-16 text, but it holds half", Windows::Takes},
    {"hex", v4(R"("N"=hex(q):01)"), "!4: bad value type in hex(...)", Windows::Skips},
    {"hex", v4(R"("N"=hex(2)01)"), "!4: expected : after hex", Windows::Skips},
    {"hex", v4(R"("N"=HEX:01)"), "!4: unknown value type", Windows::Skips},
    {"hex", v4(R"("N"=qword:01)"), "!4: unknown value type", Windows::Skips},
    {"hex", v4(R"("N"=hex:123)"), "!4: bad hex byte \"123\"", Windows::Skips},
    {"hex", v4(R"("N"=hex:01,,02)"), "!4: bad hex byte \"\"", Windows::Skips},
    {"hex", v4(R"("N"=hex:,01)"), "!4: bad hex byte", Windows::Skips},
    {"hex", v4(R"("N"=hex:01,zz)"), "!4: bad hex byte \"zz\"", Windows::Skips},
    {"hex", v4(R"("N"=hex:01 02)"), "!4: bad hex byte \"02\"", Windows::Skips},
    {"hex", v4(R"("N"=hex:01 ,02)"), "!4: bad hex byte", Windows::Skips},
    // ---- continuations
    {"continuations",
     v4(R"("N"=hex:01,\)"
        "\n  02"),
     R"(N=3:\x01\x02)", Windows::Same},
    {"continuations",
     v4(R"("N"=hex:01,\ ;note)"
        "\n  02"),
     R"(N=3:\x01\x02)", Windows::Same},
    {"continuations",
     v4(R"("N"=hex:01,\;note)"
        "\n02"),
     R"(N=3:\x01\x02)", Windows::Same},
    {"continuations",
     v4(R"("N"=hex:01,\)"
        "\n\n  \n  02"),
     R"(N=3:\x01\x02)", Windows::Same},
    {"continuations",
     v4(R"("N"=hex:01,\)"
        "\n  ; note\n;\n  02"),
     R"(N=3:\x01\x02)", Windows::Same},
    {"continuations",
     v4(R"("N"=hex:\)"
        "\n  01"),
     R"(N=3:\x01)", Windows::Same},
    {"continuations",
     v4(R"("N"=hex:01,\)"
        "\n"
        R"(  02,\)"
        "\n  03"),
     R"(N=3:\x01\x02\x03)", Windows::Same},
    {"continuations",
     v4(R"("N"=hex:01,\)"
        "\n#note\n  02"),
     "!5: expected the rest of the hex data begun on line 4", Windows::Skips},
    {"continuations",
     v4(R"("N"=hex:01\)"
        "\n,02"),
     "!4: the backslash that continues hex data must follow a comma", Windows::Skips},
    {"continuations",
     v4(R"("N"=hex:01,0\)"
        "\n2"),
     "!4: the backslash that continues hex data must follow a comma", Windows::Skips},
    {"continuations",
     v4(R"("N"=hex:01,\)"
        "\n,02"),
     "!5: a continued line of hex data cannot start with a comma", Windows::Skips},
    {"continuations",
     v4(R"("N"=hex:01,\)"
        "\n"
        R"(\)"
        "\n02"),
     "!5: a line holding only \\ cannot continue", Windows::Skips},
    {"continuations",
     v4(R"("N"=hex:01,\ x)"
        "\n02"),
     "!4: only a ; comment may follow the backslash", Windows::Skips},
    {"continuations",
     v4(R"("N"=hex:01,\)"
        "\n"
        R"("M"=dword:1)"),
     "!5: expected the rest of the hex data", Windows::Skips},
    {"continuations",
     v4(R"("N"=hex:01,\)"
        "\n[HKEY_LOCAL_MACHINE\\B]"),
     "!5: expected the rest of the hex data", Windows::Skips},
    {"continuations", v4(R"("N"=hex:01,\)"), "!4: the value goes on past the end of the file",
     Windows::Takes},
    {"continuations",
     v4(R"("N"=hex:01,\)"
        "\n  \n"),
     "!4: the value goes on past the end of the file", Windows::Takes},
    // ---- comments and spacing
    {"comments",
     v4("; comment\n# comment\n   ; indented\n \t\n"
        R"("N"="x")"),
     R"(N=1:x\x00)", Windows::Same},
    {"comments", v4(R"("N"=- ;c)"), "N=-", Windows::Same},
    {"comments", v4("\"N\"= - \t"), "N=-", Windows::Same},
    {"comments", v4(R"("N"=-x)"), "!4: unexpected text after the value", Windows::Skips},
    {"comments", v4("N=1"), "!4: expected a [KEY] line", Windows::Skips},
    {"comments", v4(kNul), "!4: the line holds a NUL byte", Windows::Skips},
    // ---- deletions
    {"deletions", k("[-HKEY_LOCAL_MACHINE\\B]"), "-HKLM\\B", Windows::Same},
    {"deletions",
     v4(R"("N"=-)"
        "\n@=-"),
     "N=- | @=-", Windows::Same},
    {"deletions", k("[-HKEY_LOCAL_MACHINE]"), "!2: a root key cannot be deleted", Windows::Skips},
    {"deletions", k("[-HKLM\\B]"), "!2: write the root HKLM in full", Windows::Skips},
    {"deletions", "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\B]\n\"N\"=\"x\"\n",
     "!3: a value line cannot follow a [-KEY]", Windows::Skips},
    // ---- encodings
    {"encodings",
     windowsFile("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n"
                 "\"Gr\u00f6\u00dfe\"=\"\u6771\u4eac\"\n\"P\"=hex(2):25,00,00,00\n"),
     R"(Gr\xc3\xb6\xc3\x9fe=1:\xe6\x9d\xb1\xe4\xba\xac\x00 | P=2:%\x00)", Windows::Same},
    {"encodings",
     utf16("Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"N\"=dword:1\r\n"),
     R"(N=4:\x01\x00\x00\x00)", Windows::Same},
    {"encodings", "\xff\xfe" + utf16("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"N\"=hex(2):25,00\n"),
     R"(N=2:%\x00)", Windows::Same},
    {"encodings", "REGEDIT4\r[HKEY_LOCAL_MACHINE\\A]\r\"N\"=hex:01,\\\r  02\r", R"(N=3:\x01\x02)",
     Windows::Same},
    {"encodings", "\xef\xbb\xbfREGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n", "", Windows::Refuses},
    {"encodings", windowsFile("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"N" + kNul + "x\"=\"1\"\n"),
     "!3: a NUL byte inside quotes", Windows::Skips},
    {"encodings",
     "\xff\xfe" + utf16("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"N") + std::string("\x00\xd8", 2) +
         utf16("\"=\"1\"\n"),
     "!3: the line holds UTF-16 that is not text", Windows::Takes},
    {"encodings",
     "\xff\xfe" + utf16("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n;") + std::string("\x00\xd8", 2) +
         utf16("\n\"N\"=\"1\"\n"),
     R"(N=1:1\x00)", Windows::Same},
    {"encodings", "\xfe\xff" + std::string("\0R\0E", 4), "!1: UTF-16 big-endian files cannot be read",
     Windows::Same},
    {"encodings", "\xff\xfe" + utf16("REGEDIT4\n") + "x", "! the file ends inside a UTF-16 character",
     Windows::Takes},
};

} // namespace

TEST(RegFileRead, CorpusOfFilesAsWindowsReadsThem)
{
    for (const Case& c : kCorpus) {
        SCOPED_TRACE(std::string(c.group) + ": " + shown(c.file));
        const std::string got = outcome(c.file);
        const std::string expect = c.expect;
        if (expect.rfind("!", 0) == 0) {
            // The line number exactly, the message by its words.
            const std::size_t space = expect.find(' ');
            EXPECT_EQ(got.substr(0, space + 1), expect.substr(0, space + 1)) << got;
            EXPECT_NE(got.find(expect.substr(space + 1)), std::string::npos) << got;
        } else {
            EXPECT_EQ(got, expect);
        }
        // Our rule: what Windows skips without a word, we refuse.
        const bool refused = got.rfind("!", 0) == 0;
        switch (c.windows) {
        case Windows::Skips:
        case Windows::ImportsNothing:
        case Windows::Takes:
            EXPECT_TRUE(refused) << got;
            break;
        case Windows::Same:
        case Windows::Refuses:
        case Windows::AddsNul:
        case Windows::Unknown:
            break;
        }
    }
}

TEST(RegFileRead, ReadingIsBoundedAndStopsAtWhatIsNoRegFile)
{
    kivo::test::TempDir dir;
    EXPECT_THROW(readRegFile(dir.file("missing.reg")), ParseError);
    try {
        readRegFile("/dev/zero");
        ADD_FAILURE() << "/dev/zero read";
    } catch (const ParseError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("/dev/zero:1: not a .reg file", 0), 0u) << e.what();
    }
    // A header in UTF-16 passes the first look, whatever follows.
    const std::string file = dir.file("w.reg");
    kivo::test::writeFile(file,
                          windowsFile("Windows Registry Editor Version 5.00\n") + std::string(8192, ' '));
    EXPECT_EQ(readRegFile(file).size(), 2 + 2 * 38 + 8192u);
}

TEST(RegFileWrite, TextsAreQuotedWithTheirEscapes)
{
    EXPECT_EQ(formatValue({"Say \"hi\"", REG_SZ, std::string("C:\\dir\\\0", 8)}),
              "\"Say \\\"hi\\\"\"=\"C:\\\\dir\\\\\"");
    EXPECT_EQ(formatValue({"", REG_SZ, std::string("x\0", 2)}), "@=\"x\"");
    EXPECT_EQ(formatValue({"Tune", REG_SZ, std::string(1, '\0')}), "\"Tune\"=\"\"");
    EXPECT_EQ(formatValue({"Tune", REG_SZ, ""}), "\"Tune\"=\"\"") << "regedit writes an empty REG_SZ so";
    EXPECT_EQ(formatValue({"Two\nLines\r", REG_SZ, std::string("x\0", 2)}), "\"Two\\nLines\\r\"=\"x\"");
    EXPECT_EQ(formatValue({"N", REG_DWORD, std::string("\x0a\0\0\0", 4)}), "\"N\"=dword:0000000a");
    EXPECT_EQ(formatValue({"N", REG_DWORD, std::string("\xff\xfe\xfd\xfc", 4)}), "\"N\"=dword:fcfdfeff");
    // Texts a quoted string cannot carry exactly go as hex(1).
    EXPECT_EQ(formatValue({"A", REG_SZ, "ab"}), "\"A\"=hex(1):61,62");
    EXPECT_EQ(formatValue({"A", REG_SZ, std::string("a\0b\0", 4)}), "\"A\"=hex(1):61,00,62,00");
    EXPECT_EQ(formatValue({"A", REG_SZ, std::string("a\r\nb\0", 5)}), "\"A\"=hex(1):61,0d,0a,62,00");
    EXPECT_EQ(formatValue({"A", REG_DWORD, "abc"}), "\"A\"=hex(4):61,62,63");
    EXPECT_EQ(formatValue({"B", REG_BINARY, ""}), "\"B\"=hex:");
    EXPECT_EQ(formatValue({"E", REG_EXPAND_SZ, std::string("%a%\0", 4)}), "\"E\"=hex(2):25,61,25,00");

    // A Unicode file carries the text kinds as UTF-16, and only UTF-8 text.
    const auto u = RegFormat::Unicode;
    EXPECT_EQ(formatValue({"E", REG_EXPAND_SZ, std::string("%\xc3\xa9%\0", 5)}, u),
              "\"E\"=hex(2):25,00,e9,00,25,00,00,00");
    EXPECT_EQ(formatValue({"M", REG_MULTI_SZ, std::string("a\0\0", 3)}, u), "\"M\"=hex(7):61,00,00,00,00,00");
    EXPECT_EQ(formatValue({"S", REG_SZ, "ab"}, u), "\"S\"=hex(1):61,00,62,00");
    EXPECT_EQ(formatValue({"B", REG_BINARY, "\xe9"}, u), "\"B\"=hex:e9");
    EXPECT_EQ(formatValue({"\xc3\xa9", REG_SZ, std::string("\xe6\x9d\xb1\0", 4)}, u),
              "\"\xc3\xa9\"=\"\xe6\x9d\xb1\"");
    EXPECT_THROW(formatValue({"\xe9", REG_SZ, std::string("x\0", 2)}, u), ExportError);
    EXPECT_THROW(formatValue({"S", REG_SZ, std::string("\xe9\0", 2)}, u), ExportError);
    EXPECT_THROW(formatValue({"S", REG_MULTI_SZ, std::string("\xe9\0\0", 3)}, u), ExportError);
}

TEST(RegFileWrite, LongHexWrapsAsRegeditWrapsIt)
{
    std::string data;
    for (int i = 0; i < 100; ++i)
        data.push_back(static_cast<char>(i * 7));
    std::istringstream text(formatValue({"Blob", REG_BINARY, data}) + "\r\n");
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    // A line ends after the comma that takes it to 77 characters: 22 bytes
    // after "Blob"=hex:, then 25 on each indented line.
    const std::size_t perLine[] = {22, 25, 25, 25, 3};
    ASSERT_EQ(lines.size(), 5u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        const bool last = i + 1 == lines.size();
        EXPECT_EQ(line.rfind(i == 0 ? "\"Blob\"=hex:00,07,0e," : "  ", 0), 0u) << line;
        EXPECT_EQ(line.substr(line.size() - 2), last ? std::string("b5") : std::string(",\\")) << line;
        const std::size_t text = line.size() - (i == 0 ? 11 : 2); // "xx," each, the last without its comma
        const std::size_t bytes = last ? (text + 1) / 3 : (text - 1) / 3;
        EXPECT_EQ(bytes, perLine[i]) << line;
    }
    // The first byte stays beside a long name, as regedit writes it.
    EXPECT_EQ(formatValue({std::string(90, 'n'), REG_BINARY, "\x01\x02"}),
              "\"" + std::string(90, 'n') + "\"=hex:01,\\\r\n  02");
}

namespace
{

// Every value of every key below `path`, escaped, in the store's order.
std::string snapshot(const KeyPath& path)
{
    std::ostringstream out;
    Key k = Key::open(path);
    out << "[" << shown(path.sub) << "]\n";
    for (const Value& v : values(k.handle()))
        out << shown(v.name) << "=" << v.type << ":" << shown(v.data) << "\n";
    for (const std::string& child : subkeyNames(k.handle()))
        out << snapshot(KeyPath{path.root, path.sub + "\\" + child});
    return out.str();
}

void setValue(const KeyPath& path, const Value& v)
{
    Key k = Key::create(path);
    check(RegSetValueExA(k.handle(), v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                         static_cast<DWORD>(v.data.size())));
}

KeyPath key(const char* text)
{
    auto k = parseKeyPath(text);
    EXPECT_TRUE(k) << text;
    return k.value_or(KeyPath{});
}

void import(const std::string& file)
{
    applyRegOps(parseRegFile(file, "in.reg"));
}

} // namespace

TEST(RegFileRoundTrip, ATreeComesBackByteForByteInBothForms)
{
    kivo::test::TempRegistry store;
    const KeyPath top = key("HKEY_CURRENT_USER\\Software\\Kivo");
    setValue(top, {"", REG_SZ, std::string("default\0", 8)});
    setValue(top, {"Quote\"and\\slash", REG_SZ, std::string("\"x\\\"\0", 5)});
    setValue(top, {"Line\r\nbreak", REG_DWORD, "1234"});
    setValue(top, {"Tune", REG_SZ, std::string(1, '\0')});
    setValue(top, {"Raw", REG_SZ, "no terminator"});
    setValue(top, {"Lines", REG_SZ, std::string("a\r\nb\0", 5)});
    setValue(top, {"Gr\xc3\xb6\xc3\x9f"
                   "e",
                   REG_EXPAND_SZ, std::string("%\xe6\x9d\xb1%\0", 6)});
    setValue(top, {"Accesses", REG_DWORD, std::string("\x2a\0\0\x80", 4)});
    setValue(top, {"Empty", REG_BINARY, ""});
    setValue(key("HKCU\\Software\\Kivo\\Entries\\Home ]["), {"Variant", REG_BINARY, std::string(16, '\x05')});
    setValue(key("HKCU\\Software\\Kivo\\Entries\\Home ]["), {"Long", REG_BINARY, std::string(300, '\xfe')});
    setValue(key("HKCU\\Software\\Kivo\\Entries\\Work"), {"Odd", 0x4242, "xy"});
    Key::create(key("HKCU\\Software\\Kivo\\Entries\\Empty\\Deeper"));
    const std::string before = snapshot(top);

    for (const RegFormat format : {RegFormat::Regedit4, RegFormat::Unicode}) {
        const std::string text = exportRegFile(top, format);
        deleteTree(top);
        EXPECT_THROW(Key::open(top), CallError);
        import(text);
        EXPECT_EQ(snapshot(top), before);
        EXPECT_EQ(exportRegFile(top, format), text);
    }
    EXPECT_EQ(exportRegFile(top).rfind(
                  "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Kivo]\r\n@=\"default\"\r\n", 0),
              0u);
    EXPECT_EQ(exportRegFile(top, RegFormat::Unicode)
                  .rfind(windowsFile(
                             "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Kivo]\n"),
                         0),
              0u);

    // What a version 5 file cannot carry is refused, naming the key.
    setValue(key("HKCU\\Software\\Kivo\\Entries\\Work"), {"Latin1", REG_SZ, std::string("caf\xe9\0", 5)});
    try {
        exportRegFile(top, RegFormat::Unicode);
        ADD_FAILURE() << "exported";
    } catch (const ExportError& e) {
        EXPECT_NE(
            std::string(e.what()).find("HKEY_CURRENT_USER\\Software\\Kivo\\Entries\\Work: the data of the "
                                       "value \"Latin1\" is not UTF-8 text"),
            std::string::npos)
            << e.what();
    }
    Key::create(key("HKCU\\Software\\Kivo\\Line\nKey"));
    EXPECT_THROW(exportRegFile(top), ExportError);
}

// Exported on Windows: the Photo Viewer's open command (a long hex(2) line)
// and the wizard's statistics with names beyond Latin-1, written by hand as
// regedit /e writes them and encoded by windowsFile() as it encodes them.
TEST(RegFileRoundTrip, FilesAsWindowsWritesThemComeBackUnchanged)
{
    kivo::test::TempRegistry store;
    const std::string photo =
        "Windows Registry Editor Version 5.00\n"
        "\n"
        "[HKEY_CLASSES_ROOT\\PhotoViewer.FileAssoc.Png]\n"
        "\n"
        "[HKEY_CLASSES_ROOT\\PhotoViewer.FileAssoc.Png\\shell]\n"
        "\n"
        "[HKEY_CLASSES_ROOT\\PhotoViewer.FileAssoc.Png\\shell\\open]\n"
        "\n"
        "[HKEY_CLASSES_ROOT\\PhotoViewer.FileAssoc.Png\\shell\\open\\command]\n"
        "@=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,\\\n"
        "  00,5c,00,53,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,5c,00,72,00,75,00,\\\n"
        "  6e,00,64,00,6c,00,6c,00,33,00,32,00,2e,00,65,00,78,00,65,00,20,00,22,00,25,\\\n"
        "  00,50,00,72,00,6f,00,67,00,72,00,61,00,6d,00,46,00,69,00,6c,00,65,00,73,00,\\\n"
        "  25,00,5c,00,57,00,69,00,6e,00,64,00,6f,00,77,00,73,00,20,00,50,00,68,00,6f,\\\n"
        "  00,74,00,6f,00,20,00,56,00,69,00,65,00,77,00,65,00,72,00,5c,00,50,00,68,00,\\\n"
        "  6f,00,74,00,6f,00,56,00,69,00,65,00,77,00,65,00,72,00,2e,00,64,00,6c,00,6c,\\\n"
        "  00,22,00,2c,00,20,00,49,00,6d,00,61,00,67,00,65,00,56,00,69,00,65,00,77,00,\\\n"
        "  5f,00,46,00,75,00,6c,00,6c,00,73,00,63,00,72,00,65,00,65,00,6e,00,20,00,25,\\\n"
        "  00,31,00,00,00\n"
        "\n";
    const std::string stats =
        "Windows Registry Editor Version 5.00\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvel\\KIVO-WIZ]\n"
        "\"ShowWelcome\"=dword:00000000\n"
        "\"Tune\"=\"C:\\\\Windows\\\\Media\\\\Kl\u00e4nge\\\\tada.wav\"\n"
        "\"PDTCaption\"=\"Post-Dial Terminal Screen\"\n"
        "\"Empty\"=\"\"\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvel\\KIVO-WIZ\\B\u00fcro K\u00f6ln]\n"
        "\"Accesses\"=dword:0000000c\n"
        "\"LastAccess\"=\"24.12.1998 - 18:03:11\"\n"
        "\"LastTime\"=\"00:12:40\"\n"
        "\"TotalTime\"=\"03:25:07\"\n"
        "\"Hosts\"=hex(7):42,00,fc,00,72,00,6f,00,00,00,5a,00,75,00,68,00,61,00,75,00,73,\\\n"
        "  00,65,00,00,00,00,00\n"
        "\"Settings\"=hex:30,00,00,00,fe,ff,ff,ff,02,00,00,00,03,00,00,00,3e,00,00,00,28,\\\n"
        "  00,00,00,00,00,00,00,d0,03,00,00,80,07,00,00,f8,03,00,00,60,00,00,00,01,00,\\\n"
        "  00,00\n"
        "\"Big\"=hex(b):00,00,00,00,01,00,00,00\n"
        "\"Nothing\"=hex(0):\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvel\\KIVO-WIZ\\\u6771\u4eac]\n"
        "@=\"\u6771\u4eac \\\"\u6e0b\u8c37\\\"\"\n"
        "\n";
    for (const auto& [keyName, text] : {std::pair{"HKEY_CLASSES_ROOT\\PhotoViewer.FileAssoc.Png", photo},
                                        std::pair{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvel\\KIVO-WIZ", stats}}) {
        const std::string file = windowsFile(text);
        import(file);
        EXPECT_EQ(exportRegFile(key(keyName), RegFormat::Unicode), file) << keyName;
        // The same file in 8-bit form (as iconv gives it) and our REGEDIT4
        // export come back to the same tree.
        const std::string tree = snapshot(key(keyName));
        const std::string regedit4 = exportRegFile(key(keyName));
        for (const std::string& again : {text, regedit4}) {
            deleteTree(key(keyName));
            import(again);
            EXPECT_EQ(snapshot(key(keyName)), tree) << again;
        }
    }
    static const char kCommand[] = "%SystemRoot%\\System32\\rundll32.exe \"%ProgramFiles%\\Windows Photo "
                                   "Viewer\\PhotoViewer.dll\", ImageView_Fullscreen %1";
    Key command = Key::open(key("HKCR\\PhotoViewer.FileAssoc.Png\\shell\\open\\command"));
    EXPECT_EQ(value(command.handle(), "")->data, std::string(kCommand, sizeof kCommand));
    Key home = Key::open(key("HKLM\\SOFTWARE\\Morvel\\KIVO-WIZ\\B\u00fcro K\u00f6ln"));
    EXPECT_EQ(value(home.handle(), "Hosts")->data, std::string("B\u00fcro\0Zuhause\0\0", 15));
    EXPECT_EQ(value(home.handle(), "Accesses")->data, std::string("\x0c\0\0\0", 4));
    Key top = Key::open(key("HKLM\\SOFTWARE\\Morvel\\KIVO-WIZ"));
    EXPECT_EQ(value(top.handle(), "Empty")->data, std::string(1, '\0'));
}

namespace
{

// Randomised values: names with line breaks, quotes, backslashes and text
// beyond ASCII; data of every kind, NULs included. For a Unicode file the
// names and the text kinds' data are UTF-8.
struct RandomValues {
    std::mt19937 rng;
    bool utf8Only;

    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); }

    std::string text(std::size_t maxPieces, bool withNul)
    {
        static const char* const kPieces[] = {"a",
                                              "Z",
                                              "0",
                                              " ",
                                              "\t",
                                              "\"",
                                              "\\",
                                              "\n",
                                              "\r",
                                              "=",
                                              ";",
                                              "#",
                                              "[",
                                              "]",
                                              "@",
                                              "-",
                                              ",",
                                              "\\n",
                                              "\xc3\xa9",
                                              "\xe6\x9d\xb1",
                                              "\xf0\x9f\x98\x80",
                                              "\x01",
                                              "\x7f"};
        static const char* const kRaw[] = {"\xff", "\x80", "\xe9"};
        std::string out;
        for (std::size_t n = below(maxPieces + 1); n > 0; --n) {
            const std::size_t pick = below(std::size(kPieces) + (utf8Only ? 0 : 3) + (withNul ? 2 : 0));
            if (pick < std::size(kPieces))
                out += kPieces[pick];
            else if (!utf8Only && pick < std::size(kPieces) + 3)
                out += kRaw[pick - std::size(kPieces)];
            else
                out.push_back('\0');
        }
        return out;
    }

    Value value()
    {
        static const DWORD kTypes[] = {REG_SZ,       REG_SZ,     REG_SZ,    REG_EXPAND_SZ,
                                       REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_DWORD,
                                       REG_NONE,     5,          11,        0x12345};
        Value v{text(6, false), kTypes[below(std::size(kTypes))], {}};
        if (v.type == REG_DWORD && below(4) != 0) {
            v.data = std::string(4, '\0');
            for (char& c : v.data)
                c = static_cast<char>(below(256));
        } else if (isTextType(v.type)) {
            v.data = text(12, true);
            if (below(2))
                v.data.push_back('\0');
        } else {
            for (std::size_t n = below(120); n > 0; --n)
                v.data.push_back(static_cast<char>(below(256)));
        }
        return v;
    }
};

unsigned testSeed()
{
    const char* s = std::getenv("KIVO_TEST_SEED");
    return s ? static_cast<unsigned>(std::strtoul(s, nullptr, 10)) : 20261208u;
}

} // namespace

TEST(RegFileRoundTrip, RandomValuesComeBackFromBothForms)
{
    const unsigned seed = testSeed();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (KIVO_TEST_SEED repeats a run)");
    for (const RegFormat format : {RegFormat::Regedit4, RegFormat::Unicode}) {
        RandomValues random{std::mt19937(seed), format == RegFormat::Unicode};
        for (int round = 0; round < 200; ++round) {
            std::vector<Value> values;
            std::string text = format == RegFormat::Unicode ? "Windows Registry Editor Version 5.00\r\n\r\n"
                                                            : "REGEDIT4\r\n\r\n";
            text += "[HKEY_CURRENT_USER\\R]\r\n";
            for (std::size_t n = random.below(8); n > 0; --n) {
                values.push_back(random.value());
                text += formatValue(values.back(), format) + "\r\n";
            }
            const std::string file = format == RegFormat::Unicode ? "\xff\xfe" + utf16(text) : text;
            std::vector<RegOp> ops;
            ASSERT_NO_THROW(ops = parseRegFile(file, "r.reg")) << shown(text);
            ASSERT_EQ(ops.size(), values.size() + 1) << shown(text);
            for (std::size_t i = 0; i < values.size(); ++i) {
                const Value& want = values[i];
                const Value& got = ops[i + 1].value;
                // The one exception: an empty REG_SZ comes back holding its NUL.
                const std::string data =
                    want.type == REG_SZ && want.data.empty() ? std::string(1, '\0') : want.data;
                EXPECT_EQ(shown(got.name), shown(want.name));
                EXPECT_EQ(got.type, want.type) << shown(want.name);
                EXPECT_EQ(shown(got.data), shown(data)) << shown(want.name) << " in " << shown(text);
            }
        }
    }
}

TEST(RegFileRoundTrip, RandomTreesComeBackThroughTheStore)
{
    kivo::test::TempRegistry store;
    const unsigned seed = testSeed();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (KIVO_TEST_SEED repeats a run)");
    const KeyPath top = key("HKEY_CURRENT_USER\\Software\\Random");
    for (const RegFormat format : {RegFormat::Regedit4, RegFormat::Unicode}) {
        RandomValues random{std::mt19937(seed + 1), format == RegFormat::Unicode};
        std::vector<std::string> keys = {top.sub};
        for (int n = 0; n < 6; ++n) {
            std::string name;
            while (name.empty() || name.find_first_of("\\\r\n") != std::string::npos ||
                   name.find('\0') != std::string::npos)
                name = random.text(4, false);
            keys.push_back(keys[random.below(keys.size())] + "\\" + name);
        }
        for (const std::string& sub : keys) {
            for (std::size_t n = random.below(6); n > 0; --n) {
                Value v = random.value();
                if (v.type == REG_SZ && v.data.empty())
                    v.data.push_back('\0');
                setValue(KeyPath{top.root, sub}, v);
            }
            Key::create(KeyPath{top.root, sub});
        }
        const std::string before = snapshot(top);
        const std::string text = exportRegFile(top, format);
        deleteTree(top);
        import(text);
        EXPECT_EQ(snapshot(top), before) << shown(text);
        deleteTree(top);
    }
}

TEST(RegFileApply, DeletionsRemoveTreesAndValuesAndMissingOnesAreFine)
{
    kivo::test::TempRegistry store;
    setValue(key("HKLM\\Software\\Kivo\\A\\B\\C"), {"X", REG_DWORD, "1234"});
    setValue(key("HKLM\\Software\\Kivo"), {"Keep", REG_DWORD, "1234"});
    setValue(key("HKLM\\Software\\Kivo"), {"Drop", REG_DWORD, "1234"});
    import("REGEDIT4\r\n"
           "[-HKEY_LOCAL_MACHINE\\Software\\Kivo\\A]\r\n"
           "[-HKEY_LOCAL_MACHINE\\Software\\Kivo\\NotThere]\r\n"
           "[HKEY_LOCAL_MACHINE\\Software\\Kivo]\r\n"
           "\"drop\"=-\r\n"
           "\"NeverWas\"=-\r\n"
           "[HKEY_LOCAL_MACHINE\\Software\\Missing]\r\n"
           "\"x\"=-\r\n");
    Key k = Key::open(key("HKLM\\Software\\Kivo"));
    EXPECT_TRUE(subkeyNames(k.handle()).empty());
    ASSERT_EQ(values(k.handle()).size(), 1u);
    EXPECT_EQ(values(k.handle())[0].name, "Keep");
    // A key line alone creates its key, as regedit does.
    EXPECT_NO_THROW(Key::open(key("HKLM\\Software\\Missing")));
}
