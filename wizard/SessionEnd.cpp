// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Signals reach the event loop through a self-pipe: the handler writes the
// signal's number and returns, and a QSocketNotifier on the pipe's other end
// closes the window from the event loop, nested dial queue and modal boxes
// included, as a click on Close would.
//
// Losing the X server gives no such chance: Qt's xcb platform calls exit(1)
// from within the event loop as soon as it sees the connection broken. An
// atexit handler is the one hook left on that path. It runs FormClose (the
// hang-up, no window work, since the display is gone) and ends the program
// with _Exit(0), skipping the teardown of a GUI whose display has vanished.
// Whatever is still ending then (pppd after SIGTERM) is seen to by the pppd
// guard, which ends its dial when the wizard is gone.
#include "wizard/SessionEnd.h"

#include "wizard/Select.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcWizard)

namespace
{

int g_pipe[2] = {-1, -1};
QPointer<TfrmSelect> g_form;
bool g_closing = false;   // a close is under way (GUI thread only)
bool g_closed = false;    // the window has closed: the program is ending
bool g_normalEnd = false; // the event loop returned as it should

extern "C" void onSignal(int sig)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    // A full pipe already holds a request to close.
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

void closeAsCloseDoes(int sig)
{
    if (g_closing || g_closed || !g_form)
        return;
    qCInfo(lcWizard, "%s: closing the wizard", strsignal(sig));
    g_closing = true;
    KivoApplication::guard([] { g_form->btnCloseClick(g_form); });
    // A close that was refused may be asked for again.
    g_closing = false;
}

void onExitFromTheEventLoop()
{
    if (g_normalEnd || g_closed || !g_form || QThread::currentThread() != g_form->thread())
        return;
    qCWarning(lcWizard, "the program is being ended from within its event loop "
                        "(the display connection is lost): hanging up");
    StopDialing = true;
    TCloseAction action = caHide;
    KivoApplication::guard([&] { g_form->FormClose(g_form, action); });
    std::_Exit(0);
}

} // namespace

namespace kivo
{

void CloseWhenSessionEnds(TfrmSelect& form)
{
    g_form = &form;
    QObject::connect(&form, &TfrmSelect::closed, [] { g_closed = true; });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { g_normalEnd = true; });
    std::atexit(onExitFromTheEventLoop);

    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qCWarning(lcWizard, "no pipe for signals (%s): SIGTERM ends the wizard at once",
                  std::strerror(errno));
        return;
    }
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        unsigned char byte = 0;
        int last = 0;
        while (::read(g_pipe[0], &byte, 1) == 1)
            last = byte;
        if (last)
            closeAsCloseDoes(last);
    });
    struct sigaction sa {
    };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
}

} // namespace kivo
