// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Trace of every platform call, in the spirit of WINEDEBUG=+relay.
//
// KIVO95_TRACE unset, empty or "0": off. "1": one line per call on stderr.
// Anything else: the path of a file the lines are appended to.
// A line starts with the call's name, then its arguments and its result:
//     RegSetValueExA(hkey=0x12, name="Tune", type=1, size=1) = 0
// Lines are written whole (one write per line) so that several threads and
// processes can trace into one file without tearing lines.
#pragma once

#include <string>
#include <string_view>

namespace kivo::trace {

// True when tracing is on. Cheap; callers test it before building a line.
bool enabled();

// Writes one line (a newline is appended).
void line(std::string_view text);

// A text made safe for a log line (the trace, standard error): control
// characters (C0, DEL and the C1 range), which a terminal would act on, are
// written as \n, \r, \t, \xNN or \u00NN, and so are bytes that are not
// UTF-8; a backslash is doubled. Other characters stay as they are.
std::string escape(std::string_view text);

// Quotes a text for a trace line: "..." around the escaped text, with \"
// for a double quote, and a null pointer written as NULL.
std::string quote(const char* text);
std::string quote(std::string_view text);

// Re-reads KIVO95_TRACE (tests change it at run time).
void reset();

}  // namespace kivo::trace
