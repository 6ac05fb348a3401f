// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The fallback output: ALSA's "default" device, for machines without a
// sound server.
#include "platform/sound/sound_backend.h"

#include <alsa/asoundlib.h>

#include <mutex>

namespace kivo::sound
{
namespace
{

constexpr unsigned kLatencyUs = 100000;

// ALSA reports every failed lookup (no card, no config) on stderr by itself;
// the reason already goes to the trace, so the library is kept quiet.
void quietAlsa(const char*, int, const char*, int, const char*, ...)
{
}

class AlsaOutput : public Output
{
  public:
    ~AlsaOutput() override
    {
        if (m_pcm)
            snd_pcm_close(m_pcm);
    }
    std::string name() const override { return "alsa"; }

    bool open(const StreamFormat& format, std::string& error) override
    {
        static std::once_flag once;
        std::call_once(once, [] { snd_lib_error_set_handler(quietAlsa); });
        int rc = snd_pcm_open(&m_pcm, "default", SND_PCM_STREAM_PLAYBACK, 0);
        if (rc < 0) {
            m_pcm = nullptr;
            error = std::string("default device: ") + snd_strerror(rc);
            return false;
        }
        rc = snd_pcm_set_params(m_pcm,
                                format.type == SampleType::Int16 ? SND_PCM_FORMAT_S16 : SND_PCM_FORMAT_FLOAT,
                                SND_PCM_ACCESS_RW_INTERLEAVED, static_cast<unsigned>(format.channels),
                                static_cast<unsigned>(format.rate), 1, kLatencyUs);
        if (rc < 0) {
            error = std::string("default device refuses the stream: ") + snd_strerror(rc);
            return false;
        }
        m_bytesPerFrame = format.bytesPerFrame();
        return true;
    }

    bool write(const void* frames, std::size_t count, const StopTicket&, std::string& error) override
    {
        const char* p = static_cast<const char*>(frames);
        while (count > 0) {
            snd_pcm_sframes_t n = snd_pcm_writei(m_pcm, p, count);
            if (n < 0) {
                // An underrun (the machine was busy) or a suspend: recover
                // and go on; anything else ends the sound.
                int rc = snd_pcm_recover(m_pcm, static_cast<int>(n), 1);
                if (rc < 0) {
                    error = snd_strerror(rc);
                    return false;
                }
                continue;
            }
            p += static_cast<std::size_t>(n) * m_bytesPerFrame;
            count -= static_cast<std::size_t>(n);
        }
        return true;
    }

    bool drain(const StopTicket& ticket, std::string& error) override
    {
        if (ticket.stopped())
            return true;
        int rc = snd_pcm_drain(m_pcm);
        if (rc < 0) {
            error = snd_strerror(rc);
            return false;
        }
        return true;
    }

    void discard() override { snd_pcm_drop(m_pcm); }

  private:
    snd_pcm_t* m_pcm = nullptr;
    std::size_t m_bytesPerFrame = 0;
};

} // namespace

std::unique_ptr<Output> makeAlsaOutput()
{
    return std::make_unique<AlsaOutput>();
}

} // namespace kivo::sound
