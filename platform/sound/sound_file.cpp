// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The recording output: writes the decoded samples to a WAV file as fast as
// they decode, for tests and for machines without a sound card.
#include "platform/sound/sound_backend.h"

#include <sndfile.h>

namespace kivo::sound
{
namespace
{

class FileOutput : public Output
{
  public:
    explicit FileOutput(std::string path) : m_path(std::move(path)) {}
    ~FileOutput() override
    {
        if (m_file)
            sf_close(m_file);
    }
    std::string name() const override { return "file"; }

    bool open(const StreamFormat& format, std::string& error) override
    {
        SF_INFO info{};
        info.samplerate = format.rate;
        info.channels = format.channels;
        info.format = SF_FORMAT_WAV | (format.type == SampleType::Int16 ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT);
        m_file = sf_open(m_path.c_str(), SFM_WRITE, &info);
        if (!m_file) {
            error = m_path + ": " + sf_strerror(nullptr);
            return false;
        }
        m_type = format.type;
        return true;
    }

    bool write(const void* frames, std::size_t count, const StopTicket&, std::string& error) override
    {
        const auto n = static_cast<sf_count_t>(count);
        sf_count_t done = m_type == SampleType::Int16
                              ? sf_writef_short(m_file, static_cast<const short*>(frames), n)
                              : sf_writef_float(m_file, static_cast<const float*>(frames), n);
        if (done != n) {
            error = m_path + ": " + sf_strerror(m_file);
            return false;
        }
        return true;
    }

    bool drain(const StopTicket&, std::string&) override { return true; }
    void discard() override {}

  private:
    std::string m_path;
    SNDFILE* m_file = nullptr;
    SampleType m_type = SampleType::Int16;
};

} // namespace

std::unique_ptr<Output> makeFileOutput(const std::string& path)
{
    return std::make_unique<FileOutput>(path);
}

} // namespace kivo::sound
