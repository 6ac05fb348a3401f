// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The silent output: takes samples at the pace a speaker would, so a caller
// that waits for a sound to end waits as long as with a real device.
#include "platform/sound/sound_backend.h"

namespace kivo::sound
{
namespace
{

class NullOutput : public Output
{
  public:
    std::string name() const override { return "null"; }

    bool open(const StreamFormat& format, std::string&) override
    {
        m_rate = format.rate;
        m_start = std::chrono::steady_clock::now();
        return true;
    }

    // Each chunk "ends" at the time it would have been heard; the wait is
    // measured from the start so that rounding never accumulates.
    bool write(const void*, std::size_t count, const StopTicket& ticket, std::string&) override
    {
        m_frames += count;
        const auto played = std::chrono::microseconds(static_cast<std::int64_t>(m_frames * 1000000 / m_rate));
        ticket.waitUntil(m_start + played);
        return true;
    }

    bool drain(const StopTicket&, std::string&) override { return true; }
    void discard() override {}

  private:
    std::uint64_t m_rate = 1;
    std::uint64_t m_frames = 0;
    std::chrono::steady_clock::time_point m_start;
};

} // namespace

std::unique_ptr<Output> makeNullOutput()
{
    return std::make_unique<NullOutput>();
}

} // namespace kivo::sound
