// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The program's version, in one place for --version (the licence is in
// wizard/Licence.h).
#pragma once

namespace kivo::program
{

// The project's version (CMake's project(VERSION)).
inline constexpr char kVersion[] = KIVO95_VERSION;

} // namespace kivo::program
