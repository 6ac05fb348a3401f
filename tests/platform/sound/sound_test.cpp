// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// PlaySoundA: decoding, every output, stopping from another thread.
#include "platform/sound/sound.h"
#include "platform/system/trace.h"
#include "tests/support/testsupport.h"
#include "tests/support/tracecapture.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

using kivo::test::TempDir;
using kivo::test::TraceCapture;
using kivo::test::waitUntil;
using Clock = std::chrono::steady_clock;

namespace
{

struct Wav {
    int rate = 0;
    int channels = 0;
    int format = 0;
    sf_count_t frames = 0;
};

// Writes frames of pseudo-random noise (so that a lost, doubled or swapped
// chunk shows) in the given encoding.
Wav makeWav(const std::string& path, int rate, int channels, int subformat, double seconds, unsigned seed = 7)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | subformat;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    const auto frames = static_cast<sf_count_t>(rate * seconds);
    std::vector<float> samples(static_cast<size_t>(frames * channels));
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-0.9f, 0.9f);
    for (float& s : samples)
        s = dist(gen);
    sf_writef_float(f, samples.data(), frames);
    sf_close(f);
    return {rate, channels, info.format, frames};
}

template <typename T> std::vector<T> readAll(const std::string& path, SF_INFO* infoOut = nullptr)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        return {};
    std::vector<T> out(static_cast<size_t>(info.frames * info.channels));
    if constexpr (std::is_same_v<T, short>)
        sf_readf_short(f, out.data(), info.frames);
    else
        sf_readf_float(f, out.data(), info.frames);
    sf_close(f);
    if (infoOut)
        *infoOut = info;
    return out;
}

double secondsOf(const Wav& w)
{
    return static_cast<double>(w.frames) / w.rate;
}

double elapsedSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Plays a file on a thread of its own, so the test thread can stop it.
class Player
{
  public:
    explicit Player(std::string path)
        : m_thread([this, p = std::move(path)] {
              result = PlaySoundA(p.c_str(), nullptr, SND_FILENAME);
              done = true;
          })
    {
    }
    ~Player() { m_thread.join(); }
    std::atomic<BOOL> result{-1};
    std::atomic<bool> done{false};

  private:
    std::thread m_thread;
};

} // namespace

TEST(SoundFile, EveryEncodingArrivesWhole)
{
    TempDir dir;
    struct Case {
        const char* name;
        int subformat;
        int channels;
        bool asFloat; // 24-bit and float sources keep their resolution
    };
    const Case cases[] = {
        {"pcm16-stereo", SF_FORMAT_PCM_16, 2, false}, {"pcm8-mono", SF_FORMAT_PCM_U8, 1, false},
        {"ulaw", SF_FORMAT_ULAW, 1, false},           {"ima-adpcm", SF_FORMAT_IMA_ADPCM, 2, false},
        {"pcm24", SF_FORMAT_PCM_24, 2, true},         {"float", SF_FORMAT_FLOAT, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = dir.file(std::string(c.name) + ".wav");
        const std::string out = dir.file(std::string(c.name) + "-out.wav");
        // 1.3 s at 22050 Hz: many chunks and a partial one at the end.
        makeWav(in, 22050, c.channels, c.subformat, 1.3);
        setenv("KIVO95_SOUND", ("file:" + out).c_str(), 1);
        ASSERT_TRUE(PlaySoundA(in.c_str(), nullptr, SND_FILENAME));
        SF_INFO got{};
        if (c.asFloat) {
            auto played = readAll<float>(out, &got);
            EXPECT_EQ(played, readAll<float>(in));
            EXPECT_EQ(got.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
        } else {
            auto played = readAll<short>(out, &got);
            EXPECT_EQ(played, readAll<short>(in));
            EXPECT_EQ(got.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
        }
        SF_INFO src{};
        readAll<short>(in, &src);
        EXPECT_EQ(got.frames, src.frames);
        EXPECT_EQ(got.channels, c.channels);
        EXPECT_EQ(got.samplerate, 22050);
    }
}

TEST(SoundFile, UnplayableCallsFailAtOnceAndSayWhy)
{
    TempDir dir;
    TraceCapture trace;
    const std::string out = dir.file("out.wav");
    setenv("KIVO95_SOUND", ("file:" + out).c_str(), 1);

    EXPECT_FALSE(PlaySoundA(dir.file("missing.wav").c_str(), nullptr, SND_FILENAME));
    EXPECT_EQ(trace.last().rfind("PlaySoundA(sound=\"" + dir.file("missing.wav") + "\"", 0), 0u)
        << trace.last();
    EXPECT_NE(trace.last().find(") = 0 [cannot read sound file"), std::string::npos) << trace.last();

    kivo::test::writeFile(dir.file("text.wav"), "this is not a sound\n");
    EXPECT_FALSE(PlaySoundA(dir.file("text.wav").c_str(), nullptr, SND_FILENAME));
    EXPECT_NE(trace.last().find("cannot read sound file"), std::string::npos) << trace.last();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(out))) << "nothing may be played from a bad file";

    const std::string good = dir.file("good.wav");
    makeWav(good, 8000, 1, SF_FORMAT_PCM_16, 0.1);
    EXPECT_FALSE(PlaySoundA(good.c_str(), nullptr, SND_FILENAME | SND_ASYNC))
        << "asynchronous play is not offered";
    EXPECT_FALSE(PlaySoundA("SystemStart", nullptr, 0x00010000 /* SND_ALIAS */));

    setenv("KIVO95_SOUND", ("file:" + dir.file("no/such/dir/out.wav")).c_str(), 1);
    EXPECT_FALSE(PlaySoundA(good.c_str(), nullptr, SND_FILENAME))
        << "an output that cannot open is a failure";
    EXPECT_NE(trace.last().find("no audio output: file:"), std::string::npos) << trace.last();

    setenv("KIVO95_SOUND", "loudspeaker", 1);
    EXPECT_FALSE(PlaySoundA(good.c_str(), nullptr, SND_FILENAME));
    EXPECT_NE(trace.last().find("unknown KIVO95_SOUND"), std::string::npos) << trace.last();

    // The stop call succeeds with nothing playing and is traced too.
    EXPECT_TRUE(PlaySoundA(nullptr, nullptr, 0));
    EXPECT_EQ(trace.last(), "PlaySoundA(sound=NULL, hmod=NULL, flags=0x0) = 1 [stop]");
    EXPECT_EQ(trace.lines().size(), 7u) << "one trace line per call";
}

TEST(SoundNull, PlaysAtRealTimePaceAndStopsOnRequest)
{
    TempDir dir;
    TraceCapture trace;
    setenv("KIVO95_SOUND", "null", 1);
    const std::string shortWav = dir.file("short.wav");
    const Wav w = makeWav(shortWav, 16000, 1, SF_FORMAT_PCM_16, 0.4);
    auto start = Clock::now();
    EXPECT_TRUE(PlaySoundA(shortWav.c_str(), nullptr, SND_FILENAME));
    EXPECT_GE(elapsedSince(start), secondsOf(w)) << "a synchronous sound returns when it has been heard";

    const std::string longWav = dir.file("long.wav");
    makeWav(longWav, 8000, 1, SF_FORMAT_PCM_16, 120);
    {
        Player player(longWav);
        ASSERT_TRUE(waitUntil([] { return kivo::sound::playingCount() == 1; }));
        EXPECT_FALSE(player.done);
        EXPECT_TRUE(PlaySoundA(nullptr, nullptr, 0));
        ASSERT_TRUE(waitUntil([&] { return player.done.load(); }, 10000))
            << "a stop must cut the sound short";
        EXPECT_EQ(player.result, TRUE);
    }
    EXPECT_EQ(kivo::sound::playingCount(), 0);
    EXPECT_TRUE(trace.anyLineHas("long.wav", "stopped"));

    // A new sound takes over from one still playing, as on Windows.
    {
        Player player(longWav);
        ASSERT_TRUE(waitUntil([] { return kivo::sound::playingCount() == 1; }));
        EXPECT_TRUE(PlaySoundA(shortWav.c_str(), nullptr, SND_FILENAME));
        ASSERT_TRUE(waitUntil([&] { return player.done.load(); }, 10000));
    }
}

// Makes ALSA read only the given configuration and leaves no sound server to
// answer, so that "auto" has to fall back to ALSA.
void alsaOnly(const TempDir& dir, const std::string& config)
{
    const std::string conf = dir.file("asound.conf");
    kivo::test::writeFile(conf, config);
    setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + dir.file("no-server")).c_str(), 1);
    setenv("KIVO95_SOUND", "auto", 1);
}

// ALSA's own "file" plugin in front of its "null" device stands in for a
// sound card: the real library path is exercised and the bytes it was given
// can be compared.
TEST(SoundAlsa, FallbackPlaysThroughTheDefaultDevice)
{
    TempDir dir;
    const std::string raw = dir.file("alsa.raw");
    alsaOnly(dir, "pcm.!default {\n type file\n slave.pcm { type null }\n file \"" + raw +
                      "\"\n format \"raw\"\n}\n");
    TraceCapture trace;

    const std::string wav = dir.file("tune.wav");
    makeWav(wav, 8000, 2, SF_FORMAT_PCM_16, 0.5);
    EXPECT_TRUE(PlaySoundA(wav.c_str(), nullptr, SND_FILENAME)) << trace.last();
    EXPECT_NE(trace.last().find("[alsa, 8000 Hz, 2 ch"), std::string::npos) << trace.last();

    const std::vector<short> want = readAll<short>(wav);
    const std::string bytes = kivo::test::readFile(raw);
    ASSERT_EQ(bytes.size(), want.size() * sizeof(short));
    EXPECT_EQ(std::memcmp(bytes.data(), want.data(), bytes.size()), 0);
}

TEST(SoundAlsa, NoDeviceAtAllFailsWithAReason)
{
    TempDir dir;
    alsaOnly(dir, "pcm.!default { type hw card 97 }\n");
    TraceCapture trace;
    const std::string wav = dir.file("tune.wav");
    makeWav(wav, 8000, 1, SF_FORMAT_PCM_16, 0.2);
    EXPECT_FALSE(PlaySoundA(wav.c_str(), nullptr, SND_FILENAME));
    const std::string l = trace.last();
    EXPECT_NE(l.find("no audio output: pulse: "), std::string::npos) << l;
    EXPECT_NE(l.find("; alsa: "), std::string::npos) << l;
}

// A PulseAudio server of the test's own with a null sink: it consumes
// samples at real-time pace, like a sound card, without one. (The null sink
// starts every stream about two seconds late, so these tests take longer
// than their sounds.)
class SoundPulse : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        const QString exe = QStandardPaths::findExecutable("pulseaudio");
        ASSERT_FALSE(exe.isEmpty()) << "pulseaudio must be installed (scripts/packages.txt)";
        m_socket = m_dir.file("native");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString(m_dir.path()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(m_dir.path()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_dir.file("config")));
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        env.remove("DISPLAY");
        m_server.setProcessEnvironment(env);
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start(exe,
                       {"--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no", "--realtime=no",
                        "--high-priority=no", "--log-level=error", "--load=module-null-sink",
                        QString::fromStdString("--load=module-native-protocol-unix auth-anonymous=1 socket=" +
                                               m_socket)});
        ASSERT_TRUE(m_server.waitForStarted());
        ASSERT_TRUE(waitUntil([&] { return QFile::exists(QString::fromStdString(m_socket)); }, 20000))
            << "the private sound server did not come up";
        setenv("PULSE_SERVER", ("unix:" + m_socket).c_str(), 1);
        setenv("KIVO95_SOUND", "pulse", 1);
    }
    void TearDown() override
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(10000))
                m_server.kill();
            m_server.waitForFinished();
        }
    }
    TempDir m_dir;
    std::string m_socket;
    QProcess m_server;
};

TEST_F(SoundPulse, ReturnsWhenTheSoundHasBeenHeard)
{
    TraceCapture trace;
    for (int subformat : {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24}) {
        const std::string wav = m_dir.file("tune.wav");
        const Wav w = makeWav(wav, 44100, 2, subformat, 0.6);
        auto start = Clock::now();
        EXPECT_TRUE(PlaySoundA(wav.c_str(), nullptr, SND_FILENAME)) << trace.last();
        EXPECT_GE(elapsedSince(start), secondsOf(w)) << trace.last();
        EXPECT_NE(trace.last().find("[pulse, 44100 Hz, 2 ch"), std::string::npos) << trace.last();
    }
}

TEST_F(SoundPulse, StopFromAnotherThreadCutsTheSoundShort)
{
    TraceCapture trace;
    const std::string wav = m_dir.file("long.wav");
    makeWav(wav, 22050, 1, SF_FORMAT_PCM_16, 120);
    Player player(wav);
    ASSERT_TRUE(waitUntil([] { return kivo::sound::playingCount() == 1; }, 10000));
    EXPECT_TRUE(PlaySoundA(nullptr, nullptr, 0));
    ASSERT_TRUE(waitUntil([&] { return player.done.load(); }, 10000)) << "a stop must cut the sound short";
    EXPECT_EQ(player.result, TRUE);
    EXPECT_TRUE(trace.anyLineHas("[pulse,", "stopped"));
}

TEST_F(SoundPulse, GoneServerIsNoDevice)
{
    TraceCapture trace;
    TearDown();
    const std::string wav = m_dir.file("tune.wav");
    makeWav(wav, 8000, 1, SF_FORMAT_PCM_16, 0.2);
    EXPECT_FALSE(PlaySoundA(wav.c_str(), nullptr, SND_FILENAME));
    EXPECT_NE(trace.last().find("no audio output: pulse: "), std::string::npos) << trace.last();
}
