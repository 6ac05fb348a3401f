// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Counts a process's fsync and fdatasync calls for the benchmarks, loaded
// with LD_PRELOAD. The count is read in-process through kivo_fsync_count();
// when KIVO_FSYNC_COUNT_FILE names a file, the process appends its count to
// it when it exits, for programs the benchmark runs.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace
{

std::atomic<long> g_count{0};

template <typename F> F real(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

struct AtExit {
    ~AtExit()
    {
        const char* file = std::getenv("KIVO_FSYNC_COUNT_FILE");
        if (!file || !*file)
            return;
        const int fd = ::open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return;
        const std::string line = std::to_string(g_count.load()) + "\n";
        (void)!::write(fd, line.data(), line.size());
        ::close(fd);
    }
} g_atExit;

} // namespace

extern "C" {

__attribute__((visibility("default"))) long kivo_fsync_count()
{
    return g_count.load();
}

__attribute__((visibility("default"))) int fsync(int fd)
{
    static const auto next = real<int (*)(int)>("fsync");
    ++g_count;
    return next(fd);
}

__attribute__((visibility("default"))) int fdatasync(int fd)
{
    static const auto next = real<int (*)(int)>("fdatasync");
    ++g_count;
    return next(fd);
}
}
