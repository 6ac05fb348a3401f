// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The two threads that watch the desktop's top-level windows: the tune
// thread (TPDTThread) plays the tune when the post-dial window shows, the
// window-hiding thread (TFWThread) hides the system's "connected" window.
//
// Between passes over the windows each thread sleeps until the desktop
// changes (kivo::desktop::WaitForWindowChange), so a window is still found
// by the first pass after it appears, but a thread that finds nothing costs
// nothing.
#pragma once

#include "platform/system/win32types.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

// A text shared with the worker threads: read whole, written whole.
class SharedText
{
  public:
    void store(std::string text);
    std::string load() const;

  private:
    mutable std::mutex m_lock;
    std::string m_text;
};

// The wave file the tune thread plays; set by the TPDTThread constructor.
extern SharedText TuneFile;
// True once the tune thread has played the tune; the dial queue clears it
// after every attempt (through ClearTunePlayed, so the thread looks again).
extern std::atomic<bool> TunePlayed;
// True once a window-hiding thread has hidden its window.
extern std::atomic<bool> WindowHidden;

// Clears TunePlayed and wakes the tune thread for its next pass.
void ClearTunePlayed();

// A thread object after the toolkit's TThread: created suspended, started
// by Resume, runs Execute on a thread of its own; Terminate sets a flag that
// Execute polls; WaitFor waits for Execute's end; with FreeOnTerminate the
// object deletes itself when Execute returns (then nobody may touch it,
// WaitFor included). Deleting a running thread terminates it and waits.
class TThread
{
  public:
    TThread();
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Resume();
    // Asks Execute to end; wakes the watching threads so they see it.
    void Terminate();
    // Returns when Execute has returned (at once if it never started).
    void WaitFor();

    bool Terminated() const { return m_terminated; }
    bool Finished() const;
    bool FreeOnTerminate() const { return m_freeOnTerminate; }
    void setFreeOnTerminate(bool value) { m_freeOnTerminate = value; }

    // The thread object whose Execute runs on the calling thread, or null.
    static TThread* Current();

  protected:
    virtual void Execute() = 0;
    // Called by Terminate, and again now and then while WaitFor waits for a
    // terminated thread: the place to cut short something Execute blocks in.
    virtual void TerminateRequested() {}
    // Terminates and waits; a derived destructor calls it first, so that
    // Execute never runs on a half-destroyed object.
    void EndBeforeDestruction();

  private:
    static void run(TThread* self);

    std::thread m_thread;
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_freeOnTerminate{false};
    mutable std::mutex m_lock;
    std::condition_variable m_finishedChanged;
    bool m_started = false;
    bool m_finished = false;
    bool m_destroying = false;
};

// The tune thread. The owner terminates, waits for and deletes it.
class TPDTThread : public TThread
{
  public:
    // Watches for a visible window captioned caption and then plays
    // waveFile; sets TuneFile and clears TunePlayed; starts at once.
    TPDTThread(const std::string& caption, const std::string& waveFile);
    ~TPDTThread() override;

    const std::string WindowCaption;

  protected:
    void Execute() override;
    // Stops the tune if it is playing.
    void TerminateRequested() override;

  private:
    friend BOOL CALLBACK PDTEnumProc(HWND hwnd, LPARAM caption);
    std::atomic<bool> m_playing{false};
};

// The window-hiding thread: frees itself once it has hidden its window.
class TFWThread : public TThread
{
  public:
    // Watches for a visible window captioned caption and hides it; starts
    // at once.
    explicit TFWThread(const std::string& caption);
    ~TFWThread() override;

    // Asks every window-hiding thread still searching to end (when the
    // connection ends or the program closes) and waits up to timeoutMs for
    // them to be gone. True when none is left.
    static bool TerminateAll(int timeoutMs);

    const std::string WindowCaption;

  protected:
    void Execute() override;
};

// EnumWindows callbacks; caption is the thread's WindowCaption as a C string.
// PDTEnumProc plays the tune for the first visible window with that exact
// caption, FWEnumProc hides it; both then stop the enumeration (FALSE).
BOOL CALLBACK PDTEnumProc(HWND hwnd, LPARAM caption);
BOOL CALLBACK FWEnumProc(HWND hwnd, LPARAM caption);
