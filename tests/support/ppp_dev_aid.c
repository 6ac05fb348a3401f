/* SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
 * SPDX-License-Identifier: GPL-3.0-or-later
 *
 * A test aid, never part of the program. Preloaded into Debian's pppd
 * (LD_PRELOAD=libkivo_ppp_aid.so), it opens /dev/null wherever pppd opens the
 * kernel's PPP device /dev/ppp. On a kernel without PPP support pppd then
 * passes its start-up check, opens the modem's line and runs its connect
 * script (chat) for real; once chat has its CONNECT, pppd fails for real
 * where it needs the kernel: it cannot put the line into the PPP line
 * discipline ("Couldn't set tty to PPP discipline").
 *
 * Nothing else is changed. The loader honours LD_PRELOAD for the setuid pppd
 * only when root runs it, so the tests that use this aid run as root.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <sys/types.h>

static const char* redirect(const char* path)
{
    return path && strcmp(path, "/dev/ppp") == 0 ? "/dev/null" : path;
}

static int needsMode(int flags)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}

typedef int (*OpenFn)(const char*, int, ...);
typedef int (*OpenAtFn)(int, const char*, int, ...);

static void* next(const char* name)
{
    return dlsym(RTLD_NEXT, name);
}

#define KIVO_OPEN(name)                                                                  \
    int name(const char* path, int flags, ...)                                           \
    {                                                                                    \
        static OpenFn real;                                                              \
        mode_t mode = 0;                                                                 \
        if (!real)                                                                       \
            real = (OpenFn)next(#name);                                                  \
        if (needsMode(flags)) {                                                          \
            va_list ap;                                                                  \
            va_start(ap, flags);                                                         \
            mode = va_arg(ap, mode_t);                                                   \
            va_end(ap);                                                                  \
        }                                                                                \
        return real(redirect(path), flags, mode);                                        \
    }

#define KIVO_OPENAT(name)                                                                \
    int name(int dir, const char* path, int flags, ...)                                  \
    {                                                                                    \
        static OpenAtFn real;                                                            \
        mode_t mode = 0;                                                                 \
        if (!real)                                                                       \
            real = (OpenAtFn)next(#name);                                                \
        if (needsMode(flags)) {                                                          \
            va_list ap;                                                                  \
            va_start(ap, flags);                                                         \
            mode = va_arg(ap, mode_t);                                                   \
            va_end(ap);                                                                  \
        }                                                                                \
        return real(dir, redirect(path), flags, mode);                                   \
    }

KIVO_OPEN(open)
KIVO_OPEN(open64)
KIVO_OPENAT(openat)
KIVO_OPENAT(openat64)

/* The fortified entry points (_FORTIFY_SOURCE) take no mode. */
int __open_2(const char* path, int flags)
{
    static int (*real)(const char*, int);
    if (!real)
        real = (int (*)(const char*, int))next("__open_2");
    return real(redirect(path), flags);
}

int __open64_2(const char* path, int flags)
{
    static int (*real)(const char*, int);
    if (!real)
        real = (int (*)(const char*, int))next("__open64_2");
    return real(redirect(path), flags);
}
