// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// kivo-pppd-guard WIZARD_PID PROGRAM [ARG...]
//
// Runs PROGRAM (pppd) for the wizard's pppd backend and makes sure that
// neither it nor its connect script outlives the wizard, however the wizard
// ends.
//
// The kernel can send a process a signal when its parent dies
// (PR_SET_PDEATHSIG), but Debian's pppd is setuid root, and exec of a setuid
// program clears that request; nor may a user's process ask for it on the
// pppd's behalf. So this small process of the user's own stands between the
// wizard and pppd: it asks for SIGTERM when the wizard dies and runs pppd as
// its child, both in the process group that the backend gave the guard.
// When the wizard hangs up it signals that whole group; when the wizard
// dies, the guard does the same. pppd's connect script (sh, chat) is in the
// group too, so it cannot be left behind holding the modem's line.
//
// On SIGTERM, SIGINT or SIGHUP (or the wizard's death) the group gets
// SIGTERM, and SIGKILL if anything of it is still there after a grace
// period. When PROGRAM ends, what is left of the group gets SIGTERM and the
// guard ends the way PROGRAM ended: with its exit code, or by its signal.
// Exit code 127: PROGRAM could not be run (the reason on standard error).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <initializer_list>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// pppd may take a few seconds to end a link properly (LCP terminate); the
// line must not stay up much longer than that once the wizard is gone.
constexpr unsigned kGraceSeconds = 3;
constexpr int kCannotRun = 127;

// Signals the guard's group when it leads one of its own, else pppd alone:
// a guard started by hand inside a shell's group must not signal the shell.
void signalDial(pid_t child, int sig)
{
    if (getpgrp() == getpid())
        kill(-getpid(), sig);
    else
        kill(child, sig);
}

// SIGKILL for every other process of the guard's group (pppd and its
// connect script), so that the guard itself lives on to reap pppd.
void killTheRest(pid_t child)
{
    kill(child, SIGKILL);
    if (getpgrp() != getpid())
        return;
    DIR* proc = opendir("/proc");
    if (!proc)
        return;
    while (const dirent* e = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (*end || pid <= 1 || pid == getpid())
            continue;
        if (getpgid(static_cast<pid_t>(pid)) == getpid())
            kill(static_cast<pid_t>(pid), SIGKILL);
    }
    closedir(proc);
}

// Ends the guard the way its child ended.
int endLike(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        std::signal(sig, SIG_DFL);
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, sig);
        sigprocmask(SIG_UNBLOCK, &one, nullptr);
        raise(sig);
        return 128 + sig;
    }
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    char* end = nullptr;
    const long wizard = argc >= 3 ? std::strtol(argv[1], &end, 10) : 0;
    if (argc < 3 || !end || *end || wizard <= 1) {
        std::fprintf(stderr, "usage: kivo-pppd-guard WIZARD_PID PROGRAM [ARG...]\n");
        return 2;
    }

    // The backend starts the guard in a group of its own; a guard started
    // otherwise makes one (it fails harmlessly for a session leader).
    setpgid(0, 0);

    sigset_t watched, previous;
    sigemptyset(&watched);
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGCHLD, SIGALRM})
        sigaddset(&watched, sig);
    sigprocmask(SIG_BLOCK, &watched, &previous);

    prctl(PR_SET_PDEATHSIG, SIGTERM);
    // The wizard may have gone before the request was made.
    bool ending = getppid() != static_cast<pid_t>(wizard);

    const pid_t child = fork();
    if (child < 0) {
        std::fprintf(stderr, "kivo-pppd-guard: cannot start %s: %s\n", argv[2], std::strerror(errno));
        return kCannotRun;
    }
    if (child == 0) {
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        execv(argv[2], argv + 2);
        std::fprintf(stderr, "kivo-pppd-guard: cannot run %s: %s\n", argv[2], std::strerror(errno));
        _exit(kCannotRun);
    }

    if (ending) {
        signalDial(child, SIGTERM);
        alarm(kGraceSeconds);
    }
    for (;;) {
        const int sig = sigwaitinfo(&watched, nullptr);
        if (sig < 0)
            continue; // EINTR: a signal outside the set (SIGSTOP/SIGCONT)
        if (sig == SIGCHLD) {
            int status = 0;
            if (waitpid(child, &status, WNOHANG) != child)
                continue;
            // A connect script whose pppd was killed would stay on the line.
            signalDial(child, SIGTERM);
            return endLike(status);
        }
        if (sig == SIGALRM) {
            killTheRest(child);
            continue;
        }
        if (!ending) {
            ending = true;
            signalDial(child, SIGTERM);
            alarm(kGraceSeconds);
        }
    }
}
