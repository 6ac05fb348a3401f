// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The font of the wizard's windows.
#pragma once

#include <QFont>
#include <QStringList>

namespace kivo
{

// "MS Sans Serif" 8 pt is 11 pixels high; the first of a list of similar
// families that is installed stands in for it, at that pixel height, so
// that the windows' fixed layouts fit.
QFont FormFont();

} // namespace kivo
