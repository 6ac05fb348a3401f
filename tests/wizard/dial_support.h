// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Shared set-up of the dialing tests: the wizard window with a phonebook of
// the test's own, a RAS backend that records what the wizard asks of it, and
// a way to act from inside the dial queue, which does not return until it
// has ended.
#pragma once

#include "components/Rascomp32.h"
#include "components/TrayIcon.h"
#include "platform/ras/ras_backend.h"
#include "tests/support/ras_scripted_backend.h"
#include "tests/wizard/frame_support.h"
#include "ui_Select.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kivo::test
{

// The simulated service, with a record of the dials and hang-ups it got.
class SimSpy : public kivo::ras::RasBackend
{
  public:
    using ConnId = kivo::ras::ConnId;

    SimSpy() : m_sim(kivo::ras::makeSimBackend())
    {
        m_sim->setProgressSink([this](ConnId id, DWORD state, DWORD error) { report(id, state, error); });
    }
    std::string name() const override { return "sim"; }
    std::string describe() const override { return m_sim->describe(); }
    DWORD entries(const std::string& phoneBook, std::vector<std::string>& names) override
    {
        return m_sim->entries(phoneBook, names);
    }
    DWORD dial(const kivo::ras::DialRequest& request, ConnId& id) override
    {
        dials.push_back(request.entryName);
        return m_sim->dial(request, id);
    }
    DWORD hangUp(ConnId id) override
    {
        ++hangUps;
        return m_sim->hangUp(id);
    }
    DWORD status(ConnId id, kivo::ras::ConnStatus& s) override { return m_sim->status(id, s); }
    std::vector<kivo::ras::ConnInfo> connections() override { return m_sim->connections(); }

    std::vector<std::string> dials;
    int hangUps = 0;

  private:
    std::unique_ptr<kivo::ras::RasBackend> m_sim;
};

// A wave file of silence: 8 kHz, 8 bits, mono.
inline void writeSilentWav(const std::string& path, double seconds)
{
    const auto samples = static_cast<std::uint32_t>(seconds * 8000);
    std::string wav;
    const auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            wav += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const auto put16 = [&](std::uint16_t v) {
        wav += static_cast<char>(v & 0xFF);
        wav += static_cast<char>(v >> 8);
    };
    wav += "RIFF";
    put32(36 + samples);
    wav += "WAVEfmt ";
    put32(16);
    put16(1); // PCM
    put16(1); // mono
    put32(8000);
    put32(8000);
    put16(1);
    put16(8);
    wav += "data";
    put32(samples);
    wav.append(samples, static_cast<char>(128));
    writeFile(path, wav);
}

inline SimSpy* installSimSpy()
{
    auto spy = std::make_unique<SimSpy>();
    SimSpy* raw = spy.get();
    kivo::ras::installBackend(std::move(spy), "installed by the test");
    return raw;
}

// Something to do from inside the dial queue once a condition holds.
struct QueueStep {
    std::string what; // for the failure message
    std::function<bool()> when;
    std::function<void()> then = [] {};
};

class DialTest : public WizardTest
{
  protected:
    void SetUp() override
    {
        WizardTest::SetUp();
        SelectedEntries.Clear();
    }

    // The simulated service's phonebook (read again when it changes).
    void phonebook(const std::string& text)
    {
        const QString dir =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/kivo95";
        QDir().mkpath(dir);
        writeFile((dir + "/phonebook.pbk").toStdString(), text);
    }

    void writeStat(const std::string& entry, const std::string& name, const Variant& value)
    {
        TRegFile reg;
        reg.setRootKey(hkLocalMachine);
        reg.setKey(kivo::reg::EntryKey(entry));
        reg.WriteValue(name, value);
    }
    Variant readStat(const std::string& entry, const std::string& name)
    {
        TRegFile reg;
        reg.setRootKey(hkLocalMachine);
        reg.setKey(kivo::reg::EntryKey(entry));
        return reg.ReadValue(name);
    }

    // An installed wizard, shown, with these entries selected, on the
    // confirmation page.
    TfrmSelect& ready(std::initializer_list<const char*> entries)
    {
        installed();
        TfrmSelect& f = create();
        for (const char* e : entries)
            SelectedEntries.Add(e);
        f.show();
        f.setPageIndex(3);
        return f;
    }

    // Presses Next on the confirmation page, which runs the dial queue until
    // it ends; meanwhile each step runs, in order, once its condition holds.
    // A step that does not come within stepTimeoutMs fails the test and
    // aborts the queue. Returns true when every step ran.
    bool dial(std::vector<QueueStep> steps, int stepTimeoutMs = 15000)
    {
        std::size_t next = 0;
        bool failed = false;
        QElapsedTimer sinceStep;
        sinceStep.start();
        QTimer check;
        check.setInterval(10);
        // A step may itself run a nested loop (a nested dial queue, a page
        // change): the steps after it then run from within that loop.
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (failed)
                return;
            while (next < steps.size() && steps[next].when()) {
                const auto then = steps[next++].then;
                sinceStep.restart();
                then();
            }
            if (next < steps.size() && sinceStep.hasExpired(stepTimeoutMs)) {
                ADD_FAILURE() << "never happened: " << steps[next].what;
                failed = true;
                form->btnAbortClick(nullptr);
            }
        });
        check.start();
        EXPECT_EQ(form->PageIndex(), 3);
        form->ui->btnNext->click();
        check.stop();
        queueEnded = true;
        return !failed && next == steps.size();
    }

    bool queueEnded = false;
};

} // namespace kivo::test
