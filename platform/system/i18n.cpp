// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/system/i18n.h"

#include "platform/system/trace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTranslator>

#include <memory>
#include <mutex>

namespace kivo::i18n
{
namespace
{

// The compiled translations are resources of the program (translations/).
const QString kResourceDir = QStringLiteral(":/i18n");
const QString kPrefix = QStringLiteral("kivo95_");

struct Installed {
    std::mutex lock;
    std::string language;
    std::unique_ptr<QTranslator> own;
    std::unique_ptr<QTranslator> qt;
};

Installed& installed()
{
    static Installed s;
    return s;
}

void removeLocked(Installed& s)
{
    for (std::unique_ptr<QTranslator>* t : {&s.own, &s.qt}) {
        if (*t && QCoreApplication::instance())
            QCoreApplication::removeTranslator(t->get());
        t->reset();
    }
    s.language.clear();
}

} // namespace

QStringList AvailableLanguages()
{
    QStringList languages;
    const QStringList files =
        QDir(kResourceDir).entryList({kPrefix + QStringLiteral("*.qm")}, QDir::Files, QDir::Name);
    for (const QString& file : files)
        languages << QFileInfo(file).completeBaseName().mid(kPrefix.size());
    return languages;
}

QString ChooseLanguage(const QStringList& uiLanguages)
{
    const QStringList available = AvailableLanguages();
    for (const QString& name : uiLanguages) {
        // "de-Latn-AT" and "de_AT.UTF-8" are both German.
        const QString language = name.section(QRegularExpression(QStringLiteral("[-_.@]")), 0, 0).toLower();
        // The texts are written in English; C and POSIX are the untranslated locale.
        if (language == u"en" || language == u"c" || language == u"posix")
            return QString();
        if (available.contains(language))
            return language;
    }
    return QString();
}

QString InstallTranslators(const QStringList& uiLanguages)
{
    const QString language = ChooseLanguage(uiLanguages);
    Installed& s = installed();
    std::lock_guard g(s.lock);
    removeLocked(s);
    if (!language.isEmpty()) {
        s.own = std::make_unique<QTranslator>();
        if (s.own->load(kPrefix + language, kResourceDir)) {
            QCoreApplication::installTranslator(s.own.get());
            s.language = language.toStdString();
        } else {
            s.own.reset();
        }
    }
    // Qt's own texts (Yes, No, Cancel, the file dialog) from Debian's
    // qt6-translations-l10n; without it they stay English.
    if (!s.language.empty()) {
        s.qt = std::make_unique<QTranslator>();
        if (s.qt->load(QStringLiteral("qtbase_") + language,
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(s.qt.get());
        else
            s.qt.reset();
    }
    if (kivo::trace::enabled())
        kivo::trace::line("i18n: languages " + uiLanguages.join(u',').toStdString() + " -> " +
                          (s.language.empty() ? std::string("en") : s.language) +
                          (s.language.empty() || s.qt ? "" : " (no Qt translation)"));
    return QString::fromStdString(s.language);
}

void RemoveTranslators()
{
    Installed& s = installed();
    std::lock_guard g(s.lock);
    removeLocked(s);
}

std::string Language()
{
    Installed& s = installed();
    std::lock_guard g(s.lock);
    return s.language;
}

} // namespace kivo::i18n
