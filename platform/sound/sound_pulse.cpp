// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The sound server output: the PulseAudio simple API, which PipeWire's
// pulse service answers as well.
#include "platform/sound/sound_backend.h"

#include <pulse/error.h>
#include <pulse/simple.h>
#include <pulse/timeval.h>

namespace kivo::sound
{
namespace
{

// The server keeps about this much queued ahead of the speaker. pa_simple's
// default is two seconds, which a stop would have to wait out in drain; a
// short queue keeps stop and the end of playback prompt.
constexpr int kQueueMs = 100;

class PulseOutput : public Output
{
  public:
    ~PulseOutput() override
    {
        if (m_stream)
            pa_simple_free(m_stream);
    }
    std::string name() const override { return "pulse"; }

    bool open(const StreamFormat& format, std::string& error) override
    {
        pa_sample_spec spec{};
        spec.format = format.type == SampleType::Int16 ? PA_SAMPLE_S16NE : PA_SAMPLE_FLOAT32NE;
        spec.rate = static_cast<uint32_t>(format.rate);
        spec.channels = static_cast<uint8_t>(format.channels);
        if (format.channels > static_cast<int>(PA_CHANNELS_MAX) || !pa_sample_spec_valid(&spec)) {
            error = "unsupported stream (" + std::to_string(format.rate) + " Hz, " +
                    std::to_string(format.channels) + " channels)";
            return false;
        }
        pa_buffer_attr attr;
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kQueueMs * PA_USEC_PER_MSEC, &spec));
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.minreq = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(-1);
        int err = 0;
        m_stream = pa_simple_new(nullptr, "KIVO95 Wizard", PA_STREAM_PLAYBACK, nullptr, "tune", &spec,
                                 nullptr, &attr, &err);
        if (!m_stream) {
            error = pa_strerror(err);
            return false;
        }
        m_bytesPerFrame = format.bytesPerFrame();
        return true;
    }

    bool write(const void* frames, std::size_t count, const StopTicket&, std::string& error) override
    {
        int err = 0;
        if (pa_simple_write(m_stream, frames, count * m_bytesPerFrame, &err) < 0) {
            error = pa_strerror(err);
            return false;
        }
        return true;
    }

    bool drain(const StopTicket& ticket, std::string& error) override
    {
        if (ticket.stopped())
            return true;
        int err = 0;
        if (pa_simple_drain(m_stream, &err) < 0) {
            error = pa_strerror(err);
            return false;
        }
        return true;
    }

    void discard() override
    {
        int err = 0;
        pa_simple_flush(m_stream, &err);
    }

  private:
    pa_simple* m_stream = nullptr;
    std::size_t m_bytesPerFrame = 0;
};

} // namespace

std::unique_ptr<Output> makePulseOutput()
{
    return std::make_unique<PulseOutput>();
}

} // namespace kivo::sound
