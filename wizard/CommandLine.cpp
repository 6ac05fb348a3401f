// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/CommandLine.h"

#include "platform/system/i18n.h"
#include "wizard/KivoApplication.h"
#include "wizard/Licence.h"
#include "wizard/ProgramInfo.h"
#include "wizard/SingleInstance.h"
#include "wizard/WizardControl.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QScopeGuard>

#include <cstdio>

// The context of the command line's texts, for the translators.
class CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)
};

namespace kivo::cli
{

namespace
{

void out(const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
}

void err(const QString& text)
{
    std::fputs("kivo95: ", stderr);
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
}

// Qt's own options for a graphical program, which QApplication takes from
// the command line itself: accepted here so that they still reach it.
const char* const kQtValueOptions[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin", "display",   "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "style",  "stylesheet"};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

QJsonObject refusal(int exitStatus, const QString& message)
{
    return {{QStringLiteral("ok"), false},
            {QStringLiteral("exit"), exitStatus},
            {QStringLiteral("message"), message}};
}

} // namespace

std::optional<int> RunWithoutWindow(int argc, char** argv, Options& options)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kivo95"));
    QCoreApplication::setApplicationVersion(QLatin1String(kivo::program::kVersion));
    // The user's language for the help and the messages; taken out again
    // before this application object goes (the wizard's own installs them anew).
    kivo::i18n::InstallTranslators();
    const auto removeTranslators = qScopeGuard([] { kivo::i18n::RemoveTranslators(); });

    QCommandLineParser parser;
    // -platform and the other options of Qt are one word after one dash.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(CommandLine::tr(
        "KIVO95 Wizard dials one or more dial-up connection entries in turn, starting over after "
        "the last, until one connects. Without options it opens the wizard window; a wizard that "
        "runs already comes to the front."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  CommandLine::tr("Show this help."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     CommandLine::tr("Show the version and the licence."));
    const QCommandLineOption dial(
        QStringLiteral("dial"),
        CommandLine::tr(
            "Dial the entries named after the options, as if they had been selected and Next pressed "
            "on the confirmation page; the wizard starts if it does not run."));
    const QCommandLineOption tune(
        QStringLiteral("tune"),
        CommandLine::tr("With --dial: play FILE (a WAV file) when connected; it becomes the "
                        "wizard's tune."),
        QStringLiteral("FILE"));
    const QCommandLineOption hangUp(
        QStringLiteral("hang-up"),
        CommandLine::tr("Hang up the running wizard's connection, or abort its dialing."));
    const QCommandLineOption status(
        QStringLiteral("status"),
        CommandLine::tr(
            "Print what the running wizard does: idle, dialing (entry, attempt, last error) or connected "
            "(entry, time)."));
    for (const QCommandLineOption& o : {help, version, dial, tune, hangUp, status})
        parser.addOption(o);
    for (const char* name : kQtValueOptions) {
        QCommandLineOption o(QLatin1String(name), QString(), QStringLiteral("value"));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
    for (const char* name : kQtFlagOptions) {
        QCommandLineOption o{QLatin1String(name)};
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
    parser.addPositionalArgument(QStringLiteral("entries"),
                                 CommandLine::tr("With --dial: the phonebook entries to dial."),
                                 QStringLiteral("[ENTRY...]"));

    const auto usage = [](const QString& message) {
        err(message);
        std::fputs(CommandLine::tr("Try \"kivo95 --help\".").toLocal8Bit().constData(), stderr);
        std::fputc('\n', stderr);
        return kExitUsage;
    };
    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return kExitOk;
    }
    if (parser.isSet(version)) {
        out(QStringLiteral("kivo95 %1").arg(QLatin1String(kivo::program::kVersion)));
        out(kivo::licence::VersionNotice());
        return kExitOk;
    }

    const int requests = int(parser.isSet(dial)) + int(parser.isSet(hangUp)) + int(parser.isSet(status));
    if (requests > 1)
        return usage(CommandLine::tr("--dial, --hang-up and --status go one at a time."));
    options.entries = parser.positionalArguments();
    if (parser.isSet(dial)) {
        options.mode = Mode::Dial;
        if (options.entries.isEmpty())
            return usage(CommandLine::tr("--dial needs the names of the entries to dial."));
        if (const QString file = parser.value(tune); !file.isEmpty())
            options.tune = QFileInfo(file).absoluteFilePath();
    } else {
        if (!options.entries.isEmpty())
            return usage(CommandLine::tr("Entries are named only with --dial: %1")
                             .arg(options.entries.join(QLatin1Char(' '))));
        if (parser.isSet(tune))
            return usage(CommandLine::tr("--tune goes with --dial."));
        if (parser.isSet(hangUp))
            options.mode = Mode::HangUp;
        else if (parser.isSet(status))
            options.mode = Mode::Status;
    }
    if (options.mode == Mode::Wizard)
        return std::nullopt;

    const std::optional<QJsonObject> answer = SingleInstance().ask(RequestFor(options));
    if (answer)
        return Report(*answer, options.mode);
    switch (options.mode) {
    case Mode::Status:
        out(CommandLine::tr("no wizard runs"));
        return kExitFailed;
    case Mode::HangUp:
        err(CommandLine::tr("no wizard runs"));
        return kExitFailed;
    case Mode::Dial:
    case Mode::Wizard:
        break;
    }
    // This process becomes the wizard that dials.
    return std::nullopt;
}

QJsonObject RequestFor(const Options& options)
{
    switch (options.mode) {
    case Mode::Dial:
        return {{QStringLiteral("request"), QStringLiteral("dial")},
                {QStringLiteral("entries"), QJsonArray::fromStringList(options.entries)},
                {QStringLiteral("tune"), options.tune}};
    case Mode::HangUp:
        return {{QStringLiteral("request"), QStringLiteral("hang-up")}};
    case Mode::Status:
        return {{QStringLiteral("request"), QStringLiteral("status")}};
    case Mode::Wizard:
        break;
    }
    return SingleInstance::activateRequest();
}

QJsonObject Answer(WizardControl& control, const QJsonObject& request)
{
    const QString what = request.value(QStringLiteral("request")).toString();
    const QJsonObject done{{QStringLiteral("ok"), true}};
    if (what == QLatin1String("dial")) {
        QStringList entries;
        for (const QJsonValue& v : request.value(QStringLiteral("entries")).toArray())
            entries << v.toString();
        WizardControl::Outcome outcome{WizardControl::Outcome::Busy, {}};
        if (!KivoApplication::guard(
                [&] { outcome = control.Dial(entries, request.value(QStringLiteral("tune")).toString()); }))
            return refusal(kExitFailed, CommandLine::tr("The wizard could not take the request."));
        if (outcome)
            return done;
        return refusal(outcome.kind == WizardControl::Outcome::Busy ? kExitFailed : kExitUsage,
                       outcome.message);
    }
    if (what == QLatin1String("hang-up")) {
        KivoApplication::guard([&] { control.HangUp(); });
        return done;
    }
    if (what == QLatin1String("status"))
        return {{QStringLiteral("ok"), true},
                {QStringLiteral("state"), control.State()},
                {QStringLiteral("status"), control.StatusText()}};
    return refusal(kExitUsage,
                   CommandLine::tr("The running wizard does not know the request \"%1\".").arg(what));
}

int Report(const QJsonObject& answer, Mode mode)
{
    // The activation needs no answer.
    if (mode == Mode::Wizard)
        return kExitOk;
    if (answer.isEmpty()) {
        err(CommandLine::tr("the running wizard did not answer"));
        return kExitFailed;
    }
    if (!answer.value(QStringLiteral("ok")).toBool()) {
        const QString message = answer.value(QStringLiteral("message")).toString();
        err(message.isEmpty() ? CommandLine::tr("the running wizard cannot do this") : message);
        return answer.value(QStringLiteral("exit")).toInt(kExitFailed);
    }
    if (mode == Mode::Status)
        out(answer.value(QStringLiteral("status")).toString());
    return kExitOk;
}

} // namespace kivo::cli
