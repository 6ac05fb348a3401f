// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Reading .reg files: bounded input, encodings, and the line rules of
// Windows' regedit (see regfile.h).
#include "tools/kivo-reg/regfile.h"

#include "tools/kivo-reg/messages.h"
#include "tools/kivo-reg/utf16.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kivo::reg
{

namespace
{

constexpr std::string_view kRegedit4 = "REGEDIT4";
constexpr std::string_view kRegedit5 = "Windows Registry Editor Version 5.00";

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimLeft(std::string_view s)
{
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    return s;
}

int hexDigit(char c)
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
std::optional<DWORD> hexNumber(std::string_view s)
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

bool sameAscii(std::string_view a, std::string_view b)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::string notRegFile(const std::string& fileName)
{
    return message(KivoReg::tr("%1:1: not a .reg file: the first line must be REGEDIT4 or "
                               "\"Windows Registry Editor Version 5.00\""),
                   {fileName});
}

// ---- reading -------------------------------------------------------------

class Parser
{
  public:
    Parser(const RegText& t, const std::string& fileName, const std::function<void(const RegOp&)>& each)
        : m_text(std::string_view(t.text).substr(t.start)), m_bad(t.badLines), m_file(fileName), m_each(each)
    {
    }

    void run()
    {
        std::string_view line;
        if (!nextLine(line))
            fail(1, KivoReg::tr("the file is empty; a .reg file starts with the line REGEDIT4"));
        header(line);
        while (nextLine(line)) {
            const std::string_view s = trimLeft(line);
            // Windows passes over every other line; ';' and '#' start comments.
            if (s.empty() || s.front() == ';' || s.front() == '#')
                continue;
            checkText(m_line);
            if (s.front() == '[')
                keyLine(s);
            else if (s.front() == '"' || s.front() == '@')
                valueLine(s);
            else if (s.find('\0') != std::string_view::npos)
                fail(m_line, KivoReg::tr("the line holds a NUL byte"));
            else
                fail(m_line, KivoReg::tr("expected a [KEY] line, a \"Name\"=value line or a ; comment "
                                         "(Windows would skip this line)"));
        }
    }

  private:
    [[noreturn]] void fail(std::size_t line, const QString& what,
                           std::initializer_list<std::string_view> args = {})
    {
        throw ParseError(m_file + ":" + std::to_string(line) + ": " + message(what, args));
    }

    // The next physical line (CRLF, LF or CR ends it), false at the end.
    bool nextLine(std::string_view& line)
    {
        if (m_pos >= m_text.size())
            return false;
        std::size_t end = m_text.find_first_of("\r\n", m_pos);
        if (end == std::string_view::npos)
            end = m_text.size();
        line = m_text.substr(m_pos, end - m_pos);
        m_pos = end;
        if (m_pos < m_text.size())
            m_pos += m_text.compare(m_pos, 2, "\r\n") == 0 ? 2 : 1;
        ++m_line;
        return true;
    }

    // A line of a UTF-16 file that could not become UTF-8 holds no value.
    void checkText(std::size_t line)
    {
        while (m_nextBad < m_bad.size() && m_bad[m_nextBad] < line)
            ++m_nextBad;
        if (m_nextBad < m_bad.size() && m_bad[m_nextBad] == line)
            fail(line, KivoReg::tr("the line holds UTF-16 that is not text (half of a surrogate pair)"));
    }

    void header(std::string_view line)
    {
        // Windows takes spaces before the header, nothing after it.
        const std::string_view h = trimLeft(line);
        if (h == kRegedit4)
            return;
        if (h == kRegedit5) {
            m_version5 = true;
            return;
        }
        if (h == "REGEDIT")
            fail(1, KivoReg::tr("this is a Windows 3.1 registration file (header REGEDIT); only REGEDIT4 and "
                                "version 5.00 files can be imported"));
        if (h.substr(0, 7) == "REGEDIT" || h.substr(0, kRegedit5.size()) == kRegedit5)
            fail(1,
                 KivoReg::tr("the first line must be exactly REGEDIT4 or \"Windows Registry Editor Version "
                             "5.00\": Windows imports nothing from a file whose header line has more"));
        throw ParseError(notRegFile(m_file));
    }

    // The name between '[' and the last ']'; Windows ignores what follows.
    void keyLine(std::string_view s)
    {
        const std::size_t close = s.rfind(']');
        if (close == std::string_view::npos)
            fail(m_line, KivoReg::tr("a key line must end with ]"));
        std::string_view name = s.substr(1, close - 1);
        if (name.find('\0') != std::string_view::npos)
            fail(m_line, KivoReg::tr("the key name holds a NUL byte"));
        const bool remove = !name.empty() && name.front() == '-';
        if (remove)
            name.remove_prefix(1);
        RegOp op;
        op.kind = remove ? RegOp::DeleteKey : RegOp::CreateKey;
        op.key = keyName(name);
        op.line = static_cast<int>(m_line);
        if (remove && op.key.sub.empty())
            fail(m_line, KivoReg::tr("a root key cannot be deleted"));
        m_key = op.key;
        m_haveKey = true;
        m_inDeletedKey = remove;
        if (m_each)
            m_each(op);
    }

    KeyPath keyName(std::string_view name)
    {
        const std::size_t sep = name.find('\\');
        const std::string_view root = name.substr(0, sep);
        const auto key = parseKeyPath(root);
        if (!key)
            fail(m_line,
                 KivoReg::tr("invalid key name \"%1\": it must start with a root such as HKEY_LOCAL_MACHINE"),
                 {name});
        if (!sameAscii(root, rootName(key->root)))
            fail(m_line,
                 KivoReg::tr("write the root %1 in full, as %2: Windows does not read short root names in a "
                             ".reg file"),
                 {root, rootName(key->root)});
        if (name.find("\\\\") != std::string_view::npos)
            fail(m_line, KivoReg::tr("the key name \"%1\" has an empty part (a doubled backslash)"), {name});
        std::string_view sub = sep == std::string_view::npos ? std::string_view() : name.substr(sep + 1);
        if (!sub.empty() && sub.back() == '\\')
            sub.remove_suffix(1); // one trailing separator names the same key
        return KeyPath{key->root, std::string(sub)};
    }

    // The quoted text starting at s[i] (a quote); leaves i after the closing
    // quote. Escapes: \\ \" and, as regedit reads them, \n and \r.
    std::string quotedText(std::string_view s, std::size_t& i)
    {
        std::string out;
        for (++i; i < s.size(); ++i) {
            const char c = s[i];
            if (c == '"') {
                ++i;
                return out;
            }
            if (c == '\0')
                fail(m_line, KivoReg::tr("a NUL byte inside quotes"));
            if (c == '\\') {
                if (++i == s.size())
                    fail(m_line,
                         KivoReg::tr("missing closing quote: a quoted text cannot go on to the next line"));
                switch (s[i]) {
                case '\\':
                case '"':
                    out.push_back(s[i]);
                    break;
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                default:
                    fail(m_line,
                         KivoReg::tr(
                             "unknown escape \\%1 in quotes: write \\\\ for a backslash, \\\" for a quote"),
                         {s.substr(i, 1)});
                }
                continue;
            }
            out.push_back(c);
        }
        fail(m_line, KivoReg::tr("missing closing quote"));
    }

    // After a value, spaces and a ';' comment may follow.
    void endOfValue(std::string_view rest)
    {
        rest = trimLeft(rest);
        if (!rest.empty() && rest.front() != ';')
            fail(m_line, KivoReg::tr("unexpected text after the value; only a ; comment may follow it"));
    }

    void valueLine(std::string_view s)
    {
        const std::size_t no = m_line;
        if (!m_haveKey)
            fail(no, KivoReg::tr("a value line must follow a [KEY] line"));
        if (m_inDeletedKey)
            fail(no, KivoReg::tr("a value line cannot follow a [-KEY] line"));
        RegOp op;
        op.key = m_key;
        op.line = static_cast<int>(no);
        std::size_t i = 1;
        if (s.front() == '"') {
            i = 0;
            op.value.name = quotedText(s, i);
        }
        while (i < s.size() && isSpace(s[i]))
            ++i;
        if (i == s.size() || s[i] != '=')
            fail(no, KivoReg::tr("expected = after the value name"));
        std::string_view d = trimLeft(s.substr(i + 1));

        op.kind = RegOp::SetValue;
        if (!d.empty() && d.front() == '-') {
            op.kind = RegOp::DeleteValue;
            endOfValue(d.substr(1));
        } else if (!d.empty() && d.front() == '"') {
            std::size_t j = 0;
            op.value.type = REG_SZ;
            op.value.data = quotedText(d, j);
            op.value.data.push_back('\0');
            endOfValue(d.substr(j));
        } else if (d.substr(0, 6) == "dword:") {
            op.value.type = REG_DWORD;
            op.value.data = dword(d.substr(6));
        } else if (d.substr(0, 3) == "hex") {
            hexValue(d.substr(3), op.value);
        } else {
            fail(no, KivoReg::tr("unknown value type: expected \"text\", dword:, hex:, hex(N): or -"));
        }
        if (m_each)
            m_each(op);
    }

    // Spaces, 1 to 8 hex digits, spaces and a comment.
    std::string dword(std::string_view s)
    {
        s = trimLeft(s);
        std::size_t n = 0;
        while (n < s.size() && hexDigit(s[n]) >= 0)
            ++n;
        const std::string_view rest = trimLeft(s.substr(n));
        if (n == 0 || n > 8 || (!rest.empty() && rest.front() != ';'))
            fail(m_line, KivoReg::tr("bad dword \"%1\": write 1 to 8 hex digits, as dword:0000000a"), {s});
        const DWORD v = *hexNumber(s.substr(0, n));
        std::string out(4, '\0');
        for (int b = 0; b < 4; ++b)
            out[b] = static_cast<char>((v >> (8 * b)) & 0xff);
        return out;
    }

    // hex:, hex(N): and the bytes, on as many lines as the backslashes say.
    void hexValue(std::string_view s, Value& value)
    {
        const std::size_t first = m_line;
        value.type = REG_BINARY;
        if (!s.empty() && s.front() == '(') {
            const std::size_t close = s.find(')');
            const auto type =
                close == std::string_view::npos ? std::nullopt : hexNumber(s.substr(1, close - 1));
            if (!type)
                fail(first, KivoReg::tr("bad value type in hex(...): write a hex number, as hex(2):"));
            value.type = *type;
            s.remove_prefix(close + 1);
        }
        if (s.empty() || s.front() != ':')
            fail(first, KivoReg::tr("expected : after hex"));
        bool more = hexList(s.substr(1), value.data);
        while (more) {
            std::string_view next;
            // Windows passes over blank lines and ';' comments inside a value.
            do {
                if (!nextLine(next))
                    fail(first,
                         KivoReg::tr("the value goes on past the end of the file: the file is cut off"));
                next = trimLeft(next);
            } while (next.empty() || next.front() == ';');
            checkText(m_line);
            if (hexDigit(next.front()) < 0) {
                if (next.front() == ',')
                    fail(m_line, KivoReg::tr("a continued line of hex data cannot start with a comma"));
                if (next.front() == '\\')
                    fail(m_line, KivoReg::tr("a line holding only \\ cannot continue hex data"));
                fail(m_line, KivoReg::tr("expected the rest of the hex data begun on line %1"),
                     {std::to_string(first)});
            }
            more = hexList(next, value.data);
        }
        if (m_version5 && isTextType(value.type)) {
            const std::string type = std::to_string(value.type);
            if (value.data.size() % 2)
                fail(first,
                     KivoReg::tr("hex(%1) data of a version 5 file is UTF-16 text, but it has an odd "
                                 "number of bytes"),
                     {type});
            std::string text;
            if (!utf16ToUtf8(value.data, text))
                fail(first,
                     KivoReg::tr("hex(%1) data of a version 5 file is UTF-16 text, but it holds half of "
                                 "a surrogate pair"),
                     {type});
            value.data = std::move(text);
        }
    }

    // Comma-separated bytes of one line; true when a backslash continues them.
    bool hexList(std::string_view s, std::string& out)
    {
        std::size_t i = 0;
        for (;;) {
            while (i < s.size() && isSpace(s[i]))
                ++i;
            if (i == s.size() || s[i] == ';')
                return false;
            if (s[i] == '\\') {
                const std::string_view rest = trimLeft(s.substr(i + 1));
                if (!rest.empty() && rest.front() != ';')
                    fail(m_line,
                         KivoReg::tr("only a ; comment may follow the backslash that continues a value"));
                return true;
            }
            std::size_t n = 0;
            int v = 0;
            while (i + n < s.size() && n < 3 && hexDigit(s[i + n]) >= 0)
                v = v * 16 + hexDigit(s[i + n++]);
            if (n == 0 || n > 2)
                badByte(s.substr(i));
            out.push_back(static_cast<char>(v));
            i += n;
            if (i < s.size() && s[i] == ',') {
                ++i;
                continue;
            }
            while (i < s.size() && isSpace(s[i]))
                ++i;
            if (i == s.size() || s[i] == ';')
                return false;
            if (s[i] == '\\')
                fail(m_line, KivoReg::tr("the backslash that continues hex data must follow a comma; a byte "
                                         "cannot be split across lines"));
            badByte(s.substr(i));
        }
    }

    [[noreturn]] void badByte(std::string_view from)
    {
        const std::string_view item = from.substr(0, std::min(from.find(','), from.size()));
        fail(m_line, KivoReg::tr("bad hex byte \"%1\": write bytes as two hex digits separated by commas"),
             {item});
    }

    std::string_view m_text;
    const std::vector<std::size_t>& m_bad;
    const std::string& m_file;
    const std::function<void(const RegOp&)>& m_each;
    std::size_t m_pos = 0;
    std::size_t m_line = 0;
    std::size_t m_nextBad = 0;
    bool m_version5 = false;
    KeyPath m_key;
    bool m_haveKey = false;
    bool m_inDeletedKey = false;
};

// Whether the first bytes of a stream can begin a .reg file at all.
bool startsLikeRegFile(std::string head)
{
    if (head.size() % 2)
        head.pop_back();
    try {
        const RegText t = decodeRegFile(std::move(head), std::string());
        const std::string_view s = trimLeft(std::string_view(t.text).substr(t.start));
        return s.substr(0, 7) == "REGEDIT" || s.substr(0, 23) == "Windows Registry Editor";
    } catch (const ParseError&) {
        return true; // the whole file's reading says what is wrong
    }
}

class Fd
{
  public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

  private:
    int m_fd;
};

} // namespace

std::string readRegFile(const std::string& fileName)
{
    auto cannotRead = [&fileName](int error) {
        return ParseError(message(KivoReg::tr("Cannot read %1: %2"), {fileName, std::strerror(error)}));
    };
    const Fd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        throw cannotRead(errno);
    const std::string tooLarge = message(KivoReg::tr("%1 is larger than %2 MiB, more than kivo-reg reads"),
                                         {fileName, std::to_string(kMaxRegFileSize >> 20)});
    struct stat st {
    };
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)) {
        if (static_cast<std::uint64_t>(st.st_size) > kMaxRegFileSize)
            throw ParseError(tooLarge);
    }
    std::string data;
    constexpr std::size_t kChunk = 64 * 1024;
    constexpr std::size_t kHead = 4096; // enough to tell a header from anything else
    if (S_ISREG(st.st_mode))
        data.reserve(static_cast<std::size_t>(st.st_size) + kChunk);
    bool headChecked = false;
    for (;;) {
        const std::size_t old = data.size();
        data.resize(old + kChunk);
        const ssize_t n = ::read(fd.get(), data.data() + old, kChunk);
        if (n < 0 && errno == EINTR) {
            data.resize(old);
            continue;
        }
        if (n < 0) {
            const int error = errno;
            throw cannotRead(error);
        }
        data.resize(old + static_cast<std::size_t>(n));
        if (n == 0)
            return data;
        if (data.size() > kMaxRegFileSize)
            throw ParseError(tooLarge);
        if (!headChecked && data.size() >= kHead) {
            headChecked = true;
            if (!startsLikeRegFile(data.substr(0, kHead)))
                throw ParseError(notRegFile(fileName));
        }
    }
}

RegText decodeRegFile(std::string bytes, const std::string& fileName)
{
    RegText out;
    auto byte = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && byte(0) == 0xfe && byte(1) == 0xff)
        throw ParseError(message(KivoReg::tr("%1:1: UTF-16 big-endian files cannot be read; save the file as "
                                             "Unicode (UTF-16LE) or UTF-8"),
                                 {fileName}));
    const bool bom = bytes.size() >= 2 && byte(0) == 0xff && byte(1) == 0xfe;
    // Without a mark, a header in UTF-16LE starts with a letter and a zero byte.
    if (!bom && !(bytes.size() >= 2 && byte(0) != 0 && byte(1) == 0)) {
        if (bytes.compare(0, 3, "\xef\xbb\xbf") == 0)
            out.start = 3;
        out.text = std::move(bytes);
        return out;
    }
    std::string_view units(bytes);
    if (bom)
        units.remove_prefix(2);
    if (units.size() % 2)
        throw ParseError(message(
            KivoReg::tr("%1: the file ends inside a UTF-16 character (an odd number of bytes)"), {fileName}));
    out.text.reserve(units.size() / 2);
    // Line by line, so that a unit that is not text is known by its line.
    std::size_t line = 1;
    std::size_t begin = 0;
    auto unit = [&units](std::size_t k) {
        return static_cast<unsigned char>(units[k]) | static_cast<unsigned char>(units[k + 1]) << 8;
    };
    for (std::size_t k = 0; k <= units.size(); k += 2) {
        const int u = k < units.size() ? unit(k) : -1;
        if (u != '\r' && u != '\n' && u != -1)
            continue;
        if (!utf16ToUtf8(units.substr(begin, k - begin), out.text))
            out.badLines.push_back(line);
        if (u == -1)
            break;
        out.text.push_back(static_cast<char>(u));
        if (u == '\r' && k + 2 < units.size() && unit(k + 2) == '\n') {
            out.text.push_back('\n');
            k += 2;
        }
        ++line;
        begin = k + 2;
    }
    return out;
}

void parseRegText(const RegText& text, const std::string& fileName,
                  const std::function<void(const RegOp&)>& each)
{
    Parser(text, fileName, each).run();
}

std::vector<RegOp> parseRegFile(std::string_view bytes, const std::string& fileName)
{
    std::vector<RegOp> ops;
    parseRegText(decodeRegFile(std::string(bytes), fileName), fileName,
                 [&ops](const RegOp& op) { ops.push_back(op); });
    return ops;
}

} // namespace kivo::reg
