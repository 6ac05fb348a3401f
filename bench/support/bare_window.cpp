// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The floor of the start-up benchmark: a bare Qt window with one label,
// nothing else. Runs until it is killed.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("A bare Qt window"));
    label.resize(467, 322);
    label.show();
    return app.exec();
}
