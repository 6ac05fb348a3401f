// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Text-to-number conversions with the rules users of the program know from
// its settings and statistics texts: leading blanks and a sign are allowed,
// '$' or "0x" starts a hexadecimal number, nothing may follow the digits.
#pragma once

#include <QDate>
#include <QLocale>
#include <QTime>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The standard conversion error ("'x' is not a valid integer value").
class EConvertError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

namespace kivo
{

// The 32-bit integer the text spells, or nothing when it spells none (also
// on overflow). Hexadecimal texts may use all 32 bits ("$FFFFFFFF" is -1).
std::optional<std::int32_t> ParseInt(std::string_view text);

// A decimal floating-point text ('.' as separator, optional exponent),
// with the same blank and sign rules.
std::optional<double> ParseFloat(std::string_view text);

} // namespace kivo

// The time of day in the locale's long-time manner: the hour (two digits
// only when the locale pads it), two-digit minutes and seconds, and with a
// 12-hour clock a blank and the morning/afternoon designator. The locale's
// time-zone field is left out: the texts describe a moment on this machine.
std::string TimeToStr(const QTime& time, const QLocale& locale = QLocale::system());

// The date in the locale's short date format.
std::string DateToStr(const QDate& date, const QLocale& locale = QLocale::system());

// ParseInt that raises EConvertError for a text that is not an integer.
std::int32_t StrToInt(const std::string& text);
