// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// UTF-16LE and UTF-8, strictly: Windows keeps its registry texts in UTF-16,
// the key store keeps them as UTF-8 bytes, and a .reg file must give back
// what it was given, so nothing is ever replaced silently.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kivo::reg
{

// Appends the UTF-8 form of the UTF-16LE units in `utf16le` (an even number
// of bytes) to `out`. A unit that is not text (a surrogate without its
// partner) becomes U+FFFD and the result is false.
bool utf16ToUtf8(std::string_view utf16le, std::string& out);

// The UTF-16LE form of UTF-8 text; nullopt when the bytes are not UTF-8.
std::optional<std::string> utf8ToUtf16(std::string_view utf8);

bool isUtf8(std::string_view bytes);

// Characters in UTF-8 text (bytes that do not continue a character), as an
// editor's column counts them; for other 8-bit text, about the bytes.
std::size_t columns(std::string_view text);

} // namespace kivo::reg
