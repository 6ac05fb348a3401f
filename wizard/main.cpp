// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Program entry: the command line, then the application title, the wizard
// window as main window, the message loop until that window closes, exit
// code 0.
#include "platform/desktop/dialup.h"
#include "platform/system/i18n.h"
#include "wizard/CommandLine.h"
#include "wizard/DesktopNotifier.h"
#include "wizard/KivoApplication.h"
#include "wizard/Select.h"
#include "wizard/SessionEnd.h"
#include "wizard/SingleInstance.h"
#include "wizard/WizardBus.h"
#include "wizard/WizardControl.h"

#include <QDBusConnection>

#include <cstdio>

int main(int argc, char** argv)
{
    // --help, --version, a wrong command line and the requests a running
    // wizard answers end here, without a display.
    kivo::cli::Options options;
    if (const std::optional<int> status = kivo::cli::RunWithoutWindow(argc, argv, options))
        return *status;

    KivoApplication app(argc, argv);
    QCoreApplication::setApplicationName("kivo95");
    // Lets the desktop match the window to the menu entry and its icon.
    QGuiApplication::setDesktopFileName("org.kivo95.Wizard");
    KivoApplication::setTitle("KIVO95 Wizard");
    // The user's language (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), before any
    // text is made.
    kivo::i18n::InstallTranslators();

    // A second start only brings the running wizard forward, or hands it
    // what the command line asks (a wizard may have started meanwhile).
    kivo::SingleInstance instance;
    if (instance.claim(kivo::cli::RequestFor(options)) == kivo::SingleInstance::Role::Secondary)
        return kivo::cli::Report(instance.reply(), options.mode);

    // No system program shows the post-dial and "connected" windows on
    // Linux; the dial-up layer does (unless KIVO95_DIALUP_WINDOWS=0).
    kivo::dialup::Start();

    TfrmSelect form;
    frmSelect = &form;
    // A failure in the creation handler is reported; the window still shows.
    KivoApplication::guard([&] { form.FormCreate(&form); });
    if (form.Terminated())
        return 0;

    // Later starts and the session bus reach the wizard through one
    // controller, which also sends the desktop notifications.
    kivo::WizardControl control(&form);
    // kivo95 --dial: this wizard's own request, answered as a later one
    // would be; a refused one ends the program before its window shows.
    if (options.mode == kivo::cli::Mode::Dial) {
        const QJsonObject request = kivo::cli::RequestFor(options);
        if (const int status = kivo::cli::Report(kivo::cli::Answer(control, request), options.mode))
            return status;
    }
    const QDBusConnection session = QDBusConnection::sessionBus();
    kivo::DesktopNotifier notifier(session);
    control.setNotifier(&notifier);
    kivo::WizardBus bus(&control);
    if (const QString why = bus.registerOn(session); !why.isEmpty())
        std::fprintf(
            stderr, "kivo95: %s\n",
            qUtf8Printable(
                QCoreApplication::translate("main", "%1; the wizard runs without D-Bus control").arg(why)));
    instance.setRequestHandler(
        [&control](const QJsonObject& request) { return kivo::cli::Answer(control, request); });

    QObject::connect(&instance, &kivo::SingleInstance::activationRequested, &form,
                     [&form] { form.ShowAndRestore(); });
    QObject::connect(&form, &TfrmSelect::closed, &app, &QCoreApplication::quit);
    // A logout, kill, Ctrl+C or a lost display closes it as Close does.
    kivo::CloseWhenSessionEnds(form);
    form.show();
    app.exec();
    return 0;
}
