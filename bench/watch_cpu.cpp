// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What watching the desktop costs: the CPU time the window-watch threads
// (and the desktop layer's event thread) use per second while they find
// nothing, on a quiet and on a busy desktop, and how long after a window is
// shown a thread has found it. Runs its own Xvfb, without and with a window
// manager (openbox). Prints figures; targets: under 1% of a core, within
// 100 ms.
//
//   watch_cpu [seconds per measurement, default 5]
#include "platform/desktop/desktop.h"
#include "tests/support/x11_server.h"
#include "wizard/WatchThreads.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

using kivo::test::XClient;
using kivo::test::XServer;
using Clock = std::chrono::steady_clock;

namespace
{

double cpuMs(int who)
{
    rusage u{};
    getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// CPU of every thread but the calling (driving) one while work() runs.
double othersCpuMs(const std::function<void()>& work)
{
    const double all = cpuMs(RUSAGE_SELF);
    const double mine = cpuMs(RUSAGE_THREAD);
    work();
    return (cpuMs(RUSAGE_SELF) - all) - (cpuMs(RUSAGE_THREAD) - mine);
}

void makeWav(const std::string& path, int frames)
{
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<short> silence(static_cast<std::size_t>(frames));
    sf_writef_short(f, silence.data(), frames);
    sf_close(f);
}

// Waits (in 1 ms steps) until done() or a second has passed; the time
// waited in ms, or -1.
double msUntil(Clock::time_point start, const std::function<bool()>& done)
{
    while (!done()) {
        if (Clock::now() - start > std::chrono::seconds(1))
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void report(const char* what, std::vector<double> ms)
{
    const auto missed = std::count(ms.begin(), ms.end(), -1.0);
    ms.erase(std::remove(ms.begin(), ms.end(), -1.0), ms.end());
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) {
        std::printf("  %-44s never found\n", what);
        return;
    }
    std::printf("  %-44s median %6.1f ms, max %6.1f ms (%zu runs%s)\n", what, ms[ms.size() / 2], ms.back(),
                ms.size(), missed ? ", some not found within 1 s" : "");
}

void measure(XServer::WindowManager wm, int seconds, const std::string& wav)
{
    XServer server(wm);
    if (!server.ok()) {
        std::printf("%s\n", server.error().c_str());
        return;
    }
    XClient client;
    std::printf("X server %s %s, 20 other windows\n", server.display().c_str(),
                wm == XServer::WindowManager::None ? "without a window manager" : "with openbox");
    std::vector<std::uint32_t> others;
    for (int i = 0; i < 20; ++i)
        others.push_back(client.create("Other window " + std::to_string(i)));

    {
        // Both threads watching for captions that never appear.
        TPDTThread tune("Post-Dial Terminal", wav);
        new TFWThread("Connected to Nowhere");
        unsigned generation = kivo::desktop::WindowGeneration();
        while (kivo::desktop::WaitForWindowChange(generation, 500)) {
        }
        const double quiet = othersCpuMs([&] { std::this_thread::sleep_for(std::chrono::seconds(seconds)); });
        std::printf("  %-44s %7.3f ms per s (%.3f%% of a core)\n", "CPU, quiet desktop:", quiet / seconds,
                    quiet / seconds / 10);
        int renames = 0;
        const double busy = othersCpuMs([&] {
            const auto end = Clock::now() + std::chrono::seconds(seconds);
            while (Clock::now() < end) {
                client.setTitle(others[static_cast<std::size_t>(renames % 20)],
                                "Renamed " + std::to_string(renames));
                ++renames;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        std::printf("  %-44s %7.3f ms per s (%.3f%% of a core)\n",
                    "CPU, a title changing 10 times a second:", busy / seconds, busy / seconds / 10);
        TFWThread::TerminateAll(5000);
    }

    std::vector<double> hide;
    std::vector<double> play;
    for (int run = 0; run < 20; ++run) {
        const std::uint32_t connected = client.create("Connected to Office", "-");
        new TFWThread("Connected to Office");
        unsigned generation = kivo::desktop::WindowGeneration();
        while (kivo::desktop::WaitForWindowChange(generation, 100)) {
        }
        auto start = Clock::now();
        client.map(connected);
        hide.push_back(msUntil(start, [] { return WindowHidden.load(); }));
        TFWThread::TerminateAll(5000);
        client.destroy(connected);

        const std::uint32_t postDial = client.create("Post-Dial Terminal", "-");
        TPDTThread tune("Post-Dial Terminal", wav);
        while (kivo::desktop::WaitForWindowChange(generation, 100)) {
        }
        start = Clock::now();
        client.map(postDial);
        play.push_back(msUntil(start, [] { return TunePlayed.load(); }));
        tune.Terminate();
        tune.WaitFor();
        client.destroy(postDial);
    }
    report("window shown -> TFWThread has hidden it:", hide);
    report("window shown -> TPDTThread has played (1 ms):", play);
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("KIVO95_SOUND", "null", 1);
    QGuiApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    const std::string wav = (dir.path() + "/tune.wav").toStdString();
    makeWav(wav, 8);
    measure(XServer::WindowManager::None, seconds, wav);
    measure(XServer::WindowManager::Openbox, seconds, wav);
    return 0;
}
