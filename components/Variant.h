// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Variant: the tagged value the settings are read and written as
// (components/RegFiles.h converts between it and the registry's types).
#pragma once

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
