// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/Stats.h"

#include "components/Convert.h"

#include <QTime>

#include <cstdio>
#include <stdexcept>

std::string SecsToStr(int seconds)
{
    const int m = seconds / 60;
    const int hours = m / 60;
    const int minutes = m - hours * 60;
    char text[48];
    std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d", hours, minutes, seconds % 60);
    return text;
}

int StrToSecs(const std::string& text)
{
    // A missing colon leaves the part empty, and the empty text is no
    // integer: a text without colons raises like any other bad part.
    std::string rest = text;
    auto takePart = [&rest]() {
        const auto colon = rest.find(':');
        std::string part = rest.substr(0, colon);
        rest.erase(0, colon == std::string::npos ? rest.size() : colon + 1);
        return part;
    };
    const std::string hoursText = takePart();
    const std::string minutesText = takePart();
    const std::int64_t total =
        std::int64_t(StrToInt(hoursText)) * 3600 + std::int64_t(StrToInt(minutesText)) * 60 + StrToInt(rest);
    // Beyond the integer range the sum would wrap into a plausible but wrong
    // duration; say instead that the text is no duration we can count.
    if (total < INT32_MIN || total > INT32_MAX)
        throw EConvertError("'" + text + "' is not a valid integer value");
    return static_cast<int>(total);
}

std::string DateText(const QDateTime& moment, const QLocale& locale)
{
    return DateToStr(moment.date(), locale) + " - " + TimeToStr(moment.time(), locale);
}

std::string ElapsedText(std::int64_t seconds, const QLocale& locale)
{
    const std::int64_t ofDay = seconds < 0 ? 0 : seconds % 86400;
    return TimeToStr(QTime::fromMSecsSinceStartOfDay(static_cast<int>(ofDay * 1000)), locale);
}

namespace kivo::reg
{

std::string EntryKey(const std::string& entryName)
{
    return AppKey + entryName;
}

Variant Value::Default() const
{
    if (type == REG_DWORD)
        return Variant(defaultInt);
    if (!defaultText)
        throw std::logic_error(std::string("no fixed default for ") + name);
    return Variant(defaultText);
}

const Value& Find(std::string_view name)
{
    for (const Value& v : Layout)
        if (name == v.name)
            return v;
    throw std::out_of_range("no registry value " + std::string(name));
}

} // namespace kivo::reg
