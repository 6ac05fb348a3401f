// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// PlaySoundA: decode with libsndfile, play chunk by chunk into the first
// output that opens, stop on request from any thread.
#include "platform/sound/sound.h"

#include "platform/sound/sound_backend.h"
#include "platform/system/trace.h"

#include <sndfile.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace kivo::sound
{
namespace
{

struct StopSignal {
    std::mutex lock;
    std::condition_variable wake;
    std::uint64_t generation = 0;
};

StopSignal& signal()
{
    static StopSignal s;
    return s;
}

std::atomic<int> g_playing{0};

struct PlayingGuard {
    PlayingGuard() { ++g_playing; }
    ~PlayingGuard() { --g_playing; }
    PlayingGuard(const PlayingGuard&) = delete;
    PlayingGuard& operator=(const PlayingGuard&) = delete;
};

// A sound's samples travel in chunks of this length: short enough that a
// stop is heard at once, long enough that a busy machine does not starve
// the device between writes.
constexpr int kChunkMs = 25;

constexpr DWORD SND_MEMORY = 0x0004;
constexpr DWORD SND_ALIAS = 0x00010000;
constexpr DWORD SND_RESOURCE = 0x00040004;

// The stream format the output is asked for: 16-bit for what is 16 bits or
// less at heart (8/16-bit PCM, u-law, A-law, ADPCM, GSM), float for the rest
// so that 24/32-bit and floating-point files keep their resolution.
SampleType sampleTypeFor(int sndFormat)
{
    switch (sndFormat & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
        return SampleType::Float32;
    default:
        return SampleType::Int16;
    }
}

struct SndFile {
    SNDFILE* handle = nullptr;
    ~SndFile()
    {
        if (handle)
            sf_close(handle);
    }
};

// One line per call; built up while playing and written when the call ends.
struct CallTrace {
    std::string args;
    std::string note;
    BOOL finish(BOOL result)
    {
        if (kivo::trace::enabled()) {
            std::string l = "PlaySoundA(" + args + ") = " + std::to_string(result);
            if (!note.empty())
                l += " [" + note + "]";
            kivo::trace::line(l);
        }
        return result;
    }
};

std::string hex(DWORD v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(v));
    return buf;
}

BOOL play(const char* path, CallTrace& trace)
{
    // Taken before anything else so that this call stops a sound still
    // playing on another thread, as a new sound does on Windows.
    StopTicket ticket;

    SF_INFO info{};
    SndFile file;
    file.handle = sf_open(path, SFM_READ, &info);
    if (!file.handle) {
        trace.note = std::string("cannot read sound file: ") + sf_strerror(nullptr);
        return FALSE;
    }
    if (info.channels <= 0 || info.samplerate <= 0) {
        trace.note = "sound file has no playable stream";
        return FALSE;
    }
    StreamFormat format{info.samplerate, info.channels, sampleTypeFor(info.format)};

    const char* selection = std::getenv("KIVO95_SOUND");
    auto outputs = outputsFor(selection && *selection ? selection : "auto");
    if (outputs.empty()) {
        trace.note = std::string("unknown KIVO95_SOUND value ") + kivo::trace::quote(selection);
        return FALSE;
    }
    std::unique_ptr<Output> out;
    std::string failures;
    for (auto& candidate : outputs) {
        std::string error;
        if (candidate->open(format, error)) {
            out = std::move(candidate);
            break;
        }
        failures += (failures.empty() ? "" : "; ") + candidate->name() + ": " + error;
    }
    if (!out) {
        trace.note = "no audio output: " + failures;
        return FALSE;
    }
    trace.note = out->name() + ", " + std::to_string(format.rate) + " Hz, " +
                 std::to_string(format.channels) + " ch, " +
                 (format.type == SampleType::Int16 ? "s16" : "f32") + ", " + std::to_string(info.frames) +
                 " frames";

    PlayingGuard playing;
    const std::size_t chunkFrames =
        std::max<std::size_t>(64, static_cast<std::size_t>(format.rate) * kChunkMs / 1000);
    std::vector<char> buffer(chunkFrames * format.bytesPerFrame());
    std::string error;
    for (;;) {
        if (ticket.stopped()) {
            out->discard();
            trace.note += ", stopped";
            return TRUE;
        }
        sf_count_t got = format.type == SampleType::Int16
                             ? sf_readf_short(file.handle, reinterpret_cast<short*>(buffer.data()),
                                              static_cast<sf_count_t>(chunkFrames))
                             : sf_readf_float(file.handle, reinterpret_cast<float*>(buffer.data()),
                                              static_cast<sf_count_t>(chunkFrames));
        if (got <= 0)
            break;
        if (!out->write(buffer.data(), static_cast<std::size_t>(got), ticket, error)) {
            trace.note += ", device error: " + error;
            return FALSE;
        }
    }
    if (sf_error(file.handle) != SF_ERR_NO_ERROR)
        trace.note += std::string(", decoding stopped early: ") + sf_strerror(file.handle);
    if (!out->drain(ticket, error)) {
        trace.note += ", device error: " + error;
        return FALSE;
    }
    if (ticket.stopped()) {
        out->discard();
        trace.note += ", stopped";
    }
    return TRUE;
}

} // namespace

StopTicket::StopTicket()
{
    StopSignal& s = signal();
    {
        std::lock_guard g(s.lock);
        m_generation = ++s.generation;
    }
    s.wake.notify_all();
}

bool StopTicket::stopped() const
{
    StopSignal& s = signal();
    std::lock_guard g(s.lock);
    return s.generation != m_generation;
}

bool StopTicket::waitUntil(std::chrono::steady_clock::time_point deadline) const
{
    StopSignal& s = signal();
    std::unique_lock g(s.lock);
    return s.wake.wait_until(g, deadline, [&] { return s.generation != m_generation; });
}

int playingCount()
{
    return g_playing.load();
}

void stopAll()
{
    StopSignal& s = signal();
    {
        std::lock_guard g(s.lock);
        ++s.generation;
    }
    s.wake.notify_all();
}

std::vector<std::unique_ptr<Output>> outputsFor(const std::string& selection)
{
    std::vector<std::unique_ptr<Output>> list;
    if (selection == "auto") {
        list.push_back(makePulseOutput());
        list.push_back(makeAlsaOutput());
    } else if (selection == "pulse") {
        list.push_back(makePulseOutput());
    } else if (selection == "alsa") {
        list.push_back(makeAlsaOutput());
    } else if (selection == "null") {
        list.push_back(makeNullOutput());
    } else if (selection.rfind("file:", 0) == 0 && selection.size() > 5) {
        list.push_back(makeFileOutput(selection.substr(5)));
    }
    return list;
}

} // namespace kivo::sound

BOOL PlaySoundA(LPCSTR pszSound, HMODULE hmod, DWORD fdwSound)
{
    kivo::sound::CallTrace trace;
    if (kivo::trace::enabled())
        trace.args = "sound=" + kivo::trace::quote(pszSound) + ", hmod=" + (hmod ? "module" : "NULL") +
                     ", flags=" + kivo::sound::hex(fdwSound);
    if (!pszSound) {
        kivo::sound::stopAll();
        trace.note = "stop";
        return trace.finish(TRUE);
    }
    using namespace kivo::sound;
    if (fdwSound & SND_ASYNC) {
        trace.note = "SND_ASYNC is not supported";
        return trace.finish(FALSE);
    }
    const DWORD source = fdwSound & (SND_MEMORY | SND_ALIAS | SND_FILENAME | SND_RESOURCE);
    if (source != 0 && source != SND_FILENAME) {
        trace.note = "only sound files are supported";
        return trace.finish(FALSE);
    }
    return trace.finish(play(pszSound, trace));
}
