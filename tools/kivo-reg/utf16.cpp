// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "tools/kivo-reg/utf16.h"

namespace kivo::reg
{

namespace
{

void appendUtf8(char32_t c, std::string& out)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xc0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xe0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else {
        out.push_back(static_cast<char>(0xf0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    }
}

void appendUtf16(char32_t c, std::string& out)
{
    auto unit = [&out](char32_t u) {
        out.push_back(static_cast<char>(u & 0xff));
        out.push_back(static_cast<char>(u >> 8));
    };
    if (c < 0x10000) {
        unit(c);
    } else {
        c -= 0x10000;
        unit(0xd800 | (c >> 10));
        unit(0xdc00 | (c & 0x3ff));
    }
}

// The character at text[i], moving i past it; nullopt for bytes that are not
// UTF-8 (overlong forms, surrogates and values past U+10FFFF included).
std::optional<char32_t> nextUtf8(std::string_view text, std::size_t& i)
{
    const auto b = static_cast<unsigned char>(text[i++]);
    if (b < 0x80)
        return b;
    int more = 0;
    char32_t c = 0;
    char32_t least = 0;
    if ((b & 0xe0) == 0xc0) {
        more = 1, c = b & 0x1f, least = 0x80;
    } else if ((b & 0xf0) == 0xe0) {
        more = 2, c = b & 0x0f, least = 0x800;
    } else if ((b & 0xf8) == 0xf0) {
        more = 3, c = b & 0x07, least = 0x10000;
    } else {
        return std::nullopt;
    }
    for (; more > 0; --more) {
        if (i == text.size() || (static_cast<unsigned char>(text[i]) & 0xc0) != 0x80)
            return std::nullopt;
        c = c << 6 | (static_cast<unsigned char>(text[i++]) & 0x3f);
    }
    if (c < least || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff))
        return std::nullopt;
    return c;
}

} // namespace

bool utf16ToUtf8(std::string_view in, std::string& out)
{
    bool good = true;
    const std::size_t units = in.size() / 2;
    auto unit = [&in](std::size_t k) {
        return static_cast<char32_t>(static_cast<unsigned char>(in[2 * k]) |
                                     static_cast<unsigned char>(in[2 * k + 1]) << 8);
    };
    for (std::size_t k = 0; k < units; ++k) {
        const char32_t u = unit(k);
        if (u >= 0xd800 && u <= 0xdbff && k + 1 < units && unit(k + 1) >= 0xdc00 && unit(k + 1) <= 0xdfff) {
            appendUtf8(0x10000 + ((u - 0xd800) << 10) + (unit(k + 1) - 0xdc00), out);
            ++k;
        } else if (u >= 0xd800 && u <= 0xdfff) {
            appendUtf8(0xfffd, out);
            good = false;
        } else {
            appendUtf8(u, out);
        }
    }
    return good;
}

std::optional<std::string> utf8ToUtf16(std::string_view text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size();) {
        const auto c = nextUtf8(text, i);
        if (!c)
            return std::nullopt;
        appendUtf16(*c, out);
    }
    return out;
}

bool isUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();)
        if (!nextUtf8(text, i))
            return false;
    return true;
}

std::size_t columns(std::string_view text)
{
    std::size_t n = 0;
    for (char c : text)
        n += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    return n;
}

} // namespace kivo::reg
