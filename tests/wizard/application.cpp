// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The wizard's tests run under the wizard's own application object, so that
// handler exceptions end where they end in the program.
#include "tests/support/testsupport.h"
#include "wizard/KivoApplication.h"

QApplication* kivo::test::makeApplication(int& argc, char** argv)
{
    auto* app = new KivoApplication(argc, argv);
    KivoApplication::setTitle("KIVO95 Wizard");
    return app;
}
