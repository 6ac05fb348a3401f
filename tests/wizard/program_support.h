// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The kivo95 program as a user starts it: a home of its own (settings,
// phonebook, runtime directory, an installed wizard's installation file),
// the long-running wizard and the short runs of its command line.
#pragma once

#include "components/RegFiles.h"
#include "tests/support/testsupport.h"
#include "wizard/Stats.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kivo::test
{

struct Finished {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::ostream& operator<<(std::ostream& os, const Finished& f)
{
    return os << "exit " << f.status << ", stdout \"" << f.out << "\", stderr \"" << f.err << "\"";
}

class ProgramHome
{
  public:
    // platform: the Qt platform the programs use ("offscreen", "xcb").
    explicit ProgramHome(const QString& platform = QStringLiteral("offscreen"))
    {
        const QString runtime = QString::fromStdString(home.file("run"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir().mkpath(QString::fromStdString(home.file("config/kivo95")));
        // Installed before: the installer does not run.
        writeFile(home.file("kivoinfo.pdt"), "Post-Dial Terminal Screen\n");
        env.insert("QT_QPA_PLATFORM", platform);
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(home.file("config")));
        env.insert("KIVO95_REGISTRY", QString::fromStdString(registry.path()));
        env.insert("KIVO95_RAS", "sim");
        env.insert("KIVO95_SOUND", "null");
        env.insert("KIVO95_DIALUP_WINDOWS", "0");
        env.insert("KIVO95_MESSAGEBOX", "default");
    }
    ~ProgramHome()
    {
        for (auto& p : m_wizards) {
            // A test's handlers may capture its locals, which are gone by
            // now; the output of a wizard on its way out reaches nobody.
            QObject::disconnect(p.get(), nullptr, nullptr, nullptr);
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(10000)) {
                    p->kill();
                    p->waitForFinished(5000);
                }
            }
        }
    }

    void phonebook(const std::string& text) { writeFile(home.file("config/kivo95/phonebook.pbk"), text); }

    // Starts a program that keeps running (the wizard); ended with the home.
    QProcess& start(const QString& program, const QStringList& arguments)
    {
        m_wizards.push_back(std::make_unique<QProcess>());
        QProcess& p = *m_wizards.back();
        prepare(p);
        p.start(program, arguments);
        EXPECT_TRUE(p.waitForStarted(10000)) << program.toStdString();
        return p;
    }
    QProcess& startWizard(const QStringList& arguments) { return start(KIVO_BIN_DIR "/kivo95", arguments); }

    // Runs a program to its end.
    Finished run(const QString& program, const QStringList& arguments, int timeoutMs = 60000)
    {
        QProcess p;
        prepare(p);
        p.start(program, arguments);
        Finished f;
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished(5000);
            f.err = "did not end: " + program.toStdString();
            return f;
        }
        f.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        f.out = p.readAllStandardOutput().toStdString();
        f.err = p.readAllStandardError().toStdString();
        return f;
    }
    Finished kivo95(const QStringList& arguments) { return run(KIVO_BIN_DIR "/kivo95", arguments); }

    int accesses(const std::string& entry)
    {
        TRegFile reg;
        reg.setRootKey(hkLocalMachine);
        reg.setKey(kivo::reg::EntryKey(entry));
        const Variant v = reg.ReadValue(kivo::reg::Accesses);
        return v.isNull() ? 0 : v.toInt();
    }

    TempRegistry registry; // also this process's key store, to read the statistics
    TempDir home;
    // Set for the programs on top of this process's environment at the time
    // they start (a private bus or X server the test started meanwhile).
    QProcessEnvironment env;

  private:
    void prepare(QProcess& p)
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const QString& key : env.keys())
            e.insert(key, env.value(key));
        p.setProcessEnvironment(e);
        p.setWorkingDirectory(QString::fromStdString(home.path()));
    }
    std::vector<std::unique_ptr<QProcess>> m_wizards;
};

} // namespace kivo::test
