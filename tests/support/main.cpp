// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Test main: a QApplication (offscreen unless QT_QPA_PLATFORM says
// otherwise) and a private key store, so no test touches the user's files.
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

// The default application object; a layer whose code needs its own
// application class defines kivo::test::makeApplication in its tests.
__attribute__((weak)) QApplication* kivo::test::makeApplication(int& argc, char** argv)
{
    return new QApplication(argc, argv);
}

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Everything a test writes under XDG directories lands in a fresh folder.
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit().constData(), 1);
    setenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit().constData(), 1);
    setenv("XDG_CACHE_HOME", (home.path() + "/cache").toLocal8Bit().constData(), 1);
    setenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit().constData(), 1);
    setenv("KIVO95_REGISTRY", (home.path() + "/registry.db").toLocal8Bit().constData(), 1);
    // No test reaches the machine's NetworkManager either (the RAS layer
    // would choose it): those that need one start their own system bus.
    setenv("DBUS_SYSTEM_BUS_ADDRESS",
           ("unix:path=" + home.path() + "/no-system-bus").toLocal8Bit().constData(), 1);
    // Nor the user's session bus: a wizard started by a test would take its
    // name there and show its notifications on the user's desktop. Tests of
    // the wizard on D-Bus start a session bus of their own.
    setenv("DBUS_SESSION_BUS_ADDRESS",
           ("unix:path=" + home.path() + "/no-session-bus").toLocal8Bit().constData(), 1);
    // The simulated dial service, whatever this machine has configured: a
    // developer's own NetworkManager profiles or pppd peers must not decide
    // what a test dials. Tests of the other backends choose them themselves.
    if (!std::getenv("KIVO95_RAS"))
        setenv("KIVO95_RAS", "sim", 1);
    if (!std::getenv("KIVO95_SOUND"))
        setenv("KIVO95_SOUND", "null", 1);
    // English, the language of the texts tests compare, whatever the
    // developer's locale says; a test of a translation asks for it itself.
    setenv("LANGUAGE", "en", 1);
    std::unique_ptr<QApplication> app(kivo::test::makeApplication(argc, argv));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
