// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "tools/kivo-reg/messages.h"

namespace kivo::reg
{

std::string message(const QString& text, std::initializer_list<std::string_view> args)
{
    const std::string format = text.toStdString();
    std::string out;
    out.reserve(format.size());
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            const char next = format[i + 1];
            if (next == '%') {
                out.push_back('%');
                ++i;
                continue;
            }
            const auto n = static_cast<std::size_t>(next - '1');
            if (next >= '1' && next <= '9' && n < args.size()) {
                out += *(args.begin() + n);
                ++i;
                continue;
            }
        }
        out.push_back(format[i]);
    }
    return out;
}

} // namespace kivo::reg
