// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Tests that run real system daemons (NetworkManager in a network namespace
// of its own, ...) need root. Elsewhere they are skipped with the reason, but
// never silently in CI: with CI=1 set they fail instead.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace kivo::test
{

inline bool runningInCI()
{
    const char* ci = std::getenv("CI");
    return ci && *ci && std::strcmp(ci, "0") != 0 && std::strcmp(ci, "false") != 0;
}

// Empty when the process is root; otherwise what the test needs it for.
inline std::string rootMissing(const std::string& what)
{
    if (geteuid() == 0)
        return {};
    return "needs root (" + what + "); run the tests as root, e.g. sudo make test";
}

} // namespace kivo::test

// In a test body or SetUp: skips the test when not root, fails it under CI=1.
#define KIVO_REQUIRE_ROOT(what)                                                                              \
    do {                                                                                                     \
        const std::string kivoWhyNot_ = ::kivo::test::rootMissing(what);                                     \
        if (!kivoWhyNot_.empty()) {                                                                          \
            if (::kivo::test::runningInCI())                                                                 \
                FAIL() << kivoWhyNot_ << " (CI=1: not skipped)";                                             \
            else                                                                                             \
                GTEST_SKIP() << kivoWhyNot_;                                                                 \
        }                                                                                                    \
    } while (0)
