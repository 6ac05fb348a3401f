// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "components/Variant.h"

#include "components/Convert.h"

#include <QCoreApplication>
#include <QDate>
#include <QTime>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace
{

const char* typeName(std::uint16_t tag)
{
    switch (tag) {
    case varEmpty:
        return "Empty";
    case varNull:
        return "Null";
    case varSmallint:
        return "Smallint";
    case varInteger:
        return "Integer";
    case varSingle:
        return "Single";
    case varDouble:
        return "Double";
    case varCurrency:
        return "Currency";
    case varDate:
        return "Date";
    case varOleStr:
        return "OleStr";
    case varDispatch:
        return "Dispatch";
    case varError:
        return "Error";
    case varBoolean:
        return "Boolean";
    case varVariant:
        return "Variant";
    case varUnknown:
        return "Unknown";
    case varByte:
        return "Byte";
    case varString:
        return "String";
    default:
        return "Unknown";
    }
}

// The messages come in the user's language; the type names are the
// toolkit's own and stay as they are.
[[noreturn]] void castError(std::uint16_t from, const char* to)
{
    throw EVariantError(
        QCoreApplication::translate("Variant", "Could not convert variant of type (%1) into type (%2)")
            .arg(QLatin1String(typeName(from)), QLatin1String(to))
            .toStdString());
}

[[noreturn]] void overflowError(std::uint16_t from, const char* to)
{
    throw EVariantError(QCoreApplication::translate(
                            "Variant", "Overflow while converting variant of type (%1) into type (%2)")
                            .arg(QLatin1String(typeName(from)), QLatin1String(to))
                            .toStdString());
}

// Round half to even, as OLE Automation converts floating values to integers.
std::optional<std::int32_t> roundToInt(double v)
{
    const double r = std::nearbyint(v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        return std::nullopt;
    return static_cast<std::int32_t>(r);
}

std::int64_t currencyToWhole(std::int64_t scaled)
{
    std::int64_t q = scaled / 10000;
    const std::int64_t rem = scaled % 10000;
    const std::int64_t absRem = rem < 0 ? -rem : rem;
    if (absRem > 5000 || (absRem == 5000 && (q % 2) != 0))
        q += rem < 0 ? -1 : 1;
    return q;
}

// Boolean words a text may spell when it is converted to a number.
std::optional<std::int32_t> boolWord(std::string_view text)
{
    std::string lower;
    for (char c : text)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower == "true")
        return -1;
    if (lower == "false")
        return 0;
    return std::nullopt;
}

// General number format with the given significant digits: no trailing
// zeros, scientific only for very large or small magnitudes ("1E20",
// "1E-5"). '.' is the separator whatever the locale, so that the text
// reads back the same on every machine.
std::string floatText(double v, int precision)
{
    if (std::isnan(v))
        return "NAN";
    if (std::isinf(v))
        return v < 0 ? "-INF" : "INF";
    if (v == 0)
        return "0";
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
    std::string s(buf, res.ptr);
    const auto e = s.find('e');
    if (e == std::string::npos)
        return s;
    std::string mantissa = s.substr(0, e);
    const bool negExp = s[e + 1] == '-';
    std::string digits = s.substr(e + 2);
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    return mantissa + "E" + (negExp ? "-" : "") + digits;
}

std::string currencyText(std::int64_t scaled)
{
    const bool negative = scaled < 0;
    const std::uint64_t mag = negative ? 0 - static_cast<std::uint64_t>(scaled) : scaled;
    std::string s = std::to_string(mag / 10000);
    std::string frac = std::to_string(mag % 10000 + 10000).substr(1);
    while (!frac.empty() && frac.back() == '0')
        frac.pop_back();
    if (!frac.empty())
        s += "." + frac;
    return negative ? "-" + s : s;
}

// Date-time (days since 30 December 1899, time of day as fraction) as the
// locale's short date, followed by the time unless it is midnight.
std::string dateTimeText(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > 3e6)
        return floatText(value, 15);
    const double days = std::trunc(value);
    auto ms = static_cast<std::int64_t>(std::llround(std::fabs(value - days) * 86400000.0));
    ms = std::min<std::int64_t>(ms, 86399999);
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(days));
    const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
    std::string text = DateToStr(date);
    if (time.hour() != 0 || time.minute() != 0 || time.second() != 0)
        text += " " + TimeToStr(time);
    return text;
}

template <typename T> void putLE(unsigned char* out, T value)
{
    std::memcpy(out, &value, sizeof value); // the machines we build for are little-endian
}

template <typename T> T getLE(const unsigned char* in)
{
    T value;
    std::memcpy(&value, in, sizeof value);
    return value;
}

static_assert(std::endian::native == std::endian::little, "stored values are little-endian");

} // namespace

Variant Variant::Null()
{
    return OfType(varNull);
}

Variant::Variant(std::int32_t v) : m_type(varInteger), m_int(v)
{
}

Variant Variant::Smallint(std::int16_t v)
{
    Variant r = OfType(varSmallint);
    r.m_int = v;
    return r;
}

Variant::Variant(bool v) : m_type(varBoolean), m_int(v ? -1 : 0)
{
}

Variant Variant::Single(float v)
{
    Variant r = OfType(varSingle);
    r.m_real = v;
    return r;
}

Variant::Variant(double v) : m_type(varDouble), m_real(v)
{
}

Variant Variant::Currency(std::int64_t scaledBy10000)
{
    Variant r = OfType(varCurrency);
    r.m_int = scaledBy10000;
    return r;
}

Variant Variant::Date(double days)
{
    Variant r = OfType(varDate);
    r.m_real = days;
    return r;
}

Variant::Variant(const char* v) : m_type(varString), m_text(v ? v : "")
{
}

Variant::Variant(std::string v) : m_type(varString), m_text(std::move(v))
{
}

Variant Variant::OfType(std::uint16_t tag)
{
    Variant r;
    r.m_type = tag;
    return r;
}

std::int32_t Variant::toInt() const
{
    switch (m_type) {
    case varEmpty:
        return 0;
    case varSmallint:
    case varInteger:
    case varBoolean:
    case varByte:
        return static_cast<std::int32_t>(m_int);
    case varSingle:
    case varDouble:
    case varDate:
        if (const auto v = roundToInt(m_real))
            return *v;
        overflowError(m_type, "Integer");
    case varCurrency: {
        const std::int64_t whole = currencyToWhole(m_int);
        if (whole < std::numeric_limits<std::int32_t>::min() ||
            whole > std::numeric_limits<std::int32_t>::max())
            overflowError(m_type, "Integer");
        return static_cast<std::int32_t>(whole);
    }
    case varString:
        if (const auto v = kivo::ParseInt(m_text))
            return *v;
        if (const auto f = kivo::ParseFloat(m_text)) {
            if (const auto v = roundToInt(*f))
                return *v;
            overflowError(m_type, "Integer");
        }
        if (const auto b = boolWord(m_text))
            return *b;
        castError(m_type, "Integer");
    default:
        castError(m_type, "Integer");
    }
}

double Variant::toDouble() const
{
    switch (m_type) {
    case varEmpty:
        return 0;
    case varSmallint:
    case varInteger:
    case varBoolean:
    case varByte:
        return static_cast<double>(m_int);
    case varSingle:
    case varDouble:
    case varDate:
        return m_real;
    case varCurrency:
        return static_cast<double>(m_int) / 10000.0;
    case varString:
        if (const auto f = kivo::ParseFloat(m_text))
            return *f;
        if (const auto v = kivo::ParseInt(m_text))
            return *v;
        if (const auto b = boolWord(m_text))
            return *b;
        castError(m_type, "Double");
    default:
        castError(m_type, "Double");
    }
}

std::string Variant::toString() const
{
    switch (m_type) {
    case varEmpty:
        return {};
    case varSmallint:
    case varInteger:
    case varByte:
        return std::to_string(m_int);
    case varBoolean:
        return m_int ? "True" : "False";
    case varSingle:
        return floatText(m_real, 7);
    case varDouble:
        return floatText(m_real, 15);
    case varCurrency:
        return currencyText(m_int);
    case varDate:
        return dateTimeText(m_real);
    case varString:
        return m_text;
    default:
        castError(m_type, "String");
    }
}

void Variant::toRecord(unsigned char out[16]) const
{
    std::memset(out, 0, 16);
    putLE<std::uint16_t>(out, m_type);
    switch (m_type) {
    case varSmallint:
        putLE<std::int16_t>(out + 8, static_cast<std::int16_t>(m_int));
        break;
    case varInteger:
        putLE<std::int32_t>(out + 8, static_cast<std::int32_t>(m_int));
        break;
    case varBoolean: // VARIANT_BOOL: 16 bits, true is all ones
        putLE<std::int16_t>(out + 8, static_cast<std::int16_t>(m_int ? -1 : 0));
        break;
    case varByte:
        out[8] = static_cast<unsigned char>(m_int);
        break;
    case varSingle:
        putLE<float>(out + 8, static_cast<float>(m_real));
        break;
    case varDouble:
    case varDate:
        putLE<double>(out + 8, m_real);
        break;
    case varCurrency:
        putLE<std::int64_t>(out + 8, m_int);
        break;
    default: // no payload of its own (text and references live elsewhere)
        break;
    }
}

Variant Variant::fromRecord(const unsigned char in[16])
{
    // Only kinds whose payload lies inside the record are taken; a record
    // naming text, an interface, an array or a reference would point into
    // some other process's memory, so it reads as empty.
    switch (getLE<std::uint16_t>(in)) {
    case varSmallint:
        return Smallint(getLE<std::int16_t>(in + 8));
    case varInteger:
        return Variant(getLE<std::int32_t>(in + 8));
    case varBoolean:
        return Variant(getLE<std::int16_t>(in + 8) != 0);
    case varByte: {
        Variant r = OfType(varByte);
        r.m_int = in[8];
        return r;
    }
    case varSingle:
        return Single(getLE<float>(in + 8));
    case varDouble:
        return Variant(getLE<double>(in + 8));
    case varCurrency:
        return Currency(getLE<std::int64_t>(in + 8));
    case varDate:
        return Date(getLE<double>(in + 8));
    default:
        return {};
    }
}

bool Variant::operator==(const Variant& o) const
{
    if (m_type != o.m_type)
        return false;
    switch (m_type) {
    case varSmallint:
    case varInteger:
    case varBoolean:
    case varByte:
    case varCurrency:
        return m_int == o.m_int;
    case varSingle:
    case varDouble:
    case varDate:
        return m_real == o.m_real;
    case varString:
        return m_text == o.m_text;
    default:
        return true;
    }
}

