// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The phonebook of the simulated RAS service: an INI file, one section per
// entry, with what a phonebook holds (number, device) and the keys that
// script what the simulated line does on each attempt. The format is
// described for users in the README.
#pragma once

#include "platform/system/win32types.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kivo::ras::sim
{

enum class Outcome { Connect, Busy, NoAnswer, NoDialTone, BadPassword, Fail };

struct Attempt {
    Outcome outcome = Outcome::Connect;
    DWORD code = 0; // the error of Outcome::Fail
};

struct Entry {
    std::string name;
    std::string phoneNumber;
    std::string device = "Standard Modem";
    std::string deviceType = "modem";
    std::vector<Attempt> outcomes{Attempt{}}; // cycled attempt by attempt
    int stepMs = 300;
    double dropAfterSeconds = 0; // 0: stays up until hung up
};

// A line that was skipped, for the report on stderr.
struct Problem {
    int line = 0;
    std::string message;
};

struct Phonebook {
    std::vector<Entry> entries; // in file order
    std::vector<Problem> problems;
    // Where each entry is in entries, by its case-folded name.
    std::unordered_map<std::string, std::size_t> index;

    // Entry names are compared ignoring letter case, as RAS does.
    const Entry* find(std::string_view name) const;
};

// The form entry names are compared in.
std::string foldName(std::string_view name);

// Never fails: what cannot be understood is skipped and listed in problems.
Phonebook parsePhonebook(std::string_view text);

// One step of a simulated dial: the state reported after delayMs, with its
// error (0 while all goes well).
struct Step {
    DWORD state;
    DWORD error;
    int delayMs;
};

// The steps of an attempt, from the open port to the connection (and the
// drop, when the entry has one) or to the failure.
std::vector<Step> script(const Entry& entry, const Attempt& attempt);

} // namespace kivo::ras::sim
