// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/FormFont.h"

namespace kivo
{

QFont FormFont()
{
    QFont f;
    f.setFamilies({"MS Sans Serif", "Liberation Sans", "Arimo", "Arial", "Nimbus Sans", "Helvetica",
                   "DejaVu Sans", "Sans Serif"});
    f.setPixelSize(11);
    return f;
}

} // namespace kivo
