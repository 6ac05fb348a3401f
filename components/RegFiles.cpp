// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "components/RegFiles.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

HKEY RootKeyHandle(TRootKey root)
{
    // HKEY_PERFORMANCE_DATA has no place in this table.
    static const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,   HKEY_LOCAL_MACHINE,
                                 HKEY_USERS,        HKEY_CURRENT_CONFIG, HKEY_DYN_DATA};
    const auto index = static_cast<std::size_t>(root);
    // A RootKey set from outside the enumeration (through the property
    // system) selects no root: every registry call then fails cleanly.
    return index < std::size(roots) ? roots[index] : nullptr;
}

void SplitValuePath(std::string& name, std::string& path)
{
    // Positions count from 1, as the scan is described: p is a position,
    // name[p - 1] the character there.
    std::size_t p = name.size();
    while (p > 0) {
        if (name[p - 1] != '\\') {
            --p;
        } else if (p == 1 || name[p - 2] != '\\') {
            break;
        } else {
            p -= 2; // a doubled backslash belongs to the name
        }
    }
    path = p > 1 ? name.substr(0, p - 1) : std::string();
    if (p != 0) {
        name.erase(0, p);
        if (!path.empty() && path[0] != '\\')
            path.insert(0, 1, '\\');
    }
}

TRegFile::TRegFile(QObject* AOwner) : QObject(AOwner)
{
    m_rootKey = hkCurrentUser;
}

void RaiseRegError(LONG code)
{
    if (code == ERROR_SUCCESS)
        return;
    char number[16];
    std::snprintf(number, sizeof number, "%8.8X", static_cast<unsigned>(code));
    throw ERegFileError(
        QCoreApplication::translate("TRegFile", "Reg Error: %1").arg(QLatin1String(number)).toStdString());
}

TRegTransaction::TRegTransaction(TMode mode)
    : m_tx(mode == tmWrite ? kivo::registry::Transaction::Write : kivo::registry::Transaction::Read)
{
    RaiseRegError(m_tx.status());
}

void TRegTransaction::Commit()
{
    RaiseRegError(m_tx.commit());
}

bool TRegFile::OpenKey(const std::string& keyPath, bool OpenOnly)
{
    const HKEY root = RootKeyHandle(m_rootKey);
    HKEY handle = nullptr;
    if (OpenOnly || keyPath.empty() || m_rootKey == hkDynData) {
        // The root itself and the dynamic-data root are never created. Only
        // a key that is not there is "not open"; a store that fails is
        // reported as such, not taken for a missing key.
        const LONG rc = RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_ALL_ACCESS, &handle);
        if (rc == ERROR_SUCCESS) {
            m_keyHandle = handle;
            return true;
        }
        if (rc != ERROR_FILE_NOT_FOUND)
            CheckResult(rc);
        if (OpenOnly)
            return false;
        throw ERegFileError(QCoreApplication::translate("TRegFile", "Can't open a Key").toStdString());
    }
    char noClass[] = "";
    DWORD disposition = 0;
    CheckResult(RegCreateKeyExA(root, keyPath.c_str(), 0, noClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                nullptr, &handle, &disposition));
    m_keyHandle = handle;
    return true;
}

void TRegFile::CloseKey()
{
    if (!m_keyHandle)
        return;
    CheckResult(RegCloseKey(m_keyHandle));
    m_keyHandle = nullptr;
}

std::string TRegFile::FullKeyPath(const std::string& subKey) const
{
    if (subKey.empty())
        return m_key;
    return m_key.empty() ? subKey : m_key + "\\" + subKey;
}

bool TRegFile::ValueExists(const std::string& subKey, const std::string& name)
{
    if (!OpenKey(FullKeyPath(subKey), true))
        return false;
    DWORD type = 0;
    bool exists = false;
    try {
        exists = QueryValueSize(name, type) >= 0;
    } catch (...) {
        CloseKey();
        throw;
    }
    CloseKey();
    return exists;
}

namespace
{

// The key a split-off sub-key path addresses. With no base key the path's
// leading separator is dropped: the store refuses paths that start with
// one, and "Sub\Val" below the root plainly means the key "Sub".
std::string valueKeyPath(const std::string& key, const std::string& subPath)
{
    if (key.empty() && !subPath.empty() && subPath[0] == '\\')
        return subPath.substr(1);
    return key + subPath;
}

Variant fromRegistry(DWORD type, const std::vector<unsigned char>& data)
{
    switch (type) {
    case REG_SZ: {
        const auto* begin = reinterpret_cast<const char*>(data.data());
        return Variant(std::string(begin, strnlen(begin, data.size())));
    }
    case REG_DWORD: {
        // Fewer than four bytes is no 32-bit number at all.
        std::int32_t v = 0;
        if (data.size() < sizeof v)
            return {};
        std::memcpy(&v, data.data(), sizeof v); // little-endian, as the machines we build for
        return Variant(v);
    }
    case REG_BINARY:
        if (data.size() != 16)
            return {};
        return Variant::fromRecord(data.data());
    default:
        return {};
    }
}

} // namespace

Variant TRegFile::ReadValue(const std::string& name)
{
    Variant result = Variant::Null();
    std::string valueName = name;
    std::string subPath;
    SplitValuePath(valueName, subPath);
    // Reading never creates the key: a missing key reads as a missing value.
    if (!OpenKey(valueKeyPath(m_key, subPath), true))
        return result;
    try {
        DWORD type = 0;
        const LONG size = QueryValueSize(valueName, type);
        if (size > 0) {
            std::vector<unsigned char> data(static_cast<std::size_t>(size));
            type = QueryValueData(valueName, data.data(), static_cast<DWORD>(size));
            result = fromRegistry(type, data);
        }
    } catch (...) {
        CloseKey();
        throw;
    }
    CloseKey();
    return result;
}

void TRegFile::WriteValue(const std::string& name, const Variant& value)
{
    const Variant copy = value;
    std::string valueName = name;
    std::string subPath;
    SplitValuePath(valueName, subPath);
    OpenKey(valueKeyPath(m_key, subPath), false);
    try {
        std::vector<unsigned char> data;
        DWORD type = REG_NONE;
        switch (copy.VType()) {
        case varSmallint:
        case varInteger:
        case varBoolean: {
            const std::int32_t v = copy.toInt();
            data.resize(sizeof v);
            std::memcpy(data.data(), &v, sizeof v);
            type = REG_DWORD;
            break;
        }
        case varSingle:
        case varDouble:
        case varCurrency:
        case varDate:
            data.resize(16);
            copy.toRecord(data.data());
            type = REG_BINARY;
            break;
        case varString: {
            const std::string text = copy.toString();
            data.assign(text.begin(), text.end());
            data.push_back(0);
            type = REG_SZ;
            break;
        }
        default:
            throw ERegFileError(
                QCoreApplication::translate("TRegFile", "Invalid variant type").toStdString());
        }
        SetValueData(valueName, data.data(), type, static_cast<DWORD>(data.size()));
    } catch (...) {
        CloseKey();
        throw;
    }
    CloseKey();
}

void TRegFile::CheckResult(LONG code)
{
    RaiseRegError(code);
}

LONG TRegFile::QueryValueSize(const std::string& name, DWORD& type)
{
    DWORD size = 0;
    const LONG rc =
        RegQueryValueExA(m_keyHandle, name.empty() ? nullptr : name.c_str(), nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND)
        return -1;
    CheckResult(rc);
    if (size > static_cast<DWORD>(std::numeric_limits<LONG>::max()))
        CheckResult(ERROR_MORE_DATA);
    return static_cast<LONG>(size);
}

DWORD TRegFile::QueryValueData(const std::string& name, void* buffer, DWORD size)
{
    DWORD type = REG_NONE;
    DWORD len = size;
    CheckResult(RegQueryValueExA(m_keyHandle, name.empty() ? nullptr : name.c_str(), nullptr, &type,
                                 static_cast<LPBYTE>(buffer), &len));
    return type;
}

void TRegFile::SetValueData(const std::string& name, const void* buffer, DWORD type, DWORD size)
{
    CheckResult(RegSetValueExA(m_keyHandle, name.empty() ? nullptr : name.c_str(), 0, type,
                               static_cast<const BYTE*>(buffer), size));
}
