// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The program's licence, named in one place for the about box and for
// `kivo95 --version`. The SPDX identifier matches LICENSES/ and the package's
// copyright file.
#pragma once

#include <QCoreApplication>
#include <QString>

namespace kivo::licence
{

inline constexpr char kSpdxId[] = "GPL-3.0-or-later";
inline constexpr char kCopyrightHolder[] = "2026 KIVO95 Wizard developers";

// "Copyright (C) 2026 KIVO95 Wizard developers", in the user's language.
inline QString CopyrightLine()
{
    return QCoreApplication::translate("Licence", "Copyright (C) %1").arg(QLatin1String(kCopyrightHolder));
}

// The lines `--version` prints after the program's name and version, as GNU
// programs do: who holds the copyright, the licence and the warranty.
inline QString VersionNotice()
{
    return CopyrightLine() + u'\n' +
           QCoreApplication::translate(
               "Licence", "License %1: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
                          "This is free software: you are free to change and redistribute it.\n"
                          "There is NO WARRANTY, to the extent permitted by law.")
               .arg(QLatin1String(kSpdxId));
}

// The about box's one-paragraph notice.
inline QString AboutNotice()
{
    return QCoreApplication::translate(
               "Licence", "Free software under the GNU General Public License, version 3 or later "
                          "(%1), without any warranty.")
        .arg(QLatin1String(kSpdxId));
}

} // namespace kivo::licence
