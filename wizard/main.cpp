// Program entry: the application title, the wizard window as main window,
// the message loop until that window closes, exit code 0.
#include "platform/dialup.h"
#include "platform/i18n.h"
#include "wizard/KivoApplication.h"
#include "wizard/Select.h"
#include "wizard/SingleInstance.h"

int main(int argc, char** argv)
{
    KivoApplication app(argc, argv);
    QCoreApplication::setApplicationName("kivo95");
    // Lets the desktop match the window to the menu entry and its icon.
    QGuiApplication::setDesktopFileName("org.kivo95.Wizard");
    KivoApplication::setTitle("KIVO95 Wizard");
    // The user's language (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), before any
    // text is made.
    kivo::i18n::InstallTranslators();

    // A second start only brings the running wizard forward.
    kivo::SingleInstance instance;
    if (instance.claim() == kivo::SingleInstance::Role::Secondary)
        return 0;

    // No system program shows the post-dial and "connected" windows on
    // Linux; the dial-up layer does (unless KIVO95_DIALUP_WINDOWS=0).
    kivo::dialup::Start();

    TfrmSelect form;
    frmSelect = &form;
    // A failure in the creation handler is reported; the window still shows.
    KivoApplication::guard([&] { form.FormCreate(&form); });
    if (form.Terminated())
        return 0;

    QObject::connect(&instance, &kivo::SingleInstance::activationRequested, &form, [&form] {
        form.showNormal();
        form.raise();
        form.activateWindow();
    });
    QObject::connect(&form, &TfrmSelect::closed, &app, &QCoreApplication::quit);
    form.show();
    app.exec();
    return 0;
}
