#include "platform/trace.h"

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

std::string quote(std::string_view text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                out += buf;
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
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
