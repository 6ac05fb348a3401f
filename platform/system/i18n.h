// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The user's language: which of the program's translations is used, chosen
// once at start-up from the user's locale, and Qt's own translations (the
// standard buttons of message boxes and file dialogs) in the same language.
//
// The program's texts are written in English; a translation is a Qt
// Linguist file (translations/kivo95_LANG.ts) compiled into the program.
// Like gettext, the languages are taken in the order the user gave them
// (LANGUAGE=fr:de picks German when there is no French); unlike gettext,
// LANGUAGE also counts in the C locale, as Qt reads it. English anywhere in
// the list before a translated language means English.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include <string>

namespace kivo::i18n
{

// The translation for the first of the user's languages that has one, or
// an empty text for English. uiLanguages as QLocale::uiLanguages() gives
// them ("de-DE", "de", "en-US", "C").
QString ChooseLanguage(const QStringList& uiLanguages);

// The languages the program is translated into ("de", ...).
QStringList AvailableLanguages();

// Chooses the language (from the user's locale unless given), installs the
// program's translator and Qt's for it into the application, and returns
// the language ("" for English, when nothing is installed). Call once the
// application object exists and before any window is made. A second call
// replaces what the first installed.
QString InstallTranslators(const QStringList& uiLanguages = QLocale::system().uiLanguages());

// Takes out what InstallTranslators installed; the language is English again.
void RemoveTranslators();

// The language InstallTranslators chose ("" for English). The system layer
// reads module string tables in it (LoadStringA). Thread-safe.
std::string Language();

} // namespace kivo::i18n
