// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Running the kivo-reg program as a user runs it, for the tool tests.
#pragma once

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <string>
#include <sys/resource.h>

namespace kivo::test
{

struct Result {
    int code;
    std::string out;
    std::string err;
};

// Runs build/bin/kivo-reg on the test's own key store (KIVO95_REGISTRY is
// inherited from this process), its heap limited to dataLimit bytes if given.
inline Result kivoReg(const QStringList& args, rlim_t dataLimit = 0)
{
    QProcess p;
    if (dataLimit)
        p.setChildProcessModifier([dataLimit] {
            const rlimit limit{dataLimit, dataLimit};
            setrlimit(RLIMIT_DATA, &limit);
        });
    p.start(QStringLiteral(KIVO_BIN_DIR "/kivo-reg"), args);
    EXPECT_TRUE(p.waitForFinished(60000)) << "kivo-reg did not finish";
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

inline bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace kivo::test
