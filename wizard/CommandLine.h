// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The command line of kivo95: --help, --version, --dial ENTRY... [--tune
// FILE], --hang-up and --status. Requests go to the running wizard through
// the single-instance channel as one JSON line each (SingleInstance), and
// the wizard answers them through its WizardControl, the object D-Bus uses
// too. A --dial with no wizard running starts one, which then asks its own
// controller the very same way.
//
// Exit status: 0 done; 1 no wizard runs (--status, --hang-up), or it refused
// or did not answer; 2 a wrong command line, an unknown entry or a tune that
// cannot be read.
#pragma once

#include <QJsonObject>
#include <QStringList>

#include <optional>

namespace kivo
{
class WizardControl;
}

namespace kivo::cli
{

enum class Mode {
    Wizard, // no request: start the wizard, or bring the running one forward
    Dial,
    HangUp,
    Status
};

struct Options {
    Mode mode = Mode::Wizard;
    QStringList entries;
    // Absolute (made so against the working directory), or empty for none.
    QString tune;
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Reads the command line and does all that needs no window of this process:
// --help and --version, a wrong command line, and the requests that a
// running wizard answers. Returns the exit status then. Returns nothing when
// this process is to become the wizard (no request, or --dial while none
// runs), with what was asked in `options`. Makes (and ends) an application
// object of its own, without a display, so it must run before the wizard's.
std::optional<int> RunWithoutWindow(int argc, char** argv, Options& options);

// What the options ask of a running wizard (for no request: come forward).
QJsonObject RequestFor(const Options& options);

// The running wizard's side: carries out a request through the controller
// and says how it went.
QJsonObject Answer(WizardControl& control, const QJsonObject& request);

// Prints a wizard's answer as the command line shows it (the state on
// standard output, a refusal on standard error) and returns the exit status.
// An empty answer is a wizard that did not answer in time.
int Report(const QJsonObject& answer, Mode mode);

} // namespace kivo::cli
