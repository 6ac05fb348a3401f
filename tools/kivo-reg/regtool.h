// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The kivo-reg command line: query, add, delete, export and import on the
// key store, in the manner of reg.exe.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kivo::reg
{

constexpr int kExitOk = 0;
constexpr int kExitError = 1; // the command was understood but failed
constexpr int kExitUsage = 2; // the command line itself is wrong

// Runs one command (the arguments after the program name) and returns the
// exit code. Results go to out, messages to err.
int runTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace kivo::reg
