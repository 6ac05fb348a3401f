// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// kivo-reg's texts for users: translated through Qt (context KivoReg), with
// %1, %2, ... filled in from bytes as they are (names, file names), never
// through a printf format.
#pragma once

#include <QCoreApplication>

#include <initializer_list>
#include <string>
#include <string_view>

class KivoReg
{
    Q_DECLARE_TR_FUNCTIONS(KivoReg)
};

namespace kivo::reg
{

// The translated text with %1 ... %9 replaced by args; "%%" is a percent sign.
std::string message(const QString& text, std::initializer_list<std::string_view> args = {});

} // namespace kivo::reg
