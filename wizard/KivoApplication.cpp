// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/KivoApplication.h"

#include "platform/system/system.h"
#include "platform/system/trace.h"

#include <QLoggingCategory>

#include <exception>

Q_LOGGING_CATEGORY(lcWizard, "kivo.wizard")

namespace
{

std::string& title()
{
    static std::string t;
    return t;
}

bool g_boxOpen = false;
int g_dropped = 0;

} // namespace

KivoApplication::KivoApplication(int& argc, char** argv) : QApplication(argc, argv)
{
}

const std::string& KivoApplication::Title()
{
    return title();
}

void KivoApplication::setTitle(const std::string& t)
{
    title() = t;
}

bool KivoApplication::notify(QObject* receiver, QEvent* event)
{
    // The last line of defence: handlers are guarded where they are wired,
    // so only an exception from some other event code arrives here (having
    // crossed Qt's own frames already).
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException(tr("Unknown exception").toLocal8Bit().toStdString());
    }
    return false;
}

bool KivoApplication::guard(const std::function<void()>& fn)
{
    try {
        fn();
        return true;
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException(tr("Unknown exception").toLocal8Bit().toStdString());
    }
    return false;
}

void KivoApplication::ShowException(const std::string& message)
{
    if (g_boxOpen) {
        // The box runs its own event loop, where another handler may fail
        // again and again; one box on the screen is enough.
        ++g_dropped;
        qCWarning(lcWizard, "exception while an error box is open: %s", kivo::trace::escape(message).c_str());
        return;
    }
    g_boxOpen = true;
    struct Reset {
        ~Reset() { g_boxOpen = false; }
    } reset;
    MessageBoxA(kivo::sys::hwndOf(QApplication::activeWindow()), message.c_str(), title().c_str(),
                MB_OK | MB_ICONERROR);
}

int KivoApplication::droppedReports()
{
    return g_dropped;
}
