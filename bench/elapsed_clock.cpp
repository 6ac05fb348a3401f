// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The Info page's clock over a whole minute (or the seconds given as the
// first argument): the real wizard window on Qt's offscreen platform, a
// simulated connection that stays up, and the elapsed text, the tray tip and
// LastTime looked at every 100 ms, as a person glancing at them would.
//
// Figures:
//  - how many times the elapsed text changed, and how many of those changes
//    were not to the very next second (repeats and jumps), and how often the
//    three texts disagreed;
//  - the time between two changes (min/median/max, ms): a second each;
//  - when each second appeared against the monotonic clock started with the
//    connection (ms after the whole second, min/median/max): no drift.
#include "bench/bench_home.h"
#include "components/Rascomp32.h"
#include "components/RegFiles.h"
#include "components/TrayIcon.h"
#include "platform/ras/ras.h"
#include "platform/system/system.h"
#include "ui_Select.h"
#include "wizard/KivoApplication.h"
#include "wizard/Select.h"
#include "wizard/Stats.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

namespace
{

void printSpread(const char* what, std::vector<qint64> v)
{
    if (v.empty()) {
        std::printf("%-44s (none)\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("%-44s %6lld %6lld %6lld   (n=%zu)\n", what, static_cast<long long>(v.front()),
                static_cast<long long>(v[v.size() / 2]), static_cast<long long>(v.back()), v.size());
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 60;
    QTemporaryDir home;
    kivo::bench::useHome(home.path(), "[Office]\nStepMs=20\n");
    setenv("KIVO95_RAS", "sim", 1);
    KivoApplication app(argc, argv);
    KivoApplication::setTitle("KIVO95 Wizard");
    kivo::bench::installed("");
    TfrmSelect form;
    frmSelect = &form;
    form.FormCreate(&form);
    form.NotificationAreaAvailable = [] { return true; };
    form.show();

    std::map<std::string, int> secondsOf;
    for (int n = 0; n < 86400; ++n)
        secondsOf.emplace(ElapsedText(n), n);
    const auto shown = [&](const std::string& text) {
        const auto it = secondsOf.find(text);
        return it == secondsOf.end() ? -1 : it->second;
    };
    TRegFile reg;
    reg.setRootKey(hkLocalMachine);
    reg.setKey(kivo::reg::EntryKey("Office"));

    QElapsedTimer sinceConnect;
    int last = -1, changes = 0, notNext = 0, disagree = 0, samples = 0;
    qint64 lastChangeMs = 0;
    std::vector<qint64> between, late;
    QTimer sampler;
    QEventLoop done;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (form.PageIndex() != 5 || !sinceConnect.isValid())
            return;
        ++samples;
        const qint64 now = sinceConnect.elapsed();
        const int label = shown(form.ui->lblTime->text().toStdString());
        const std::string tip = form.TI->ToolTip();
        const int fromTip = shown(tip.substr(tip.find(": ") + 2));
        const int lastTime = StrToSecs(reg.ReadValue(kivo::reg::LastTime).toString());
        if (label != fromTip || (label >= 1 && lastTime != label))
            ++disagree;
        if (last >= 0 && label != last) {
            ++changes;
            notNext += label != last + 1 ? 1 : 0;
            if (changes > 1)
                between.push_back(now - lastChangeMs);
            late.push_back(now - qint64(label) * 1000);
            lastChangeMs = now;
        }
        last = label;
        if (now >= qint64(seconds) * 1000)
            done.quit();
    });
    // The clock of the measurement starts when the connection is reported,
    // as the wizard's own does.
    const TNotifyEvent connected = form.RAS->OnConnect;
    form.RAS->OnConnect = [&](QObject* sender) {
        sinceConnect.start();
        connected(sender);
    };
    sampler.start(100);
    SelectedEntries.Clear();
    SelectedEntries.Add("Office");
    form.setPageIndex(3);
    // Runs the dial queue; the connection ends it, the clock goes on.
    QTimer::singleShot(0, &form, [&] { form.ui->btnNext->click(); });
    done.exec();
    sampler.stop();

    std::printf("Elapsed connection time, looked at every 100 ms for %d s (%s platform, sim backend)\n\n",
                seconds, qPrintable(QGuiApplication::platformName()));
    std::printf("samples %d, changes %d, changes not to the next second %d, samples where the page,\n"
                "the tip and LastTime disagreed %d\n\n",
                samples, changes, notNext, disagree);
    std::printf("%-44s %6s %6s %6s\n", "ms", "min", "median", "max");
    printSpread("between two changes", between);
    printSpread("a second seen after it began", late);
    std::printf("\n(A change is seen up to one sampling period, 100 ms, after it happened.)\n");
    form.close();
    return notNext == 0 && disagree == 0 ? 0 : 1;
}
