// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A sorted list of names without duplicates: names compare without regard
// to letter case, in the user's locale order, and a name added a second time
// (in any case) is kept once, as first added.
#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <vector>

class SortedNames
{
  public:
    // Adds a name in its place; returns its index (the existing one when the
    // name is present already).
    std::size_t Add(const std::string& name);
    // Index of the name, or -1.
    int IndexOf(const std::string& name) const;
    // Removes the name when present; true when it was.
    bool Remove(const std::string& name);
    void Delete(std::size_t index);
    void Clear() { m_names.clear(); }

    std::size_t Count() const { return m_names.size(); }
    bool empty() const { return m_names.empty(); }
    const std::string& operator[](std::size_t index) const { return m_names.at(index); }
    const std::vector<std::string>& Strings() const { return m_names; }
    auto begin() const { return m_names.begin(); }
    auto end() const { return m_names.end(); }

    // <0, 0, >0: the order the list keeps, ignoring letter case in every
    // locale (also C/POSIX). The entry list sorts its captions the same way.
    static int Compare(const std::string& a, const std::string& b);
    static int Compare(const QString& a, const QString& b);

  private:
    // Position of the first name not less than `name`, and whether it is equal.
    std::size_t Find(const std::string& name, bool& found) const;
    std::vector<std::string> m_names;
};
