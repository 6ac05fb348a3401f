// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A home of its own for a benchmark's wizard: settings, key store, runtime
// folder and simulated phonebook in a temporary folder, no sound device, no
// dial-up windows, and message boxes answered on standard error.
#pragma once

#include "components/RegFiles.h"
#include "platform/system/system.h"
#include "wizard/Stats.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kivo::bench
{

inline void writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(text);
}

// Before the application object exists.
inline void useHome(const QString& home, const QByteArray& phonebook)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").toLocal8Bit().constData(), 1);
    setenv("XDG_RUNTIME_DIR", home.toLocal8Bit().constData(), 1);
    setenv("KIVO95_REGISTRY", (home + "/registry.db").toLocal8Bit().constData(), 1);
    setenv("KIVO95_SOUND", "null", 1);
    setenv("KIVO95_DIALUP_WINDOWS", "0", 1);
    QDir().mkpath(home + "/config/kivo95");
    writeText(home + "/config/kivo95/phonebook.pbk", phonebook);
}

// Once the application object exists: an installed wizard with this tune.
inline void installed(const std::string& tune)
{
    kivo::sys::setMessageBoxHook([](const kivo::sys::MessageBoxRequest& r) {
        std::fprintf(stderr, "message box: %s\n", r.text.c_str());
        return IDOK;
    });
    TRegFile reg;
    reg.setRootKey(hkLocalMachine);
    reg.setKey(kivo::reg::AppKey);
    reg.WriteValue(kivo::reg::PDTCaption, Variant("Post-Dial Terminal Screen"));
    reg.WriteValue(kivo::reg::Tune, Variant(tune));
    reg.WriteValue(kivo::reg::ShowWelcome, Variant(std::int32_t(1)));
}

} // namespace kivo::bench
