// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the dial queue costs while it dials, pauses and stays connected, and
// how quickly it reacts, measured on the real wizard window twice in one run:
// once with a pump that looks again at once without ever waiting (as a loop
// of ProcessMessages does), once the way the program waits for events.
//
// The simulated RAS service dials a phonebook written here; the window runs
// on Qt's offscreen platform. Figures:
//  - CPU time of the whole process per second of wall time, in each phase
//    (once connected the queue has ended, so both runs do the same there:
//    the one-second tick with its statistics writes);
//  - from a dial notification being posted to the status label being
//    painted with the new text;
//  - from a click on Skip or Abort arriving (posted from another thread, as
//    input from the display would be) to the hang-up it causes.
#include "bench/bench_home.h"
#include "components/Rascomp32.h"
#include "components/RegFiles.h"
#include "platform/ras/ras_backend.h"
#include "platform/system/system.h"
#include "ui_Select.h"
#include "wizard/DialPump.h"
#include "wizard/KivoApplication.h"
#include "wizard/Select.h"
#include "wizard/Stats.h"

#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

using Style = kivo::dialpump::Style;

double nowMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
double wallMs()
{
    return nowMs(CLOCK_MONOTONIC);
}
double cpuMs()
{
    return nowMs(CLOCK_PROCESS_CPUTIME_ID);
}

enum Phase { Idle, Dialing, Pausing, Connected, PhaseCount };
const char* const kPhaseNames[PhaseCount] = {"idle", "dialing", "pausing", "connected"};

// CPU and wall time spent in each phase.
struct PhaseMeter {
    Phase phase = Idle;
    double cpuStart = 0, wallStart = 0;
    double cpu[PhaseCount] = {}, wall[PhaseCount] = {};

    void enter(Phase next)
    {
        const double c = cpuMs(), w = wallMs();
        if (phase != Idle) {
            cpu[phase] += c - cpuStart;
            wall[phase] += w - wallStart;
        }
        phase = next;
        cpuStart = c;
        wallStart = w;
    }
    double percent(Phase p) const { return wall[p] > 0 ? 100.0 * cpu[p] / wall[p] : 0; }
};

// The simulated service, with the moments that matter to the measurement.
class TimedSim : public kivo::ras::RasBackend
{
  public:
    using ConnId = kivo::ras::ConnId;

    TimedSim() : m_sim(kivo::ras::makeSimBackend())
    {
        m_sim->setProgressSink([this](ConnId id, DWORD state, DWORD error) {
            if (state == RASCS_Connected && error == 0) {
                if (meter)
                    meter->enter(Pausing); // the queue's pause after the connection
            } else if (error == 0) {
                lastPost = wallMs();
            }
            report(id, state, error); // posts the notification
        });
    }
    std::string name() const override { return "sim"; }
    std::string describe() const override { return m_sim->describe(); }
    DWORD entries(const std::string& book, std::vector<std::string>& names) override
    {
        return m_sim->entries(book, names);
    }
    DWORD dial(const kivo::ras::DialRequest& request, ConnId& id) override
    {
        if (meter)
            meter->enter(Dialing);
        {
            std::lock_guard g(lock);
            ++dials;
        }
        dialled.notify_all();
        return m_sim->dial(request, id);
    }
    DWORD hangUp(ConnId id) override
    {
        const double t = wallMs();
        {
            std::lock_guard g(lock);
            hangUpTimes.push_back(t);
        }
        if (meter && meter->phase == Dialing)
            meter->enter(Pausing);
        return m_sim->hangUp(id);
    }
    DWORD status(ConnId id, kivo::ras::ConnStatus& s) override { return m_sim->status(id, s); }
    std::vector<kivo::ras::ConnInfo> connections() override { return m_sim->connections(); }

    PhaseMeter* meter = nullptr;
    double lastPost = -1; // GUI thread only
    std::mutex lock;
    std::condition_variable dialled;
    int dials = 0;
    std::vector<double> hangUpTimes;

  private:
    std::unique_ptr<kivo::ras::RasBackend> m_sim;
};

// Notification to paint: the first paint of the status label with a new text
// after a notification was posted.
class PaintWatch : public QObject
{
  public:
    PaintWatch(QLabel* label, TimedSim* sim) : m_label(label), m_sim(sim) { label->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && m_label->text() != m_painted) {
            m_painted = m_label->text();
            if (m_sim->lastPost >= 0) {
                samples.push_back(wallMs() - m_sim->lastPost);
                m_sim->lastPost = -1;
            }
        }
        return false;
    }
    std::vector<double> samples;

  private:
    QLabel* m_label;
    TimedSim* m_sim;
    QString m_painted;
};

struct Figures {
    double cpu[PhaseCount] = {};
    std::vector<double> status, skip, abort;
};

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// From the confirmation page into the dialing page; returns when the queue
// has ended.
void enterDialing(TfrmSelect& form)
{
    form.setPageIndex(3);
    form.ui->btnNext->click();
}

Figures measure(TfrmSelect& form, TimedSim* sim, Style style)
{
    Figures out;
    kivo::dialpump::setStyle(style);

    // Three attempts: two that fail, one that connects; then five seconds
    // connected.
    SelectedEntries.Clear();
    for (const char* e : {"A Busy Line", "B No Answer", "C Connects"})
        SelectedEntries.Add(e);
    PhaseMeter meter;
    sim->meter = &meter;
    PaintWatch paints(form.ui->lblStatus, sim);
    enterDialing(form);
    meter.enter(Connected);
    runFor(5000);
    meter.enter(Idle);
    sim->meter = nullptr;
    for (int p = Dialing; p < PhaseCount; ++p)
        out.cpu[p] = meter.percent(Phase(p));
    out.status = paints.samples;
    form.Disconnect1Click(nullptr);

    // Skip five times during a slow dial, then Abort: each click arrives
    // from another thread 300 ms into an attempt.
    SelectedEntries.Clear();
    SelectedEntries.Add("Slow Line");
    const int skips = 5;
    {
        std::lock_guard g(sim->lock);
        sim->dials = 0;
        sim->hangUpTimes.clear();
    }
    std::vector<double> clicks;
    std::thread user([&] {
        for (int i = 0; i <= skips; ++i) {
            {
                std::unique_lock lk(sim->lock);
                sim->dialled.wait(lk, [&] { return sim->dials > i; });
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            clicks.push_back(wallMs());
            QPushButton* button = i < skips ? form.ui->btnSkip : form.ui->btnAbort;
            QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
        }
    });
    enterDialing(form);
    user.join();
    std::lock_guard g(sim->lock);
    for (std::size_t i = 0; i < clicks.size() && i < sim->hangUpTimes.size(); ++i)
        (i < std::size_t(skips) ? out.skip : out.abort).push_back(sim->hangUpTimes[i] - clicks[i]);
    return out;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
double maximum(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    kivo::bench::useHome(home.path(), "[A Busy Line]\nOutcome=busy\nStepMs=700\n"
                                      "[B No Answer]\nOutcome=noanswer\nStepMs=700\n"
                                      "[C Connects]\nStepMs=400\n"
                                      "[Slow Line]\nOutcome=noanswer\nStepMs=5000\n");
    kivo::bench::writeText(home.path() + "/tune.wav", "");

    KivoApplication app(argc, argv);
    KivoApplication::setTitle("KIVO95 Wizard");
    auto owned = std::make_unique<TimedSim>();
    TimedSim* sim = owned.get();
    kivo::ras::installBackend(std::move(owned), "benchmark");
    // A tune thread watches all along, as it does when a tune is chosen.
    kivo::bench::installed((home.path() + "/tune.wav").toStdString());
    TfrmSelect form;
    frmSelect = &form;
    form.FormCreate(&form);
    form.NotificationAreaAvailable = [] { return true; };
    form.show();

    std::printf("Dial queue: the same scripted dial with a spinning pump and with ours (waiting)\n");
    std::printf("(sim backend, %s platform; 2 failing attempts, 1 connecting, 5 s connected)\n\n",
                qPrintable(QGuiApplication::platformName()));
    const Figures spin = measure(form, sim, Style::Spinning);
    const Figures wait = measure(form, sim, Style::Waiting);

    std::printf("%-34s %12s %12s %10s\n", "", "spinning", "waiting", "ratio");
    for (int p = Dialing; p < PhaseCount; ++p)
        std::printf("CPU while %-24s %11.1f%% %11.2f%% %9.1fx\n",
                    (std::string(kPhaseNames[p]) + " (% of a core)").c_str(), spin.cpu[p], wait.cpu[p],
                    wait.cpu[p] > 0 ? spin.cpu[p] / wait.cpu[p] : 0.0);
    const auto row = [](const char* what, const std::vector<double>& s, const std::vector<double>& w) {
        std::printf("%-34s %7.2f/%-6.2f %5.2f/%-6.2f   (n=%zu/%zu)\n", what, median(s), maximum(s), median(w),
                    maximum(w), s.size(), w.size());
    };
    std::printf("\nLatency in ms, median/max:\n");
    row("notification -> status painted", spin.status, wait.status);
    row("Skip click -> hang-up", spin.skip, wait.skip);
    row("Abort click -> hang-up", spin.abort, wait.abort);
    std::printf(
        "\nTargets: CPU under 1%% of a core in every phase; status within 5 ms; clicks within 20 ms.\n");
    return 0;
}
