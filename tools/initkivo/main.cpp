// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// initkivo: the installer the wizard starts when its installation file is
// missing. Writes "kivoinfo.pdt" in the current directory; its first line is
// the caption of the dial-up layer's post-dial window.
#include "platform/desktop/dialup_caption.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace
{

constexpr char kFileName[] = "kivoinfo.pdt";

int fail(const char* what, int err)
{
    std::fprintf(stderr, "initkivo: cannot %s %s: %s\n", what, kFileName, std::strerror(err));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1) {
        std::fprintf(stderr, "usage: initkivo\n"
                             "Writes the installation file kivoinfo.pdt into the current directory.\n");
        return 2;
    }
    const std::string text = std::string(kivo::dialup::kPostDialCaption) + "\n";
    const int fd = ::open(kFileName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail("create", errno);
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            ::close(fd);
            return fail("write", err);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 && errno != EINVAL) {
        const int err = errno;
        ::close(fd);
        return fail("write", err);
    }
    if (::close(fd) != 0)
        return fail("write", errno);
    return 0;
}
