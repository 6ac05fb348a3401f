// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The application object, and where an exception thrown by an event handler
// ends: its message is shown in an error box and the handler is over, as a
// toolkit's default exception handler does. Handlers are run through guard()
// where they are wired, so their exceptions never unwind through Qt's code;
// notify() catches whatever other event code throws. Exceptions never travel
// on through Qt's event loop.
#pragma once

#include <QApplication>

#include <functional>
#include <string>

class KivoApplication : public QApplication
{
    Q_OBJECT
  public:
    KivoApplication(int& argc, char** argv);

    // The application title: caption of the error boxes. (Not Qt's display
    // name, which Qt would append to every window title.)
    static const std::string& Title();
    static void setTitle(const std::string& title);

    bool notify(QObject* receiver, QEvent* event) override;

    // Runs fn and reports an exception it throws: the wrapper of every event
    // handler, and of work called outside the event loop (the main window's
    // creation handler). Returns false when fn threw.
    static bool guard(const std::function<void()>& fn);

    // Shows the message of an exception that ended a handler: one error box
    // (caption Title(), error icon) owned by the active window. While such a
    // box is open, further reports are dropped rather than stacked.
    static void ShowException(const std::string& message);

    // How many reports were dropped because a box was open already.
    static int droppedReports();
};
