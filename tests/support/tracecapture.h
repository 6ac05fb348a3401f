// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Captures the platform trace of one test in a file of its own, so a test
// can count and inspect the calls the code under test made.
#pragma once

#include "platform/system/trace.h"
#include "tests/support/testsupport.h"

#include <QFile>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace kivo::test
{

class TraceCapture
{
  public:
    TraceCapture() : m_path(m_dir.file("trace.log"))
    {
        setenv("KIVO95_TRACE", m_path.c_str(), 1);
        kivo::trace::reset();
    }
    ~TraceCapture()
    {
        unsetenv("KIVO95_TRACE");
        kivo::trace::reset();
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        const std::string all =
            QFile::exists(QString::fromStdString(m_path)) ? kivo::test::readFile(m_path) : std::string();
        std::size_t start = 0;
        for (std::size_t nl; (nl = all.find('\n', start)) != std::string::npos; start = nl + 1)
            if (nl >= m_skip)
                out.push_back(all.substr(start, nl - start));
        return out;
    }
    // Lines that start with the prefix (a call's name and its first words).
    int count(std::string_view prefix) const
    {
        int n = 0;
        for (const auto& l : lines())
            n += l.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
    // True when one line holds both texts.
    bool anyLineHas(std::string_view a, std::string_view b) const
    {
        for (const auto& l : lines())
            if (l.find(a) != std::string::npos && l.find(b) != std::string::npos)
                return true;
        return false;
    }
    std::string last() const
    {
        auto l = lines();
        return l.empty() ? std::string() : l.back();
    }
    // Forgets what was traced so far.
    void clear()
    {
        m_skip = QFile::exists(QString::fromStdString(m_path)) ? kivo::test::readFile(m_path).size() : 0;
    }

  private:
    TempDir m_dir;
    std::string m_path;
    std::size_t m_skip = 0;
};

} // namespace kivo::test
