// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/SortedNames.h"

#include <QCollator>
#include <QCoreApplication>
#include <QLocale>
#include <QString>

#include <stdexcept>

int SortedNames::Compare(const QString& a, const QString& b)
{
    // One collator per thread: QCollator is not thread-safe, and building one
    // per comparison is costly. It is made again when the locale changes.
    // Letter case never decides, in any locale: the C locale's collation
    // would otherwise put every capital before every small letter.
    const auto collatorFor = [](const QLocale& locale) {
        QCollator c(locale);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    };
    // The user's collation (LC_COLLATE, which may differ from the locale of
    // messages and numbers), unless the program chose a locale of its own.
    const QLocale wanted = QLocale() == QLocale::system() ? QLocale::system().collation() : QLocale();
    thread_local QLocale locale = wanted;
    thread_local QCollator collator = collatorFor(locale);
    if (locale != wanted) {
        locale = wanted;
        collator = collatorFor(locale);
    }
    return collator.compare(a, b);
}

int SortedNames::Compare(const std::string& a, const std::string& b)
{
    return Compare(QString::fromLocal8Bit(a.data(), static_cast<qsizetype>(a.size())),
                   QString::fromLocal8Bit(b.data(), static_cast<qsizetype>(b.size())));
}

std::size_t SortedNames::Find(const std::string& name, bool& found) const
{
    std::size_t lo = 0, hi = m_names.size();
    found = false;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        const int c = Compare(m_names[mid], name);
        if (c < 0) {
            lo = mid + 1;
        } else {
            if (c == 0)
                found = true;
            hi = mid;
        }
    }
    return lo;
}

std::size_t SortedNames::Add(const std::string& name)
{
    bool found = false;
    const std::size_t at = Find(name, found);
    if (!found)
        m_names.insert(m_names.begin() + static_cast<std::ptrdiff_t>(at), name);
    return at;
}

int SortedNames::IndexOf(const std::string& name) const
{
    bool found = false;
    const std::size_t at = Find(name, found);
    return found ? static_cast<int>(at) : -1;
}

bool SortedNames::Remove(const std::string& name)
{
    const int at = IndexOf(name);
    if (at < 0)
        return false;
    Delete(static_cast<std::size_t>(at));
    return true;
}

void SortedNames::Delete(std::size_t index)
{
    if (index >= m_names.size())
        throw std::out_of_range(
            QCoreApplication::translate("TList", "List index out of bounds (%1)").arg(index).toStdString());
    m_names.erase(m_names.begin() + static_cast<std::ptrdiff_t>(index));
}
