// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the wizard keeps in the registry, and the texts it keeps there.
//
// Everything lives below HKEY_LOCAL_MACHINE in the application key: three
// settings, and one sub-key per phonebook entry with four statistics.
// kivo::reg::Layout is the one description of those values; handlers take
// names, types and defaults from it rather than spelling them again.
#pragma once

#include "components/RegFiles.h"

#include <QDateTime>
#include <QLocale>

#include <cstdint>
#include <string>
#include <string_view>

// Duration text: hours, minutes, seconds, each at least two digits
// ("100:00:00" is a hundred hours).
std::string SecsToStr(int seconds);

// Reads a duration text back: "h:m:s" with any number of digits per field
// and no range checks ("00:75:00" is 4500). A part that is not an integer
// raises EConvertError.
int StrToSecs(const std::string& text);

// The moment of a connection as stored in LastAccess: the locale's short
// date, " - ", the time of day (see TimeToStr).
std::string DateText(const QDateTime& moment, const QLocale& locale = QLocale::system());

// The running connection time shown on the Info page and in the tray
// tooltip: a time of day in the locale's manner, so it starts again after
// 24 hours (the statistics' LastTime does not). Negative input counts as 0.
std::string ElapsedText(std::int64_t seconds, const QLocale& locale = QLocale::system());

namespace kivo::reg
{

inline constexpr TRootKey Root = hkLocalMachine;
// Keeps its trailing backslash: entry keys are formed by appending the name.
inline constexpr char AppKey[] = "SOFTWARE\\Morvel\\KIVO-WIZ\\";

// The key of an entry's statistics; the name is appended as it is.
std::string EntryKey(const std::string& entryName);

// Settings, under AppKey.
inline constexpr char PDTCaption[] = "PDTCaption";
inline constexpr char Tune[] = "Tune";
inline constexpr char ShowWelcome[] = "ShowWelcome";
// Statistics, under each EntryKey.
inline constexpr char LastAccess[] = "LastAccess";
inline constexpr char TotalTime[] = "TotalTime";
inline constexpr char LastTime[] = "LastTime";
inline constexpr char Accesses[] = "Accesses";

// LastAccess of an entry never connected to; a fixed text, not a date.
inline constexpr char NeverAccessed[] = "00/00/00";

enum class Scope { Settings, Entry };

struct Value {
    const char* name;
    Scope scope;
    DWORD type;              // REG_SZ or REG_DWORD
    const char* defaultText; // REG_SZ: the value written when missing; nullptr: no fixed default
    std::int32_t defaultInt; // REG_DWORD: the value written when missing

    bool hasDefault() const { return type == REG_DWORD || defaultText != nullptr; }
    // The default as the settings value to write; raises std::logic_error
    // for a value without a fixed default (PDTCaption comes from the
    // installation file).
    Variant Default() const;
};

// Settings in the order start-up makes sure of them, then the statistics in
// the order a new entry receives them.
inline constexpr Value Layout[] = {
    {PDTCaption, Scope::Settings, REG_SZ, nullptr, 0},
    {Tune, Scope::Settings, REG_SZ, "", 0},
    {ShowWelcome, Scope::Settings, REG_DWORD, nullptr, 1},
    {LastAccess, Scope::Entry, REG_SZ, NeverAccessed, 0},
    {TotalTime, Scope::Entry, REG_SZ, "00:00:00", 0},
    {LastTime, Scope::Entry, REG_SZ, "00:00:00", 0},
    {Accesses, Scope::Entry, REG_DWORD, nullptr, 0},
};

// The layout entry of a value name (exact spelling); raises
// std::out_of_range for a name the layout does not have.
const Value& Find(std::string_view name);

} // namespace kivo::reg
