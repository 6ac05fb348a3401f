// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/WatchThreads.h"

#include "platform/desktop/desktop.h"
#include "platform/sound/sound.h"

#include <chrono>
#include <cstring>
#include <set>

SharedText TuneFile;
std::atomic<bool> TunePlayed{false};
std::atomic<bool> WindowHidden{false};

namespace
{

// A watching thread sleeps until the desktop changes; this bound only
// limits how long a change it could not be told of (none is known) would go
// unseen.
constexpr int kPassBoundMs = 2000;
// While a terminated thread is awaited, how often the termination is
// repeated: a stop request that came a moment before the sound started
// playing did not stop it.
constexpr auto kTerminateRepeat = std::chrono::milliseconds(100);

thread_local TThread* t_current = nullptr;

// The caption comparison of both threads: the window's text as read into a
// 256-character buffer, up to its first zero, equal to the caption byte for
// byte, and the window visible.
bool isShownWithCaption(HWND hwnd, const char* caption)
{
    char text[256] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return std::strcmp(text, caption) == 0 && IsWindowVisible(hwnd);
}

struct FWThreads {
    std::mutex lock;
    std::condition_variable gone;
    std::set<TFWThread*> live;
};

FWThreads& fwThreads()
{
    static auto* t = new FWThreads; // used by threads that may outlive main()
    return *t;
}

} // namespace

// ---- shared state -----------------------------------------------------------

void SharedText::store(std::string text)
{
    std::lock_guard g(m_lock);
    m_text = std::move(text);
}

std::string SharedText::load() const
{
    std::lock_guard g(m_lock);
    return m_text;
}

void ClearTunePlayed()
{
    TunePlayed = false;
    kivo::desktop::WakeWaiters();
}

// ---- TThread ----------------------------------------------------------------

TThread::TThread() = default;

TThread::~TThread()
{
    EndBeforeDestruction();
    if (m_thread.joinable()) {
        if (m_thread.get_id() == std::this_thread::get_id())
            m_thread.detach();
        else
            m_thread.join();
    }
}

void TThread::EndBeforeDestruction()
{
    {
        std::lock_guard g(m_lock);
        m_destroying = true;
        if (!m_started || m_finished || m_thread.get_id() == std::this_thread::get_id())
            return;
    }
    Terminate();
    WaitFor();
}

void TThread::Resume()
{
    std::lock_guard g(m_lock);
    if (m_started)
        return;
    m_started = true;
    m_thread = std::thread(&TThread::run, this);
}

void TThread::Terminate()
{
    m_terminated = true;
    TerminateRequested();
    kivo::desktop::WakeWaiters();
}

void TThread::WaitFor()
{
    std::unique_lock lk(m_lock);
    if (!m_started || m_thread.get_id() == std::this_thread::get_id())
        return;
    while (!m_finishedChanged.wait_for(lk, kTerminateRepeat, [this] { return m_finished; })) {
        if (m_terminated) {
            lk.unlock();
            TerminateRequested();
            lk.lock();
        }
    }
}

bool TThread::Finished() const
{
    std::lock_guard g(m_lock);
    return m_finished;
}

TThread* TThread::Current()
{
    return t_current;
}

void TThread::run(TThread* self)
{
    t_current = self;
    try {
        self->Execute();
    } catch (...) {
        // Nothing may leave a thread; the thread simply ends, as the
        // toolkit's would.
    }
    t_current = nullptr;
    bool freeSelf;
    {
        std::lock_guard g(self->m_lock);
        self->m_finished = true;
        freeSelf = self->m_freeOnTerminate && !self->m_destroying;
        self->m_finishedChanged.notify_all();
    }
    // Whoever deletes the object joins this thread first, so it stays alive
    // until here unless it frees itself.
    if (freeSelf)
        delete self;
}

// ---- the tune thread --------------------------------------------------------

TPDTThread::TPDTThread(const std::string& caption, const std::string& waveFile) : WindowCaption(caption)
{
    TuneFile.store(waveFile);
    TunePlayed = false;
    Resume();
}

TPDTThread::~TPDTThread()
{
    EndBeforeDestruction();
}

void TPDTThread::Execute()
{
    // The change count is taken before each pass, so a change during the
    // pass makes the wait return at once.
    unsigned generation = kivo::desktop::WindowGeneration();
    while (!Terminated()) {
        if (!TunePlayed)
            EnumWindows(PDTEnumProc, reinterpret_cast<LPARAM>(WindowCaption.c_str()));
        if (Terminated())
            break;
        kivo::desktop::WaitForWindowChange(generation, kPassBoundMs);
    }
}

void TPDTThread::TerminateRequested()
{
    if (m_playing)
        PlaySoundA(nullptr, nullptr, 0);
}

BOOL CALLBACK PDTEnumProc(HWND hwnd, LPARAM caption)
{
    if (!isShownWithCaption(hwnd, reinterpret_cast<const char*>(caption)))
        return TRUE;
    auto* self = dynamic_cast<TPDTThread*>(TThread::Current());
    if (self) {
        // Marked as playing before the terminate flag is looked at: a
        // Terminate either is seen here or sees the mark and stops the tune.
        // A thread told to end starts no tune: its connection is reported.
        self->m_playing = true;
        if (self->Terminated()) {
            self->m_playing = false;
            return FALSE;
        }
    }
    const std::string file = TuneFile.load();
    PlaySoundA(file.c_str(), nullptr, SND_FILENAME);
    if (self)
        self->m_playing = false;
    TunePlayed = true;
    return FALSE;
}

// ---- the window-hiding thread -----------------------------------------------

TFWThread::TFWThread(const std::string& caption) : WindowCaption(caption)
{
    setFreeOnTerminate(true);
    {
        FWThreads& all = fwThreads();
        std::lock_guard g(all.lock);
        all.live.insert(this);
    }
    Resume();
}

TFWThread::~TFWThread()
{
    {
        FWThreads& all = fwThreads();
        std::lock_guard g(all.lock);
        all.live.erase(this);
        all.gone.notify_all();
    }
    EndBeforeDestruction();
}

bool TFWThread::TerminateAll(int timeoutMs)
{
    FWThreads& all = fwThreads();
    std::unique_lock lk(all.lock);
    // A thread leaves the set in its destructor, under this lock, so every
    // pointer in it is alive here.
    for (TFWThread* t : all.live)
        t->Terminate();
    return all.gone.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return all.live.empty(); });
}

void TFWThread::Execute()
{
    WindowHidden = false;
    unsigned generation = kivo::desktop::WindowGeneration();
    while (!Terminated() && !WindowHidden) {
        EnumWindows(FWEnumProc, reinterpret_cast<LPARAM>(WindowCaption.c_str()));
        if (Terminated() || WindowHidden)
            break;
        kivo::desktop::WaitForWindowChange(generation, kPassBoundMs);
    }
}

BOOL CALLBACK FWEnumProc(HWND hwnd, LPARAM caption)
{
    if (!isShownWithCaption(hwnd, reinterpret_cast<const char*>(caption)))
        return TRUE;
    ShowWindow(hwnd, SW_HIDE);
    WindowHidden = true;
    return FALSE;
}
