// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Formatting of texts whose format comes from outside the program (a string
// table, the registry): only "%s" is substituted, never through printf, so a
// stray "%n" or "%x" in the format can do no harm.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace kivo
{

// Replaces each "%s" of format, in order, with the next argument ("" when the
// arguments run out) and "%%" with "%". Every other character, including any
// other "%" sequence, is copied unchanged.
std::string FormatS(std::string_view format, std::initializer_list<std::string_view> args);

} // namespace kivo
