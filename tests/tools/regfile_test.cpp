// REGEDIT4 files: writing, reading, and a tree going out and back unchanged.
#include "tests/support/testsupport.h"
#include "tools/kivo-reg/regfile.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace kivo::reg;

namespace
{

std::vector<std::string> physicalLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "every line ends with CRLF";
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string bytes(std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s.push_back(static_cast<char>(i * 7));
    return s;
}

KeyPath key(const char* text)
{
    auto k = parseKeyPath(text);
    EXPECT_TRUE(k) << text;
    return k.value_or(KeyPath{});
}

// Every value of every key below `path`, as "key|name|type|bytes" lines.
std::string snapshot(const KeyPath& path)
{
    std::ostringstream out;
    Key k = Key::open(path);
    for (const Value& v : values(k.handle()))
        out << path.sub << "|" << v.name << "|" << v.type << "|" << v.data << "\n";
    for (const std::string& child : subkeyNames(k.handle()))
        out << path.sub << "\\" << child << "\n" << snapshot(KeyPath{path.root, path.sub + "\\" + child});
    return out.str();
}

void setValue(const KeyPath& path, const Value& v)
{
    Key k = Key::create(path);
    check(RegSetValueExA(k.handle(), v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                         static_cast<DWORD>(v.data.size())));
}

} // namespace

TEST(RegFileWrite, TextsAreQuotedWithTheirEscapes)
{
    EXPECT_EQ(formatValue({"Say \"hi\"", REG_SZ, std::string("C:\\dir\\\0", 8)}),
              "\"Say \\\"hi\\\"\"=\"C:\\\\dir\\\\\"");
    EXPECT_EQ(formatValue({"", REG_SZ, std::string("x\0", 2)}), "@=\"x\"");
    EXPECT_EQ(formatValue({"Tune", REG_SZ, std::string(1, '\0')}), "\"Tune\"=\"\"");
    EXPECT_EQ(formatValue({"N", REG_DWORD, std::string("\x0a\0\0\0", 4)}), "\"N\"=dword:0000000a");
    EXPECT_EQ(formatValue({"N", REG_DWORD, std::string("\xff\xfe\xfd\xfc", 4)}), "\"N\"=dword:fcfdfeff");
    // Texts a quoted string cannot carry exactly go as hex(1).
    EXPECT_EQ(formatValue({"A", REG_SZ, "ab"}), "\"A\"=hex(1):61,62");
    EXPECT_EQ(formatValue({"A", REG_SZ, std::string("a\0b\0", 4)}), "\"A\"=hex(1):61,00,62,00");
    EXPECT_EQ(formatValue({"A", REG_SZ, std::string("a\r\nb\0", 5)}), "\"A\"=hex(1):61,0d,0a,62,00");
    EXPECT_EQ(formatValue({"A", REG_SZ, ""}), "\"A\"=hex(1):");
    EXPECT_EQ(formatValue({"A", REG_DWORD, "abc"}), "\"A\"=hex(4):61,62,63");
    EXPECT_EQ(formatValue({"B", REG_BINARY, ""}), "\"B\"=hex:");
    EXPECT_EQ(formatValue({"E", REG_EXPAND_SZ, std::string("%a%\0", 4)}), "\"E\"=hex(2):25,61,25,00");
}

TEST(RegFileWrite, LongHexWrapsWithinEightyColumns)
{
    const std::string text = formatValue({"Blob", REG_BINARY, bytes(100)}) + "\r\n";
    const auto lines = physicalLines(text);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].rfind("\"Blob\"=hex:00,07,0e,", 0), 0u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 80u) << lines[i];
        EXPECT_GE(lines[i].size(), i + 1 < lines.size() ? 76u : 2u) << lines[i];
        if (i > 0) {
            EXPECT_EQ(lines[i].rfind("  ", 0), 0u) << "continuations are indented: " << lines[i];
        }
        if (i + 1 < lines.size()) {
            EXPECT_EQ(lines[i].substr(lines[i].size() - 2), ",\\") << lines[i];
        }
    }
    // A name too long for any byte on its line still wraps cleanly.
    const std::string longName(90, 'n');
    const auto wrapped = physicalLines(formatValue({longName, REG_BINARY, "\x01\x02"}) + "\r\n");
    ASSERT_EQ(wrapped.size(), 2u);
    EXPECT_EQ(wrapped[1], "  01,02");
}

TEST(RegFileRead, ReadsEveryKindOfLine)
{
    const std::string text = "\xef\xbb\xbfWindows Registry Editor Version 5.00\n"
                             "\n"
                             "; a comment\n"
                             "[HKLM\\Software\\Kivo]\n"
                             "\"Text\"=\"a \\\"q\\\" b\\\\c\"\n"
                             "@=\"default\"\n"
                             "\"Count\" = dword:A\n"
                             "\"Bin\"=hex:01,02,\\\n"
                             "  03, 04,\\\n"
                             "  ff\n"
                             "\"Multi\"=hex(7):61,00,00,00\n"
                             "\"Odd\"=hex(12345):\n"
                             "\"Gone\"=-\n"
                             "@=-\n"
                             "[-HKEY_CURRENT_USER\\Software\\Old]\n";
    const auto ops = parseRegFile(text, "in.reg");
    ASSERT_EQ(ops.size(), 10u);
    EXPECT_EQ(ops[0].kind, RegOp::CreateKey);
    EXPECT_EQ(ops[0].key.root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(ops[0].key.sub, "Software\\Kivo");
    EXPECT_EQ(ops[1].value.name, "Text");
    EXPECT_EQ(ops[1].value.data, std::string("a \"q\" b\\c\0", 10));
    EXPECT_EQ(ops[2].value.name, "");
    EXPECT_EQ(ops[3].value.type, REG_DWORD);
    EXPECT_EQ(ops[3].value.data, std::string("\x0a\0\0\0", 4));
    EXPECT_EQ(ops[4].value.type, REG_BINARY);
    EXPECT_EQ(ops[4].value.data, "\x01\x02\x03\x04\xff");
    EXPECT_EQ(ops[4].line, 8);
    EXPECT_EQ(ops[5].value.type, REG_MULTI_SZ);
    EXPECT_EQ(ops[6].value.type, 0x12345u);
    EXPECT_EQ(ops[6].value.data, "");
    EXPECT_EQ(ops[7].kind, RegOp::DeleteValue);
    EXPECT_EQ(ops[7].value.name, "Gone");
    EXPECT_EQ(ops[8].kind, RegOp::DeleteValue);
    EXPECT_EQ(ops[8].value.name, "");
    EXPECT_EQ(ops[9].kind, RegOp::DeleteKey);
    EXPECT_EQ(ops[9].key.root, HKEY_CURRENT_USER);
    EXPECT_EQ(ops[9].line, 15);
}

TEST(RegFileRead, BadLinesAreReportedWithFileAndLine)
{
    struct Case {
        std::string body; // after the header line
        int line;
        const char* says;
    };
    const Case cases[] = {
        {"[HKLM\\A]\n\"N\"=dword:123456789\n", 3, "bad dword"},
        {"[HKLM\\A]\n\"N\"=dword:xyz\n", 3, "bad dword"},
        {"[HKLM\\A]\n\"N\"=hex:01,zz\n", 3, "bad hex byte"},
        {"[HKLM\\A]\n\"N\"=hex:01,,02\n", 3, "bad hex byte"},
        {"[HKLM\\A]\n\"N\"=hex:123\n", 3, "bad hex byte"},
        {"[HKLM\\A]\n\"N\"=hex(q):01\n", 3, "bad value type"},
        {"[HKLM\\A]\n\"N\"=qword:01\n", 3, "unknown value type"},
        {"[HKLM\\A]\n\"N\"=\"open\n", 3, "missing closing quote"},
        {"[HKLM\\A]\n\"N\"=\"a\"b\n", 3, "after the closing quote"},
        {"[HKLM\\A]\n\"N\"=\"C:\\dir\"\n", 3, "backslash"},
        {"[HKLM\\A]\n\"N\" \"x\"\n", 3, "expected ="},
        {"[HKLM\\A]\n\"N\"=hex:01,\\\n", 3, "continued hex value"},
        {"[HKLM\\A]\n\"N\"=hex:01,\\", 3, "continued hex value"},
        {"\n\n[HKEY_NOWHERE\\A]\n", 4, "invalid key name"},
        {"[HKLM\\A\n", 2, "must end with ]"},
        {"[-HKLM]\n", 2, "root key cannot be deleted"},
        {"\"N\"=\"x\"\n", 2, "must follow a [KEY]"},
        {"[-HKLM\\A]\n\"N\"=\"x\"\n", 3, "cannot follow a [-KEY]"},
        {"[HKLM\\A]\nN=1\n", 3, "expected a [KEY] line"},
    };
    for (const Case& c : cases) {
        try {
            parseRegFile("REGEDIT4\r\n" + c.body, "stats.reg");
            ADD_FAILURE() << "accepted: " << c.body;
        } catch (const ParseError& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind("stats.reg:" + std::to_string(c.line) + ": ", 0), 0u) << what;
            EXPECT_NE(what.find(c.says), std::string::npos) << what;
        }
    }
    EXPECT_THROW(parseRegFile("", "f"), ParseError);
    EXPECT_THROW(parseRegFile("[HKLM\\A]\r\n", "f"), ParseError);
    EXPECT_THROW(parseRegFile("\xff\xfeR\0E\0", "f"), ParseError);
}

TEST(RegFileRoundTrip, ATreeComesBackByteForByte)
{
    kivo::test::TempRegistry store;
    const KeyPath top = key("HKEY_CURRENT_USER\\Software\\Kivo");
    setValue(top, {"", REG_SZ, std::string("default\0", 8)});
    setValue(top, {"Quote\"and\\slash", REG_SZ, std::string("\"x\\\"\0", 5)});
    setValue(top, {"Tune", REG_SZ, std::string(1, '\0')});
    setValue(top, {"Raw", REG_SZ, "no terminator"});
    setValue(top, {"Lines", REG_SZ, std::string("a\r\nb\0", 5)});
    setValue(top, {"Accesses", REG_DWORD, std::string("\x2a\0\0\x80", 4)});
    setValue(top, {"Empty", REG_BINARY, ""});
    setValue(key("HKCU\\Software\\Kivo\\Entries\\Home"), {"Variant", REG_BINARY, bytes(16)});
    setValue(key("HKCU\\Software\\Kivo\\Entries\\Home"), {"Long", REG_BINARY, bytes(300)});
    setValue(key("HKCU\\Software\\Kivo\\Entries\\Work"), {"Odd", 0x4242, "xy"});
    Key::create(key("HKCU\\Software\\Kivo\\Entries\\Empty\\Deeper"));

    const std::string before = snapshot(top);
    const std::string text = exportRegFile(top);
    EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Kivo]\r\n", 0), 0u);
    for (const std::string& line : physicalLines(text))
        EXPECT_LE(line.size(), 80u) << line;

    deleteTree(top);
    EXPECT_THROW(Key::open(top), CallError);
    applyRegOps(parseRegFile(text, "out.reg"));
    EXPECT_EQ(snapshot(top), before);
    EXPECT_EQ(exportRegFile(top), text);
}

TEST(RegFileApply, DeletionsRemoveTreesAndValuesAndMissingOnesAreFine)
{
    kivo::test::TempRegistry store;
    setValue(key("HKLM\\Software\\Kivo\\A\\B\\C"), {"X", REG_DWORD, "1234"});
    setValue(key("HKLM\\Software\\Kivo"), {"Keep", REG_DWORD, "1234"});
    setValue(key("HKLM\\Software\\Kivo"), {"Drop", REG_DWORD, "1234"});
    applyRegOps(parseRegFile("REGEDIT4\r\n"
                             "[-HKEY_LOCAL_MACHINE\\Software\\Kivo\\A]\r\n"
                             "[-HKEY_LOCAL_MACHINE\\Software\\Kivo\\NotThere]\r\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Kivo]\r\n"
                             "\"drop\"=-\r\n"
                             "\"NeverWas\"=-\r\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Missing]\r\n"
                             "\"x\"=-\r\n",
                             "d.reg"));
    Key k = Key::open(key("HKLM\\Software\\Kivo"));
    EXPECT_TRUE(subkeyNames(k.handle()).empty());
    ASSERT_EQ(values(k.handle()).size(), 1u);
    EXPECT_EQ(values(k.handle())[0].name, "Keep");
    // A key line alone creates its key, as regedit does.
    EXPECT_NO_THROW(Key::open(key("HKLM\\Software\\Missing")));
}
