#include "tools/kivo-reg/regfile.h"

#include <cstdio>

namespace kivo::reg
{

namespace
{

constexpr std::string_view kRegedit4 = "REGEDIT4";
constexpr std::string_view kRegedit5 = "Windows Registry Editor Version 5.00";
// regedit keeps hex lines within 80 columns, the continuation backslash included.
constexpr std::size_t kLineWidth = 80;

// ---- writing -------------------------------------------------------------

std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// A REG_SZ regedit can write as "text": one NUL at the end and nowhere else,
// and no line break (a quoted string cannot span lines). Others go as hex(1)
// so that their bytes come back unchanged.
bool writableAsText(const std::string& data)
{
    if (data.empty() || data.back() != '\0')
        return false;
    return data.find_first_of(std::string_view("\0\r\n", 3)) == data.size() - 1;
}

std::string hexBytes(std::string line, const std::string& data)
{
    std::string out;
    char piece[4];
    for (std::size_t i = 0; i < data.size(); ++i) {
        const bool last = i + 1 == data.size();
        std::snprintf(piece, sizeof piece, last ? "%02x" : "%02x,", static_cast<unsigned char>(data[i]));
        // Wrap when this piece and a closing backslash would pass the width.
        if (line.size() + 3 + 1 > kLineWidth && line.size() > 2) {
            out += line + "\\\r\n";
            line = "  ";
        }
        line += piece;
    }
    return out + line;
}

// ---- reading -------------------------------------------------------------

class Parser
{
  public:
    Parser(std::string_view text, const std::string& fileName) : m_file(fileName) { split(text); }

    std::vector<RegOp> run()
    {
        std::size_t i = 0;
        while (i < m_lines.size() && trim(m_lines[i]).empty())
            ++i;
        if (i == m_lines.size())
            fail(1, "empty file; a .reg file starts with the line REGEDIT4");
        const std::string_view header = trim(m_lines[i]);
        if (header != kRegedit4 && header != kRegedit5)
            fail(i + 1,
                 "not a .reg file: the first line must be REGEDIT4 or \"" + std::string(kRegedit5) + "\"");
        for (++i; i < m_lines.size(); ++i) {
            const std::string_view line = trimLeft(m_lines[i]);
            if (trim(line).empty() || line.front() == ';')
                continue;
            if (line.front() == '[')
                keyLine(trim(line), i + 1);
            else if (line.front() == '"' || line.front() == '@')
                i = valueLine(i);
            else
                fail(i + 1, "expected a [KEY] line or a \"Name\"=value line");
        }
        return std::move(m_ops);
    }

  private:
    [[noreturn]] void fail(std::size_t line, const std::string& what) const
    {
        throw ParseError(m_file + ":" + std::to_string(line) + ": " + what);
    }

    void split(std::string_view text)
    {
        if (text.size() >= 2 &&
            ((text[0] == '\xff' && text[1] == '\xfe') || (text[0] == '\xfe' && text[1] == '\xff')))
            fail(1, "UTF-16 files are not supported; save the file as ANSI or UTF-8 text");
        if (text.substr(0, 3) == "\xef\xbb\xbf")
            text.remove_prefix(3);
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos)
                end = text.size();
            std::string_view line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            m_lines.push_back(line);
            start = end + 1;
        }
    }

    static std::string_view trimLeft(std::string_view s)
    {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
            s.remove_prefix(1);
        return s;
    }

    static std::string_view trim(std::string_view s)
    {
        s = trimLeft(s);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
            s.remove_suffix(1);
        return s;
    }

    void keyLine(std::string_view line, std::size_t no)
    {
        if (line.back() != ']')
            fail(no, "a key line must end with ]");
        std::string_view name = line.substr(1, line.size() - 2);
        const bool remove = !name.empty() && name.front() == '-';
        if (remove)
            name.remove_prefix(1);
        auto key = parseKeyPath(name);
        if (!key)
            fail(no, "invalid key name \"" + std::string(name) +
                         "\": it must start with a root such as HKEY_LOCAL_MACHINE");
        if (remove && key->sub.empty())
            fail(no, "a root key cannot be deleted");
        RegOp op;
        op.kind = remove ? RegOp::DeleteKey : RegOp::CreateKey;
        op.key = *key;
        op.line = static_cast<int>(no);
        m_ops.push_back(op);
        m_inDeletedKey = remove;
        m_haveKey = true;
    }

    // Reads a quoted text at the front of s; leaves s after the closing quote.
    std::string quotedText(std::string_view& s, std::size_t no) const
    {
        std::string out;
        for (std::size_t i = 1; i < s.size(); ++i) {
            const char c = s[i];
            if (c == '"') {
                s.remove_prefix(i + 1);
                return out;
            }
            if (c == '\\') {
                if (i + 1 == s.size() || (s[i + 1] != '\\' && s[i + 1] != '"'))
                    fail(no, "a backslash in quotes must be followed by \\ or \"");
                ++i;
            }
            out.push_back(s[i]);
        }
        fail(no, "missing closing quote");
    }

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    // 1 to 8 hex digits, the whole of s.
    std::optional<DWORD> hexNumber(std::string_view s) const
    {
        if (s.empty() || s.size() > 8)
            return std::nullopt;
        DWORD v = 0;
        for (char c : s) {
            const int d = hexDigit(c);
            if (d < 0)
                return std::nullopt;
            v = v * 16 + static_cast<DWORD>(d);
        }
        return v;
    }

    // Comma-separated bytes, the whole of s (continuations already joined).
    std::string hexData(std::string_view s, std::size_t no) const
    {
        std::string out;
        s = trim(s);
        while (!s.empty()) {
            std::size_t comma = s.find(',');
            const std::string_view item = trim(s.substr(0, comma));
            const auto v = hexNumber(item);
            if (!v || item.size() > 2)
                fail(no, "bad hex byte \"" + std::string(item) +
                             "\": write bytes as two hex digits separated by commas");
            out.push_back(static_cast<char>(*v));
            if (comma == std::string_view::npos)
                break;
            s = trim(s.substr(comma + 1)); // a comma may end the list
        }
        return out;
    }

    // Returns the index of the last physical line the value used.
    std::size_t valueLine(std::size_t i)
    {
        const std::size_t no = i + 1;
        if (!m_haveKey)
            fail(no, "a value line must follow a [KEY] line");
        if (m_inDeletedKey)
            fail(no, "a value line cannot follow a [-KEY] line");
        std::string_view s = trim(m_lines[i]);
        RegOp op;
        op.key = m_ops.back().key;
        op.line = static_cast<int>(no);
        if (s.front() == '@')
            s.remove_prefix(1);
        else
            op.value.name = quotedText(s, no);
        s = trimLeft(s);
        if (s.empty() || s.front() != '=')
            fail(no, "expected = after the value name");
        s = trim(s.substr(1));

        if (s == "-") {
            op.kind = RegOp::DeleteValue;
        } else if (!s.empty() && s.front() == '"') {
            op.kind = RegOp::SetValue;
            op.value.type = REG_SZ;
            op.value.data = quotedText(s, no);
            op.value.data.push_back('\0');
            if (!trim(s).empty())
                fail(no, "unexpected text after the closing quote");
        } else if (s.substr(0, 6) == "dword:") {
            const auto v = hexNumber(s.substr(6));
            if (!v)
                fail(no, "bad dword \"" + std::string(s.substr(6)) +
                             "\": write 1 to 8 hex digits, as dword:0000000a");
            op.kind = RegOp::SetValue;
            op.value.type = REG_DWORD;
            for (int b = 0; b < 4; ++b)
                op.value.data.push_back(static_cast<char>((*v >> (8 * b)) & 0xff));
        } else if (s.substr(0, 3) == "hex") {
            op.kind = RegOp::SetValue;
            op.value.type = REG_BINARY;
            s.remove_prefix(3);
            if (!s.empty() && s.front() == '(') {
                const std::size_t close = s.find(')');
                const auto type =
                    close == std::string_view::npos ? std::nullopt : hexNumber(s.substr(1, close - 1));
                if (!type)
                    fail(no, "bad value type in hex(...): write a hex number, as hex(2):");
                op.value.type = *type;
                s.remove_prefix(close + 1);
            }
            if (s.empty() || s.front() != ':')
                fail(no, "expected : after hex");
            std::string bytes(s.substr(1));
            // A trailing backslash continues the list on the next line.
            while (!bytes.empty() && bytes.back() == '\\') {
                bytes.pop_back();
                // A blank line or the end here means a cut-off file, not a shorter value.
                if (++i == m_lines.size() || trim(m_lines[i]).empty())
                    fail(no, "a continued hex value has no next line");
                bytes += std::string(trim(m_lines[i]));
            }
            op.value.data = hexData(bytes, no);
        } else {
            fail(no, "unknown value type: expected \"text\", dword:, hex:, hex(N): or -");
        }
        m_ops.push_back(std::move(op));
        return i;
    }

    std::string m_file;
    std::vector<std::string_view> m_lines;
    std::vector<RegOp> m_ops;
    bool m_haveKey = false;
    bool m_inDeletedKey = false;
};

void exportKey(const KeyPath& path, HKEY key, std::string& out)
{
    out += "[" + path.fullName() + "]\r\n";
    for (const Value& v : values(key))
        out += formatValue(v) + "\r\n";
    out += "\r\n";
    for (const std::string& name : subkeyNames(key)) {
        const KeyPath child{path.root, path.sub.empty() ? name : path.sub + "\\" + name};
        Key sub = Key::open(child);
        exportKey(child, sub.handle(), out);
    }
}

} // namespace

std::string formatValue(const Value& v)
{
    const std::string name = v.name.empty() ? "@" : quoted(v.name);
    if (v.type == REG_SZ && writableAsText(v.data))
        return name + "=" + quoted(std::string_view(v.data).substr(0, v.data.size() - 1));
    if (v.type == REG_DWORD && v.data.size() == 4) {
        const auto* b = reinterpret_cast<const unsigned char*>(v.data.data());
        char text[16];
        std::snprintf(text, sizeof text, "%08x",
                      unsigned(b[0]) | unsigned(b[1]) << 8 | unsigned(b[2]) << 16 | unsigned(b[3]) << 24);
        return name + "=dword:" + text;
    }
    char kind[24] = "hex:";
    if (v.type != REG_BINARY)
        std::snprintf(kind, sizeof kind, "hex(%x):", static_cast<unsigned>(v.type));
    return hexBytes(name + "=" + kind, v.data);
}

std::vector<RegOp> parseRegFile(std::string_view text, const std::string& fileName)
{
    return Parser(text, fileName).run();
}

void applyRegOps(const std::vector<RegOp>& ops)
{
    for (const RegOp& op : ops) {
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
}

std::string exportRegFile(const KeyPath& path)
{
    Key key = Key::open(path);
    std::string out = std::string(kRegedit4) + "\r\n\r\n";
    exportKey(path, key.handle(), out);
    return out;
}

} // namespace kivo::reg
