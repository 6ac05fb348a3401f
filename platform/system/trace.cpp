// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/system/trace.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <fcntl.h>
#include <unistd.h>

namespace kivo::trace {
namespace {

struct Sink {
    std::mutex lock;
    bool loaded = false;
    int fd = -1;  // -1: off
    bool ownFd = false;
};

Sink& sink()
{
    static Sink s;
    return s;
}

void load(Sink& s)
{
    if (s.loaded)
        return;
    s.loaded = true;
    const char* v = std::getenv("KIVO95_TRACE");
    if (!v || !*v || std::string_view(v) == "0")
        return;
    if (std::string_view(v) == "1") {
        s.fd = STDERR_FILENO;
        return;
    }
    int fd = ::open(v, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
        s.fd = fd;
        s.ownFd = true;
    } else {
        std::fprintf(stderr, "kivo95: cannot open trace file %s\n", v);
    }
}

}  // namespace

bool enabled()
{
    Sink& s = sink();
    std::lock_guard g(s.lock);
    load(s);
    return s.fd >= 0;
}

void line(std::string_view text)
{
    Sink& s = sink();
    std::lock_guard g(s.lock);
    load(s);
    if (s.fd < 0)
        return;
    std::string l(text);
    l.push_back('\n');
    const char* p = l.data();
    size_t left = l.size();
    while (left > 0) {
        ssize_t n = ::write(s.fd, p, left);
        if (n <= 0)
            break;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

namespace
{

// Length of the well-formed UTF-8 sequence at the start of t, 0 if none.
std::size_t utf8Length(std::string_view t)
{
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(t[i]); };
    const unsigned char c = b(0);
    std::size_t n = 0;
    char32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (t.size() < n)
        return 0;
    for (std::size_t i = 1; i < n; ++i) {
        if ((b(i) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i) & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond Unicode are no UTF-8.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

void escapeInto(std::string& out, std::string_view text, bool quoted)
{
    char buf[8];
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t n = utf8Length(text.substr(i));
            if (n == 0) {
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                out += buf;
                ++i;
            } else if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
                // U+0080 to U+009F: the C1 controls (CSI among them).
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(text[i + 1]));
                out += buf;
                i += n;
            } else {
                out.append(text.substr(i, n));
                i += n;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += quoted ? "\\\"" : "\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7f) {
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                out += buf;
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
        ++i;
    }
}

} // namespace

std::string escape(std::string_view text)
{
    std::string out;
    escapeInto(out, text, false);
    return out;
}

std::string quote(std::string_view text)
{
    std::string out = "\"";
    escapeInto(out, text, true);
    out += '"';
    return out;
}

std::string quote(const char* text)
{
    return text ? quote(std::string_view(text)) : std::string("NULL");
}

void reset()
{
    Sink& s = sink();
    std::lock_guard g(s.lock);
    if (s.ownFd)
        ::close(s.fd);
    s.fd = -1;
    s.ownFd = false;
    s.loaded = false;
}

}  // namespace kivo::trace
