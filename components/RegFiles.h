// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// TRegFile: reads and writes single named values below one root key and one
// base key path, converting between registry value types and Variant.
// Every operation opens its key, works and closes it again. Reading never
// creates a key. Only "not found" (2) counts as a missing key or value; every
// other failure raises "Reg Error: %8.8X", so a store that cannot be read is
// never taken for an empty one.
#pragma once

#include "platform/registry/registry.h"

#include <QObject>

#include <cstdint>
#include <stdexcept>
#include <string>

// Tagged settings value. Tags are the OLE Automation VARIANT type codes,
// text has 0x100 (varString).
enum VarType : std::uint16_t {
    varEmpty = 0,
    varNull = 1,
    varSmallint = 2,
    varInteger = 3,
    varSingle = 4,
    varDouble = 5,
    varCurrency = 6,
    varDate = 7,
    varOleStr = 8,
    varDispatch = 9,
    varError = 10,
    varBoolean = 11,
    varVariant = 12,
    varUnknown = 13,
    varByte = 17,
    varString = 0x100,
};

class Variant {
public:
    Variant() = default;  // empty
    static Variant Null();
    static Variant Empty() { return {}; }
    Variant(std::int32_t v);                 // varInteger
    static Variant Smallint(std::int16_t v); // varSmallint
    Variant(bool v);                         // varBoolean
    static Variant Single(float v);
    Variant(double v);                       // varDouble
    static Variant Currency(std::int64_t scaledBy10000);
    static Variant Date(double days);        // days since 1899-12-30
    Variant(const char* v);                  // varString
    Variant(std::string v);                  // varString
    // A value of any other tag (for tests of the rejected kinds).
    static Variant OfType(std::uint16_t tag);

    std::uint16_t VType() const { return m_type; }
    bool isNull() const { return m_type == varNull; }
    bool isEmpty() const { return m_type == varEmpty; }

    // Conversions as the VCL's Variant does them; an impossible conversion
    // throws EVariantError.
    std::int32_t toInt() const;
    double toDouble() const;
    std::string toString() const;

    // The 16-byte in-memory VARIANT record (tag, 3 reserved words, payload),
    // as stored for the floating kinds in a REG_BINARY value.
    void toRecord(unsigned char out[16]) const;
    static Variant fromRecord(const unsigned char in[16]);

    bool operator==(const Variant& o) const;

private:
    std::uint16_t m_type = varEmpty;
    std::int64_t m_int = 0;  // integer kinds, boolean (0 / -1), currency
    double m_real = 0;       // single, double, date
    std::string m_text;
};

class EVariantError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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
