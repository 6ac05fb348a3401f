// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The outputs PlaySoundA can play into, one file each (sound_pulse.cpp,
// sound_alsa.cpp, sound_null.cpp, sound_file.cpp), and the stop signal they
// share.
//
// PlaySoundA decodes the file itself and hands an output interleaved frames
// in chunks of a few tens of milliseconds; between chunks it looks at the
// stop generation, so a stop from another thread cuts playback short within
// about one chunk whatever the output.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kivo::sound
{

enum class SampleType { Int16, Float32 };

struct StreamFormat {
    int rate = 0;
    int channels = 0;
    SampleType type = SampleType::Int16;

    std::size_t bytesPerFrame() const
    {
        return static_cast<std::size_t>(channels) * (type == SampleType::Int16 ? 2 : 4);
    }
};

// One playing sound's view of the process-wide stop signal. Every PlaySoundA
// takes a ticket; PlaySoundA(nullptr, ...) and every later PlaySoundA make
// the ticket stale, which is how "stop any sound that is playing" is told
// to the thread that plays it.
class StopTicket
{
  public:
    StopTicket(); // takes a new ticket, staling all earlier ones
    bool stopped() const;
    // Waits until the deadline or until the ticket goes stale, whichever is
    // first (a condition-variable wait, not a spin). True when stopped.
    bool waitUntil(std::chrono::steady_clock::time_point deadline) const;

  private:
    std::uint64_t m_generation;
};

// Stales every ticket and wakes every waitUntil.
void stopAll();

class Output
{
  public:
    virtual ~Output() = default;
    // Short name for the trace ("pulse", "alsa", "null", "file").
    virtual std::string name() const = 0;
    // Prepares the device for the stream. On failure: false and a reason.
    virtual bool open(const StreamFormat& format, std::string& error) = 0;
    // Plays interleaved frames; blocks while the device has no room (at most
    // about one chunk). False with a reason on a device error.
    virtual bool write(const void* frames, std::size_t count, const StopTicket& ticket,
                       std::string& error) = 0;
    // Waits until everything written has been heard. False on error.
    virtual bool drain(const StopTicket& ticket, std::string& error) = 0;
    // Throws away what is queued but not yet heard (after a stop).
    virtual void discard() = 0;
};

std::unique_ptr<Output> makePulseOutput();
std::unique_ptr<Output> makeAlsaOutput();
std::unique_ptr<Output> makeNullOutput();
std::unique_ptr<Output> makeFileOutput(const std::string& path);

// The outputs to try, in order, for a KIVO95_SOUND value: "auto" (or unset)
// is PulseAudio then ALSA "default"; "pulse", "alsa", "null" and
// "file:PATH" name one. Empty for an unknown value.
std::vector<std::unique_ptr<Output>> outputsFor(const std::string& selection);

} // namespace kivo::sound
