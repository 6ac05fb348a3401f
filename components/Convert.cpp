// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "components/Convert.h"

#include <cctype>
#include <charconv>

namespace kivo
{

namespace
{

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexDigit(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<std::int32_t> ParseInt(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;
    // Hexadecimal texts spell a bit pattern (up to 32 bits), decimal ones a
    // magnitude that must fit the signed range.
    const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const int d = hex ? hexDigit(text[i]) : (isDigit(text[i]) ? text[i] - '0' : -1);
        if (d < 0)
            return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
        if (value > limit)
            return std::nullopt;
    }
    const auto bits = static_cast<std::uint32_t>(value);
    const auto result = static_cast<std::int32_t>(negative ? 0u - bits : bits);
    return result;
}

std::optional<double> ParseFloat(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    std::string_view t = text.substr(begin, end - begin);
    bool negative = false;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        negative = t[0] == '-';
        t.remove_prefix(1);
    }
    // Check the shape ourselves: from_chars would also take "inf", "nan"
    // and hexadecimal floats, which are not numbers a user types here.
    std::size_t i = 0;
    std::size_t digits = 0;
    while (i < t.size() && isDigit(t[i]))
        ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && isDigit(t[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '-' || t[i] == '+'))
            ++i;
        std::size_t expDigits = 0;
        while (i < t.size() && isDigit(t[i]))
            ++i, ++expDigits;
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != t.size())
        return std::nullopt;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || ptr != t.data() + t.size())
        return std::nullopt;
    return negative ? -value : value;
}

} // namespace kivo

std::int32_t StrToInt(const std::string& text)
{
    if (const auto v = kivo::ParseInt(text))
        return *v;
    throw EConvertError("'" + text + "' is not a valid integer value");
}

namespace
{

// What the locale's long-time format says about the hour field.
struct HourStyle {
    bool padded = false;
    bool twelveHour = false;
};

HourStyle hourStyle(const QString& format)
{
    HourStyle style;
    bool sawAmPm = false;
    bool lowerHour = false;
    bool sawHour = false;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if ((c == u'h' || c == u'H') && !sawHour) {
            sawHour = true;
            lowerHour = c == u'h';
            style.padded = i + 1 < format.size() && format.at(i + 1) == c;
        } else if (c == u'a' || c == u'A') {
            sawAmPm = true;
        }
    }
    // Qt's "h" counts 1 to 12 only when a designator is shown; "H" never does.
    style.twelveHour = sawAmPm && lowerHour;
    return style;
}

} // namespace

std::string TimeToStr(const QTime& time, const QLocale& locale)
{
    const HourStyle style = hourStyle(locale.timeFormat(QLocale::LongFormat));
    int hour = time.hour();
    QString designator;
    if (style.twelveHour) {
        designator = hour < 12 ? locale.amText() : locale.pmText();
        hour %= 12;
        if (hour == 0)
            hour = 12;
    }
    QString text = style.padded ? QStringLiteral("%1").arg(hour, 2, 10, QChar(u'0')) : QString::number(hour);
    text += QStringLiteral(":%1:%2")
                .arg(time.minute(), 2, 10, QChar(u'0'))
                .arg(time.second(), 2, 10, QChar(u'0'));
    if (style.twelveHour && !designator.isEmpty())
        text += u' ' + designator;
    return text.toStdString();
}

std::string DateToStr(const QDate& date, const QLocale& locale)
{
    return locale.toString(date, QLocale::ShortFormat).toStdString();
}
