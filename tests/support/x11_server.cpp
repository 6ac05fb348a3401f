// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "tests/support/x11_server.h"

#include "platform/desktop/desktop.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kivo::test
{
namespace
{

constexpr int kStartTimeoutMs = 20000;

// Starts a program with its output discarded; keepFd stays open in it. The
// child gets SIGTERM when the test process dies, so no server outlives a
// crashed test.
pid_t spawn(const std::vector<std::string>& args, int keepFd = -1)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        if (keepFd >= 0)
            ::fcntl(keepFd, F_SETFD, 0);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

void end(pid_t& pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
}

int remainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

XServer::XServer(WindowManager wm)
{
    if (const char* d = std::getenv("DISPLAY")) {
        m_previousDisplay = d;
        m_hadDisplay = true;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        m_error = "pipe failed";
        return;
    }
    // -displayfd: the server takes the first free display and writes its
    // number once it accepts connections.
    m_server = spawn(
        {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "800x600x24", "-nolisten", "tcp"},
        fds[1]);
    ::close(fds[1]);
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, remainingMs(deadline)) <= 0)
            break;
        char buf[32];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        number.append(buf, static_cast<std::size_t>(n));
        if (number.find('\n') != std::string::npos)
            break;
    }
    ::close(fds[0]);
    if (number.empty() || number.back() != '\n') {
        m_error = "Xvfb did not start (is the xvfb package installed?)";
        end(m_server);
        return;
    }
    number.pop_back();
    m_display = ":" + number;
    ::setenv("DISPLAY", m_display.c_str(), 1);
    if (wm == WindowManager::Openbox) {
        m_wm = spawn({"openbox", "--sm-disable"});
        waitForWindowManager();
    }
}

namespace
{

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* a = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = a ? a->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(a);
    return atom;
}

bool hasProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property)
{
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr);
    const bool has = r && r->type != XCB_ATOM_NONE;
    std::free(r);
    return has;
}

// Waits for events on c until done() or the deadline; every period it
// calls poke() first.
bool waitForEvents(xcb_connection_t* c, std::chrono::steady_clock::time_point deadline, int periodMs,
                   const std::function<bool()>& done, const std::function<void()>& poke)
{
    while (!done()) {
        if (remainingMs(deadline) == 0 || xcb_connection_has_error(c))
            return false;
        poke();
        xcb_flush(c);
        pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
        ::poll(&p, 1, std::min(periodMs, remainingMs(deadline)));
        while (xcb_generic_event_t* e = xcb_poll_for_event(c))
            std::free(e);
    }
    return true;
}

} // namespace

// Waits until openbox manages windows: it has published its client list and
// holds the root's redirect, and a probe window gets managed. Openbox may
// sleep at start-up with events it has already read still unhandled, until
// something new arrives; a root property we change now and then wakes it.
void XServer::waitForWindowManager()
{
    xcb_connection_t* c = xcb_connect(m_display.c_str(), nullptr);
    if (xcb_connection_has_error(c)) {
        m_error = "cannot connect to Xvfb on " + m_display;
        xcb_disconnect(c);
        return;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t root = screen->root;
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t clientList = internAtom(c, "_NET_CLIENT_LIST");
    const xcb_atom_t wmState = internAtom(c, "WM_STATE");
    const xcb_atom_t poke = internAtom(c, "_KIVO_TEST_POKE");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    std::uint32_t n = 0;
    const auto wake = [&] {
        ++n;
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, poke, XCB_ATOM_CARDINAL, 32, 1, &n);
    };
    std::string stage = "published no client list";
    bool up = waitForEvents(
        c, deadline, 200, [&] { return hasProperty(c, root, clientList); }, wake);
    if (up) {
        stage = "does not redirect the root";
        // Only one client may redirect the root's substructure: refused to
        // us means the window manager has it.
        const std::uint32_t redirect = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
        xcb_generic_error_t* e =
            xcb_request_check(c, xcb_change_window_attributes_checked(c, root, XCB_CW_EVENT_MASK, &redirect));
        up = e != nullptr;
        std::free(e);
    }
    if (up) {
        stage = "did not manage a window";
        const xcb_window_t probe = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, root, 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &mask);
        xcb_map_window(c, probe);
        up = waitForEvents(
            c, deadline, 200, [&] { return hasProperty(c, probe, wmState); }, wake);
        xcb_destroy_window(c, probe);
        xcb_delete_property(c, root, poke);
        xcb_flush(c);
    }
    xcb_disconnect(c);
    if (!up)
        m_error = "openbox on " + m_display + " " + stage + " (is the openbox package installed?)";
}

void XServer::stop()
{
    end(m_wm);
    end(m_server);
}

XServer::~XServer()
{
    kivo::desktop::Shutdown();
    stop();
    if (m_hadDisplay)
        ::setenv("DISPLAY", m_previousDisplay.c_str(), 1);
    else
        ::unsetenv("DISPLAY");
}

XClient::XClient()
{
    m_process.setProgram(QCoreApplication::applicationDirPath() + "/x11_client");
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    m_process.waitForStarted(kStartTimeoutMs);
}

XClient::~XClient()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(kStartTimeoutMs))
        m_process.kill();
}

std::string XClient::command(const std::string& line)
{
    if (!ok())
        return "error: x11_client is not running";
    m_process.write((line + "\n").c_str());
    m_process.waitForBytesWritten(kStartTimeoutMs);
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(kStartTimeoutMs))
            return "error: no answer from x11_client";
    }
    return m_process.readLine().trimmed().toStdString();
}

std::uint32_t XClient::create(const std::string& title, const std::string& flags)
{
    const std::string answer = command("new " + (flags.empty() ? std::string("-") : flags) + " " + title);
    return static_cast<std::uint32_t>(std::strtoul(answer.c_str(), nullptr, 10));
}

std::string XClient::simple(const char* verb, std::uint32_t window, const std::string& arg)
{
    return command(std::string(verb) + " " + std::to_string(window) + (arg.empty() ? "" : " " + arg));
}

void XClient::setTitle(std::uint32_t window, const std::string& title)
{
    simple("title", window, title);
}

void XClient::map(std::uint32_t window)
{
    simple("map", window);
}

void XClient::withdraw(std::uint32_t window)
{
    simple("withdraw", window);
}

void XClient::iconify(std::uint32_t window)
{
    simple("iconify", window);
}

void XClient::destroy(std::uint32_t window)
{
    simple("destroy", window);
}

std::string XClient::query(std::uint32_t window)
{
    return simple("query", window);
}

ChildRun runTestOnDisplay(const std::string& display, const std::string& testName, int timeoutMs)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromStdString(display));
    env.insert("QT_QPA_PLATFORM", "xcb");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests", QString::fromStdString("--gtest_filter=" + testName)});
    ChildRun run;
    if (!child.waitForFinished(timeoutMs)) {
        child.kill();
        child.waitForFinished(-1);
        run.output = child.readAll() + "\n(ended: it did not finish in time)\n";
        return run;
    }
    run.output = child.readAll();
    run.exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    return run;
}

} // namespace kivo::test
