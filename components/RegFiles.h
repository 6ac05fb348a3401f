// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// TRegFile: reads and writes single named values below one root key and one
// base key path, converting between registry value types and Variant
// (components/Variant.h).
// Every operation opens its key, works and closes it again. Reading never
// creates a key. Only "not found" (2) counts as a missing key or value; every
// other failure raises "Reg Error: %8.8X", so a store that cannot be read is
// never taken for an empty one.
#pragma once

#include "components/Variant.h"
#include "platform/registry/registry.h"

#include <QObject>

#include <cstdint>
#include <stdexcept>
#include <string>

class ERegFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum TRootKey : std::uint8_t {
    hkClassesRoot,
    hkCurrentUser,
    hkLocalMachine,
    hkUsers,
    hkCurrentConfig,
    hkDynData,
};

// The fixed root table indexed by TRootKey (HKEY_PERFORMANCE_DATA has no entry).
HKEY RootKeyHandle(TRootKey root);

// Splits "path\\name" into a sub-key path (with a leading backslash) and a
// value name; a doubled backslash does not separate.
void SplitValuePath(std::string& name, std::string& path);

// Raises ERegFileError "Reg Error: %8.8X" for a non-zero code.
void RaiseRegError(LONG code);

// Makes the registry calls of this thread one transaction while it lives
// (kivo::registry::Transaction): what a handler reads is one state of the
// store, and what it writes takes effect at Commit, all of it or none.
// Raises ERegFileError "Reg Error: %8.8X" when the transaction cannot begin
// or its commit fails.
class TRegTransaction {
public:
    enum TMode { tmRead, tmWrite };
    explicit TRegTransaction(TMode mode);
    void Commit();

private:
    kivo::registry::Transaction m_tx;
};

class TRegFile : public QObject {
    Q_OBJECT
    Q_PROPERTY(int RootKey READ RootKeyInt WRITE setRootKeyInt)
    Q_PROPERTY(QString Key READ KeyQ WRITE setKeyQ)
public:
    explicit TRegFile(QObject* AOwner = nullptr);

    TRootKey RootKey() const { return m_rootKey; }
    void setRootKey(TRootKey v) { m_rootKey = v; }
    const std::string& Key() const { return m_key; }
    void setKey(const std::string& v) { m_key = v; }
    HKEY KeyHandle() const { return m_keyHandle; }

    virtual bool OpenKey(const std::string& keyPath, bool OpenOnly);
    virtual void CloseKey();
    bool ValueExists(const std::string& subKey, const std::string& name);
    Variant ReadValue(const std::string& name);
    void WriteValue(const std::string& name, const Variant& value);

    // Internal operations, public for tests.
    void CheckResult(LONG code);
    // The value's data size, -1 when the value does not exist; raises
    // "Reg Error" when the store fails otherwise.
    LONG QueryValueSize(const std::string& name, DWORD& type);
    DWORD QueryValueData(const std::string& name, void* buffer, DWORD size);
    void SetValueData(const std::string& name, const void* buffer, DWORD type, DWORD size);
    std::string FullKeyPath(const std::string& subKey) const;

private:
    int RootKeyInt() const { return m_rootKey; }
    void setRootKeyInt(int v) { m_rootKey = static_cast<TRootKey>(v); }
    QString KeyQ() const { return QString::fromStdString(m_key); }
    void setKeyQ(const QString& v) { m_key = v.toStdString(); }

    TRootKey m_rootKey = hkCurrentUser;
    std::string m_key;
    HKEY m_keyHandle = nullptr;
};
