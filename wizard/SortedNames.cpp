#include "wizard/SortedNames.h"

#include <QCollator>
#include <QCoreApplication>
#include <QString>

#include <stdexcept>

int SortedNames::Compare(const std::string& a, const std::string& b)
{
    // One collator per thread: QCollator is not thread-safe, and building one
    // per comparison is costly.
    thread_local QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator.compare(QString::fromLocal8Bit(a.data(), static_cast<qsizetype>(a.size())),
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
