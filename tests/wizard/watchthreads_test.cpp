// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The tune thread and the window-hiding thread, watching a real X server
// (with and without a window manager) and the wizard's own windows.
#include "wizard/WatchThreads.h"

#include "platform/desktop/desktop.h"
#include "platform/sound/sound.h"
#include "tests/support/testsupport.h"
#include "tests/support/tracecapture.h"
#include "tests/support/x11_server.h"

#include <QWidget>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

using kivo::test::TempDir;
using kivo::test::TraceCapture;
using kivo::test::waitUntil;
using kivo::test::XClient;
using kivo::test::XServer;

namespace
{

void makeWav(const std::string& path, double seconds)
{
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<short> silence(static_cast<std::size_t>(8000 * seconds));
    sf_writef_short(f, silence.data(), static_cast<sf_count_t>(silence.size()));
    sf_close(f);
}

// How the trace names a window.
std::string traced(std::uint32_t xid)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "hwnd=0x%x,", xid);
    return buf;
}

class WatchOnX : public ::testing::TestWithParam<XServer::WindowManager>
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.ok()) << server.error();
        ASSERT_TRUE(client.ok()) << "x11_client did not start";
        TunePlayed = false;
        WindowHidden = false;
    }
    void TearDown() override { EXPECT_TRUE(TFWThread::TerminateAll(20000)); }

    // True once a watching thread has read the window's title (the test
    // itself makes no desktop calls while it is traced).
    bool looked(std::uint32_t xid) { return trace.anyLineHas("GetWindowTextA(", traced(xid)); }
    int plays(const std::string& wav) { return trace.count("PlaySoundA(sound=\"" + wav + "\""); }
    bool withdrawn(std::uint32_t xid)
    {
        const std::string q = client.query(xid);
        return q == "map=0 state=-1" || q == "map=0 state=0";
    }

    XServer server{GetParam()};
    XClient client;
    TempDir dir;
    TraceCapture trace;
};

} // namespace

TEST_P(WatchOnX, TunePlaysForTheExactVisibleCaptionOncePerAttempt)
{
    const std::string wav = dir.file("tune.wav");
    makeWav(wav, 0.05);
    const std::uint32_t otherCase = client.create("post-dial terminal");
    const std::uint32_t hidden = client.create("Post-Dial Terminal", "-");
    auto* thread = new TPDTThread("Post-Dial Terminal", wav);
    EXPECT_EQ(TuneFile.load(), wav);

    // A window the thread reads after those two proves it has passed them.
    const std::uint32_t later = client.create("Unrelated");
    ASSERT_TRUE(waitUntil([&] { return looked(otherCase) && looked(later); }));
    EXPECT_FALSE(TunePlayed) << "letter case differs, or the window is not visible";
    EXPECT_EQ(plays(wav), 0);

    client.map(hidden);
    ASSERT_TRUE(waitUntil([&] { return TunePlayed.load(); }));
    EXPECT_EQ(plays(wav), 1);

    // Next attempt: the window is still there, the tune plays again.
    client.create("Noise");
    ClearTunePlayed();
    ASSERT_TRUE(waitUntil([&] { return TunePlayed && plays(wav) == 2; }));

    thread->Terminate();
    thread->WaitFor();
    EXPECT_TRUE(thread->Finished());
    delete thread;
    EXPECT_EQ(plays(wav), 2);
}

TEST_P(WatchOnX, EmptyCaptionMatchesAVisibleWindowWithoutTitle)
{
    const std::string wav = dir.file("tune.wav");
    makeWav(wav, 0.05);
    client.create("Titled");
    client.create("");
    TPDTThread thread("", wav);
    EXPECT_TRUE(waitUntil([&] { return TunePlayed && plays(wav) == 1; }));
}

TEST_P(WatchOnX, HidingThreadHidesOnlyTheFirstOfTwoAndFreesItself)
{
    const std::uint32_t otherCase = client.create("connected to Office");
    const std::uint32_t lower = client.create("Connected to Office");
    const std::uint32_t upper = client.create("Connected to Office");
    const std::uint32_t invisible = client.create("Connected to Office", "-");
    if (GetParam() == XServer::WindowManager::Openbox) {
        ASSERT_TRUE(waitUntil([&] { return client.query(upper) == "map=2 state=1"; }));
        ASSERT_TRUE(waitUntil([&] { return client.query(lower) == "map=2 state=1"; }));
    }
    new TFWThread("Connected to Office");
    ASSERT_TRUE(waitUntil([&] { return WindowHidden.load(); }));
    // The enumeration runs top to bottom: the window made last is first.
    EXPECT_TRUE(waitUntil([&] { return withdrawn(upper); })) << client.query(upper);
    EXPECT_EQ(client.query(lower).rfind("map=2", 0), 0u) << client.query(lower);
    EXPECT_EQ(client.query(otherCase).rfind("map=2", 0), 0u) << client.query(otherCase);
    EXPECT_EQ(client.query(invisible), "map=0 state=-1");
    EXPECT_EQ(trace.count("ShowWindow("), 1);
    EXPECT_TRUE(TFWThread::TerminateAll(20000)) << "the thread ends and frees itself";
}

TEST_P(WatchOnX, HidingThreadWaitsForTheWindowToBeShown)
{
    const std::uint32_t window = client.create("Connected to Home", "-");
    new TFWThread("Connected to Home");
    const std::uint32_t later = client.create("Unrelated");
    ASSERT_TRUE(waitUntil([&] { return looked(later); }));
    EXPECT_FALSE(WindowHidden);
    client.map(window);
    ASSERT_TRUE(waitUntil([&] { return WindowHidden.load(); }));
    EXPECT_TRUE(waitUntil([&] { return withdrawn(window); })) << client.query(window);
}

TEST_P(WatchOnX, ALongTitleMatchesOnlyAsTheBufferCutsIt)
{
    const std::string title(300, 'k');
    const std::uint32_t window = client.create(title);
    new TFWThread(title);
    ASSERT_TRUE(waitUntil([&] { return looked(window); }));
    EXPECT_TRUE(TFWThread::TerminateAll(20000));
    EXPECT_FALSE(WindowHidden) << "the text read is cut to 255 characters";
    new TFWThread(title.substr(0, 255));
    EXPECT_TRUE(waitUntil([&] { return WindowHidden && withdrawn(window); }));
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, WatchOnX,
                         ::testing::Values(XServer::WindowManager::None, XServer::WindowManager::Openbox),
                         [](const auto& info) {
                             return info.param == XServer::WindowManager::None ? "NoWindowManager"
                                                                               : "Openbox";
                         });

TEST(WatchThreads, TerminateStopsAPlayingTuneAndEndsTheThread)
{
    XServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    XClient client;
    TempDir dir;
    const std::string wav = dir.file("long.wav");
    makeWav(wav, 60); // KIVO95_SOUND=null plays it at real-time pace
    client.create("Post-Dial Terminal");
    auto* thread = new TPDTThread("Post-Dial Terminal", wav);
    ASSERT_TRUE(waitUntil([] { return kivo::sound::playingCount() == 1; }, 20000));

    std::atomic<bool> ended{false};
    std::thread owner([&] {
        thread->Terminate();
        thread->WaitFor();
        ended = true;
    });
    // Well before the minute of the tune is over.
    EXPECT_TRUE(waitUntil([&] { return ended.load(); }, 20000));
    owner.join();
    EXPECT_EQ(kivo::sound::playingCount(), 0);
    EXPECT_TRUE(TunePlayed) << "a stopped tune counts as played";
    delete thread;
}

TEST(WatchThreads, TerminateAllEndsASearchingHidingThread)
{
    XServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    WindowHidden = true;
    new TFWThread("Connected to Nowhere");
    EXPECT_TRUE(waitUntil([] { return !WindowHidden; })) << "a starting thread clears WindowHidden";
    EXPECT_TRUE(TFWThread::TerminateAll(20000));
    EXPECT_FALSE(WindowHidden);
}

TEST(WatchThreads, DeletingATuneThreadThatNeverFoundItsWindowEndsIt)
{
    unsetenv("DISPLAY");
    kivo::desktop::Shutdown();
    auto* thread = new TPDTThread("Post-Dial Terminal", "/nonexistent.wav");
    delete thread; // terminates and waits
    EXPECT_FALSE(TunePlayed);
}

// Without an X server the threads watch the wizard's own windows, where the
// dial-up windows live.
TEST(WatchThreads, OwnWindowsArePlayedForAndHidden)
{
    unsetenv("DISPLAY");
    kivo::desktop::Shutdown();
    TempDir dir;
    const std::string wav = dir.file("tune.wav");
    makeWav(wav, 0.05);
    TPDTThread tune("Post-Dial Terminal", wav);
    new TFWThread("Connected to Office");

    QWidget postDial;
    postDial.setWindowTitle("Post-Dial Terminal");
    postDial.show();
    EXPECT_TRUE(waitUntil([] { return TunePlayed.load(); }));

    QWidget connected;
    connected.setWindowTitle("Connected to Office");
    connected.show();
    EXPECT_TRUE(waitUntil([&] { return WindowHidden && !connected.isVisible(); }));
    EXPECT_TRUE(postDial.isVisible());
    EXPECT_TRUE(TFWThread::TerminateAll(20000));
}
