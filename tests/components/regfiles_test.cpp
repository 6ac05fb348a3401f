// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// TRegFile against the real key store: what each operation leaves in the
// store is checked with the registry calls directly.
#include "components/RegFiles.h"

#include "tests/support/testsupport.h"

#include <QVariant>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{

struct Raw {
    LONG rc = -1;
    DWORD type = 0;
    std::vector<BYTE> data;
};

Raw rawValue(HKEY root, const char* key, const char* name)
{
    Raw r;
    HKEY h = nullptr;
    r.rc = RegOpenKeyExA(root, key, 0, KEY_READ, &h);
    if (r.rc != ERROR_SUCCESS)
        return r;
    DWORD size = 0;
    r.rc = RegQueryValueExA(h, name, nullptr, &r.type, nullptr, &size);
    if (r.rc == ERROR_SUCCESS) {
        r.data.resize(size);
        r.rc = RegQueryValueExA(h, name, nullptr, &r.type, r.data.data(), &size);
        r.data.resize(size);
    }
    RegCloseKey(h);
    return r;
}

bool keyExists(HKEY root, const char* key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

void setRaw(HKEY root, const char* key, const char* name, DWORD type, std::vector<BYTE> data)
{
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(h, name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
    RegCloseKey(h);
}

std::vector<BYTE> bytes(std::initializer_list<int> list)
{
    std::vector<BYTE> v;
    for (int b : list)
        v.push_back(static_cast<BYTE>(b));
    return v;
}

std::vector<BYTE> record(const Variant& v)
{
    std::vector<BYTE> out(16);
    v.toRecord(out.data());
    return out;
}

// The message of the ERegFileError that f raises, or "" when it raises none.
template <typename F> std::string regError(F&& f)
{
    try {
        f();
    } catch (const ERegFileError& e) {
        return e.what();
    }
    return {};
}

constexpr const char* kAppKey = "SOFTWARE\\Morvel\\KIVO-WIZ\\";

class RegFileTest : public ::testing::Test
{
  protected:
    kivo::test::TempRegistry store;
    TRegFile reg;
};

TEST_F(RegFileTest, NewComponentAddressesTheCurrentUserRoot)
{
    EXPECT_EQ(reg.RootKey(), hkCurrentUser);
    EXPECT_EQ(reg.property("RootKey").toInt(), 1);
    EXPECT_TRUE(reg.Key().empty());
    EXPECT_EQ(reg.KeyHandle(), nullptr);

    // With no base key a plain name is a value of the root itself.
    reg.WriteValue("Top", Variant(7));
    Raw r = rawValue(HKEY_CURRENT_USER, "", "Top");
    ASSERT_EQ(r.rc, ERROR_SUCCESS);
    EXPECT_EQ(r.type, REG_DWORD);
    EXPECT_EQ(r.data, bytes({7, 0, 0, 0}));
    EXPECT_EQ(reg.ReadValue("Top"), Variant(7));
    EXPECT_EQ(reg.KeyHandle(), nullptr);
}

TEST_F(RegFileTest, RootTableSkipsPerformanceData)
{
    EXPECT_EQ(RootKeyHandle(hkClassesRoot), HKEY_CLASSES_ROOT);
    EXPECT_EQ(RootKeyHandle(hkCurrentUser), HKEY_CURRENT_USER);
    EXPECT_EQ(RootKeyHandle(hkLocalMachine), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RootKeyHandle(hkUsers), HKEY_USERS);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(RootKeyHandle(hkCurrentConfig)), 0x80000005u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(RootKeyHandle(hkDynData)), 0x80000006u);

    reg.setRootKey(hkCurrentConfig);
    reg.setKey("Cfg");
    reg.WriteValue("V", Variant("c"));
    EXPECT_EQ(rawValue(HKEY_CURRENT_CONFIG, "Cfg", "V").data, bytes({'c', 0}));
    EXPECT_FALSE(keyExists(HKEY_USERS, "Cfg"));
}

TEST_F(RegFileTest, RootKeyAndKeyAreProperties)
{
    reg.setProperty("RootKey", 2);
    reg.setProperty("Key", QStringLiteral("SOFTWARE\\X"));
    EXPECT_EQ(reg.RootKey(), hkLocalMachine);
    EXPECT_EQ(reg.Key(), "SOFTWARE\\X");

    // A root outside the table reaches no key, and says so.
    reg.setProperty("RootKey", 9);
    EXPECT_NE(regError([&] { reg.WriteValue("V", Variant(1)); }), "");
    EXPECT_NE(regError([&] { reg.OpenKey("", false); }), "");
    EXPECT_EQ(regError([&] { reg.OpenKey("SOFTWARE", true); }), "Reg Error: 00000006");
}

TEST_F(RegFileTest, ReadingNeverCreatesAKey)
{
    reg.setRootKey(hkLocalMachine);
    reg.setKey("SOFTWARE\\Missing");
    EXPECT_FALSE(reg.ValueExists("", "V"));
    EXPECT_FALSE(reg.ValueExists("Deeper", "V"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing"));
    EXPECT_EQ(reg.KeyHandle(), nullptr);

    EXPECT_TRUE(reg.ReadValue("V").isNull());
    EXPECT_TRUE(reg.ReadValue("Sub\\V").isNull());
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing"));
    EXPECT_EQ(reg.KeyHandle(), nullptr);
}

TEST_F(RegFileTest, ValueExistsJoinsTheSubKeyAndCountsEmptyData)
{
    reg.setRootKey(hkLocalMachine);
    reg.setKey("SOFTWARE\\App");
    setRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\App\\Sub", "Empty", REG_BINARY, {});
    setRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\App\\Sub", nullptr, REG_SZ, bytes({'d', 0}));
    EXPECT_TRUE(reg.ValueExists("Sub", "Empty"));
    EXPECT_TRUE(reg.ValueExists("Sub", "")); // the default value
    EXPECT_FALSE(reg.ValueExists("Sub", "Other"));
    EXPECT_FALSE(reg.ValueExists("", "Empty"));
    // A value with no data exists but reads as null.
    EXPECT_TRUE(reg.ReadValue("Sub\\Empty").isNull());
}

TEST_F(RegFileTest, TextIsStoredWithItsTerminatingZero)
{
    reg.setRootKey(hkLocalMachine);
    reg.setKey(kAppKey);
    reg.WriteValue("Tune", Variant(""));
    reg.WriteValue("PDTCaption", Variant(std::string("Post-Dial Terminal")));

    // The application key ends in a separator and names the same key.
    Raw tune = rawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvel\\KIVO-WIZ", "Tune");
    ASSERT_EQ(tune.rc, ERROR_SUCCESS);
    EXPECT_EQ(tune.type, REG_SZ);
    EXPECT_EQ(tune.data, bytes({0}));
    Raw caption = rawValue(HKEY_LOCAL_MACHINE, kAppKey, "PDTCaption");
    EXPECT_EQ(caption.data.size(), 19u);
    EXPECT_EQ(caption.data.back(), 0);

    const Variant empty = reg.ReadValue("Tune");
    EXPECT_EQ(empty.VType(), varString);
    EXPECT_EQ(empty.toString(), "");
    EXPECT_EQ(reg.ReadValue("PDTCaption"), Variant("Post-Dial Terminal"));
}

TEST_F(RegFileTest, IntegersAndBooleansAreDwords)
{
    reg.setKey("Ints");
    reg.WriteValue("One", Variant(1));
    reg.WriteValue("True", Variant(true));
    reg.WriteValue("False", Variant(false));
    reg.WriteValue("Small", Variant::Smallint(-2));
    reg.WriteValue("Min", Variant(std::int32_t(-2147483647 - 1)));

    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, "Ints", "One").type, REG_DWORD);
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, "Ints", "One").data, bytes({1, 0, 0, 0}));
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, "Ints", "True").data, bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, "Ints", "False").data, bytes({0, 0, 0, 0}));
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, "Ints", "Small").data, bytes({0xFE, 0xFF, 0xFF, 0xFF}));

    const Variant t = reg.ReadValue("True");
    EXPECT_EQ(t.VType(), varInteger);
    EXPECT_EQ(t.toInt(), -1);
    EXPECT_EQ(reg.ReadValue("Small"), Variant(-2));
    EXPECT_EQ(reg.ReadValue("Min").toInt(), -2147483647 - 1);
}

TEST_F(RegFileTest, FloatingKindsAreSixteenByteRecords)
{
    reg.setKey("Floats");
    reg.WriteValue("D", Variant(3.25));
    Raw d = rawValue(HKEY_CURRENT_USER, "Floats", "D");
    ASSERT_EQ(d.type, REG_BINARY);
    ASSERT_EQ(d.data.size(), 16u);
    EXPECT_EQ(d.data[0], 5);
    EXPECT_EQ(d.data[1], 0);
    double payload = 0;
    std::memcpy(&payload, d.data.data() + 8, 8);
    EXPECT_EQ(payload, 3.25);
    EXPECT_EQ(reg.ReadValue("D"), Variant(3.25));

    const Variant kinds[] = {Variant::Single(1.5f), Variant(-0.1), Variant::Currency(-123456789),
                             Variant::Date(36526.75)};
    for (const Variant& v : kinds) {
        reg.WriteValue("K", v);
        Raw r = rawValue(HKEY_CURRENT_USER, "Floats", "K");
        EXPECT_EQ(r.data.size(), 16u);
        EXPECT_EQ(r.data[0], v.VType());
        EXPECT_EQ(reg.ReadValue("K"), v) << v.VType();
    }
}

TEST_F(RegFileTest, UnconvertibleValuesReadAsEmpty)
{
    reg.setKey("Odd");
    setRaw(HKEY_CURRENT_USER, "Odd", "Bin12", REG_BINARY, std::vector<BYTE>(12, 5));
    auto twenty = record(Variant(2.0));
    twenty.resize(20);
    setRaw(HKEY_CURRENT_USER, "Odd", "Bin20", REG_BINARY, twenty);
    setRaw(HKEY_CURRENT_USER, "Odd", "Expand", REG_EXPAND_SZ, bytes({'%', 'P', '%', 0}));
    setRaw(HKEY_CURRENT_USER, "Odd", "Multi", REG_MULTI_SZ, bytes({'a', 0, 'b', 0, 0}));
    setRaw(HKEY_CURRENT_USER, "Odd", "BigEndian", REG_DWORD_BIG_ENDIAN, bytes({0, 0, 0, 1}));
    setRaw(HKEY_CURRENT_USER, "Odd", "ShortDword", REG_DWORD, bytes({1, 2}));
    // A record naming text would carry a pointer of some other process.
    auto oleStr = record(Variant(1.0));
    oleStr[0] = varOleStr;
    setRaw(HKEY_CURRENT_USER, "Odd", "OleStr", REG_BINARY, oleStr);
    auto unknownTag = record(Variant(1.0));
    unknownTag[0] = 0x34;
    unknownTag[1] = 0x12;
    setRaw(HKEY_CURRENT_USER, "Odd", "Tag1234", REG_BINARY, unknownTag);

    for (const char* name :
         {"Bin12", "Bin20", "Expand", "Multi", "BigEndian", "ShortDword", "OleStr", "Tag1234"}) {
        const Variant v = reg.ReadValue(name);
        EXPECT_TRUE(v.isEmpty()) << name << " read as tag " << v.VType();
    }
    EXPECT_EQ(reg.KeyHandle(), nullptr);
}

TEST_F(RegFileTest, ReadingTakesWhatOtherWritersStored)
{
    reg.setKey("Foreign");
    setRaw(HKEY_CURRENT_USER, "Foreign", "NoNul", REG_SZ, bytes({'a', 'b', 'c'}));
    setRaw(HKEY_CURRENT_USER, "Foreign", "Embedded", REG_SZ, bytes({'a', 0, 'b', 0}));
    setRaw(HKEY_CURRENT_USER, "Foreign", "LongDword", REG_DWORD, bytes({9, 0, 0, 0, 7, 7, 7, 7}));
    setRaw(HKEY_CURRENT_USER, "Foreign", "Zero", REG_SZ, {});
    setRaw(HKEY_CURRENT_USER, "Foreign", "Int", REG_BINARY, record(Variant(77)));

    EXPECT_EQ(reg.ReadValue("NoNul"), Variant("abc"));
    EXPECT_EQ(reg.ReadValue("Embedded"), Variant("a"));
    EXPECT_EQ(reg.ReadValue("LongDword"), Variant(9));
    EXPECT_TRUE(reg.ReadValue("Zero").isNull());
    EXPECT_TRUE(reg.ReadValue("Missing").isNull());
    EXPECT_EQ(reg.ReadValue("Int"), Variant(77));
}

TEST_F(RegFileTest, RejectedKindsRaiseAfterTheKeyIsCreated)
{
    reg.setRootKey(hkLocalMachine);
    reg.setKey("SOFTWARE\\Fresh");
    EXPECT_EQ(regError([&] { reg.WriteValue("V", Variant::Null()); }), "Invalid variant type");
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fresh"));
    EXPECT_EQ(reg.KeyHandle(), nullptr);

    reg.WriteValue("V", Variant("kept"));
    for (std::uint16_t tag : {varEmpty, varOleStr, varDispatch, varError, varVariant, varUnknown, varByte}) {
        EXPECT_EQ(regError([&] { reg.WriteValue("V", Variant::OfType(tag)); }), "Invalid variant type")
            << tag;
        EXPECT_EQ(reg.KeyHandle(), nullptr);
    }
    EXPECT_EQ(reg.ReadValue("V"), Variant("kept"));

    reg.setKey("SOFTWARE\\Fresh2");
    EXPECT_EQ(regError([&] { reg.WriteValue("Sub\\V", Variant()); }), "Invalid variant type");
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fresh2\\Sub"));
}

TEST_F(RegFileTest, OpenKeyModes)
{
    reg.setRootKey(hkLocalMachine);
    EXPECT_FALSE(reg.OpenKey("SOFTWARE\\Nope", true));
    EXPECT_EQ(reg.KeyHandle(), nullptr);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nope"));

    // Without OpenOnly a missing key is created, with its parents.
    EXPECT_TRUE(reg.OpenKey("SOFTWARE\\A\\B\\C", false));
    EXPECT_NE(reg.KeyHandle(), nullptr);
    reg.CloseKey();
    EXPECT_EQ(reg.KeyHandle(), nullptr);
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B\\C"));
    EXPECT_TRUE(reg.OpenKey("SOFTWARE\\A\\B", true));
    reg.CloseKey();

    // The empty path is the root itself.
    EXPECT_TRUE(reg.OpenKey("", false));
    EXPECT_NE(reg.KeyHandle(), nullptr);
    reg.CloseKey();

    // The dynamic-data root is only ever opened.
    reg.setRootKey(hkDynData);
    EXPECT_EQ(regError([&] { reg.OpenKey("PerfStats", false); }), "Can't open a Key");
    EXPECT_EQ(reg.KeyHandle(), nullptr);
    EXPECT_FALSE(keyExists(HKEY_DYN_DATA, "PerfStats"));
    reg.setKey("PerfStats");
    EXPECT_TRUE(reg.ReadValue("V").isNull());
    EXPECT_FALSE(keyExists(HKEY_DYN_DATA, "PerfStats"));

    setRaw(HKEY_DYN_DATA, "PerfStats", "V", REG_DWORD, bytes({3, 0, 0, 0}));
    EXPECT_EQ(reg.ReadValue("V"), Variant(3));
    reg.WriteValue("V", Variant(4));
    EXPECT_EQ(rawValue(HKEY_DYN_DATA, "PerfStats", "V").data, bytes({4, 0, 0, 0}));
}

TEST_F(RegFileTest, CloseKey)
{
    reg.CloseKey(); // nothing open: nothing happens
    EXPECT_EQ(reg.KeyHandle(), nullptr);

    // A close that fails raises and leaves the handle in place.
    ASSERT_TRUE(reg.OpenKey("Closing", false));
    const HKEY held = reg.KeyHandle();
    ASSERT_EQ(RegCloseKey(held), ERROR_SUCCESS);
    EXPECT_EQ(regError([&] { reg.CloseKey(); }), "Reg Error: 00000006");
    EXPECT_EQ(reg.KeyHandle(), held);
}

TEST_F(RegFileTest, NamesCarrySubKeys)
{
    reg.setRootKey(hkLocalMachine);
    reg.setKey(kAppKey);
    reg.WriteValue("Office\\Accesses", Variant(4));
    reg.WriteValue("Office\\", Variant("default"));
    reg.WriteValue("A\\\\B", Variant("pair"));

    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvel\\KIVO-WIZ\\Office", "Accesses").data,
              bytes({4, 0, 0, 0}));
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvel\\KIVO-WIZ\\Office", nullptr).data,
              bytes({'d', 'e', 'f', 'a', 'u', 'l', 't', 0}));
    // A doubled backslash stays in the value name.
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, kAppKey, "A\\\\B").rc, ERROR_SUCCESS);
    EXPECT_EQ(reg.ReadValue("Office\\"), Variant("default"));
    EXPECT_EQ(reg.ReadValue("A\\\\B"), Variant("pair"));

    // Below the root itself a sub-key path still names a sub-key.
    reg.setKey("");
    reg.WriteValue("Sub\\Val", Variant(5));
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, "Sub", "Val").data, bytes({5, 0, 0, 0}));
    EXPECT_EQ(reg.ReadValue("Sub\\Val"), Variant(5));
}

TEST(SplitValuePath, Examples)
{
    struct Case {
        const char* in;
        const char* path;
        const char* name;
    } cases[] = {
        {"Accesses", "", "Accesses"},
        {"Sub\\Val", "\\Sub", "Val"},
        {"A\\B\\Val", "\\A\\B", "Val"},
        {"Sub\\", "\\Sub", ""},
        {"A\\\\B", "", "A\\\\B"},
        {"\\Val", "", "Val"},
        {"\\\\Val", "", "\\\\Val"},
        {"A\\\\\\B", "\\A", "\\\\B"},
        {"A\\\\B\\C", "\\A\\\\B", "C"},
        {"\\A\\B", "\\A", "B"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        std::string name = c.in;
        std::string path = "stale";
        SplitValuePath(name, path);
        EXPECT_EQ(path, c.path) << c.in;
        EXPECT_EQ(name, c.name) << c.in;
    }
}

TEST_F(RegFileTest, FullKeyPathJoinsWithOneSeparator)
{
    EXPECT_EQ(reg.FullKeyPath(""), "");
    EXPECT_EQ(reg.FullKeyPath("Sub"), "Sub");
    reg.setKey("A");
    EXPECT_EQ(reg.FullKeyPath(""), "A");
    EXPECT_EQ(reg.FullKeyPath("B\\C"), "A\\B\\C");
    reg.setKey("A\\");
    EXPECT_EQ(reg.FullKeyPath("B"), "A\\\\B");
}

TEST_F(RegFileTest, CheckResultAndQueries)
{
    EXPECT_EQ(regError([&] { reg.CheckResult(0); }), "");
    EXPECT_EQ(regError([&] { reg.CheckResult(5); }), "Reg Error: 00000005");
    EXPECT_EQ(regError([&] { reg.CheckResult(234); }), "Reg Error: 000000EA");
    EXPECT_EQ(regError([&] { reg.CheckResult(-1); }), "Reg Error: FFFFFFFF");

    // With no key open every query raises: only a value that is not there
    // is "missing".
    DWORD type = 0;
    EXPECT_EQ(regError([&] { reg.QueryValueSize("V", type); }), "Reg Error: 00000006");
    BYTE buf[4];
    EXPECT_EQ(regError([&] { reg.QueryValueData("V", buf, sizeof buf); }), "Reg Error: 00000006");
    EXPECT_EQ(regError([&] { reg.SetValueData("V", buf, REG_DWORD, 4); }), "Reg Error: 00000006");

    ASSERT_TRUE(reg.OpenKey("Q", false));
    reg.SetValueData("", "xyz", REG_SZ, 4);
    EXPECT_EQ(reg.QueryValueSize("", type), 4);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(reg.QueryValueSize("Missing", type), -1);
    EXPECT_EQ(regError([&] { reg.QueryValueData("", buf, 2); }), "Reg Error: 000000EA");
    EXPECT_EQ(reg.QueryValueData("", buf, 4), REG_SZ);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf)), "xyz");
    reg.CloseKey();
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, "Q", nullptr).data, bytes({'x', 'y', 'z', 0}));
}

TEST(RegFileStore, UnusableStoreRaisesRegError)
{
    kivo::test::TempDir dir;
    const std::string path = dir.file("registry.db");
    kivo::test::writeFile(path, std::string(4096, 'x'));
    const char* previous = std::getenv("KIVO95_REGISTRY");
    const std::string saved = previous ? previous : "";
    setenv("KIVO95_REGISTRY", path.c_str(), 1);
    TRegFile reg;
    reg.setKey("K");
    // A store that cannot be read is no empty store: every operation says so.
    EXPECT_EQ(regError([&] { reg.ReadValue("V"); }), "Reg Error: 000003F7");
    EXPECT_EQ(regError([&] { reg.ValueExists("", "V"); }), "Reg Error: 000003F7");
    EXPECT_EQ(regError([&] { reg.OpenKey("K", true); }), "Reg Error: 000003F7");
    EXPECT_EQ(regError([&] { reg.WriteValue("V", Variant(1)); }), "Reg Error: 000003F7");
    EXPECT_EQ(regError([&] { TRegTransaction tx(TRegTransaction::tmWrite); }), "Reg Error: 000003F7");
    EXPECT_EQ(reg.KeyHandle(), nullptr);
    setenv("KIVO95_REGISTRY", saved.c_str(), 1);
}

// Another program holds the store to itself: reading raises the store's
// error instead of reporting the value missing, and nothing is written.
TEST(RegFileStore, AStoreHeldByAnotherProgramIsReportedNotTakenForEmpty)
{
    kivo::test::TempRegistry store;
    TRegFile reg;
    reg.setRootKey(hkLocalMachine);
    reg.setKey("SOFTWARE\\Kivo\\Office");
    reg.WriteValue("LastAccess", Variant("1 Jan 2026 - 01:02:03"));
    kivo::registry::ReleaseConnections();
    {
        kivo::test::StoreHolder holder(store.path());
        ASSERT_TRUE(holder.ok()) << holder.error();
        EXPECT_EQ(regError([&] { reg.ValueExists("", "LastAccess"); }), "Reg Error: 000000AA");
        EXPECT_EQ(reg.KeyHandle(), nullptr);
    }
    EXPECT_EQ(reg.ReadValue("LastAccess"), Variant("1 Jan 2026 - 01:02:03"));
}

TEST(RegFileStore, ATransactionWritesAllOfItsValuesOrNone)
{
    kivo::test::TempRegistry store;
    TRegFile reg;
    reg.setRootKey(hkLocalMachine);
    reg.setKey("SOFTWARE\\Kivo");
    {
        TRegTransaction tx(TRegTransaction::tmWrite);
        reg.WriteValue("A", Variant(1));
        reg.WriteValue("B", Variant(2));
        EXPECT_EQ(reg.ReadValue("A"), Variant(1));
        // Leaves without Commit, as when a handler raises.
    }
    EXPECT_FALSE(reg.ValueExists("", "A"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kivo"));
    {
        TRegTransaction tx(TRegTransaction::tmWrite);
        reg.WriteValue("A", Variant(1));
        reg.WriteValue("B", Variant(2));
        tx.Commit();
    }
    EXPECT_EQ(reg.ReadValue("B"), Variant(2));
    TRegTransaction look(TRegTransaction::tmRead);
    EXPECT_EQ(regError([&] { reg.WriteValue("C", Variant(3)); }), "Reg Error: 00000005");
}

TEST(Variant, IntegerAndTextConversions)
{
    EXPECT_EQ(Variant("12").toInt(), 12);
    EXPECT_EQ(Variant("  -7").toInt(), -7);
    EXPECT_EQ(Variant("$1F").toInt(), 31);
    EXPECT_EQ(Variant("2.5").toInt(), 2); // halves go to the even neighbour
    EXPECT_EQ(Variant("true").toInt(), -1);
    EXPECT_THROW(Variant("abc").toInt(), EVariantError);
    EXPECT_THROW(Variant("").toInt(), EVariantError);
    EXPECT_THROW(Variant("12 apples").toInt(), EVariantError);
    EXPECT_THROW(Variant("99999999999").toInt(), EVariantError);

    EXPECT_EQ(Variant(42).toString(), "42");
    EXPECT_EQ(Variant(-2147483647 - 1).toString(), "-2147483648");
    EXPECT_EQ(Variant::Smallint(-3).toString(), "-3");
    EXPECT_EQ(Variant(true).toString(), "True");
    EXPECT_EQ(Variant(true).toInt(), -1);
    EXPECT_EQ(Variant().toInt(), 0);
    EXPECT_EQ(Variant().toString(), "");
    EXPECT_THROW(Variant::Null().toInt(), EVariantError);
    EXPECT_THROW(Variant::Null().toString(), EVariantError);
    EXPECT_THROW(Variant::OfType(varDispatch).toString(), EVariantError);

    // Integer arithmetic on a stored counter, as the statistics do it.
    EXPECT_EQ(Variant(Variant(4).toInt() + 1), Variant(5));
    EXPECT_NE(Variant(5), Variant("5"));
    EXPECT_NE(Variant(), Variant::Null());
}

TEST(Variant, FloatingConversions)
{
    EXPECT_EQ(Variant(2.5).toInt(), 2);
    EXPECT_EQ(Variant(3.5).toInt(), 4);
    EXPECT_EQ(Variant(-2.5).toInt(), -2);
    EXPECT_THROW(Variant(1e10).toInt(), EVariantError);
    EXPECT_EQ(Variant::Currency(25000).toInt(), 2);
    EXPECT_EQ(Variant::Currency(35000).toInt(), 4);
    EXPECT_EQ(Variant::Currency(-15001).toInt(), -2);

    EXPECT_EQ(Variant(0.1).toString(), "0.1");
    EXPECT_EQ(Variant(1e20).toString(), "1E20");
    EXPECT_EQ(Variant(0.00001).toString(), "1E-5");
    EXPECT_EQ(Variant(-1.5).toString(), "-1.5");
    EXPECT_EQ(Variant::Single(0.1f).toString(), "0.1");
    EXPECT_EQ(Variant::Currency(125000).toString(), "12.5");
    EXPECT_EQ(Variant::Currency(-5).toString(), "-0.0005");
    EXPECT_EQ(Variant::Currency(30000).toString(), "3");

    EXPECT_DOUBLE_EQ(Variant("1.5").toDouble(), 1.5);
    EXPECT_DOUBLE_EQ(Variant(" -2e3 ").toDouble(), -2000);
    EXPECT_DOUBLE_EQ(Variant::Currency(12345).toDouble(), 1.2345);
    EXPECT_THROW(Variant("1,5x").toDouble(), EVariantError);
    EXPECT_THROW(Variant("inf").toDouble(), EVariantError);
}

TEST(Variant, RecordLayout)
{
    unsigned char rec[16];
    Variant::Currency(-2).toRecord(rec);
    EXPECT_EQ(rec[0], varCurrency);
    EXPECT_EQ(rec[1], 0);
    EXPECT_EQ(rec[8], 0xFE);
    for (int i = 9; i < 16; ++i)
        EXPECT_EQ(rec[i], 0xFF) << i;
    rec[2] = 0x55; // reserved words carry no meaning
    EXPECT_EQ(Variant::fromRecord(rec), Variant::Currency(-2));

    Variant::Single(-1.0f).toRecord(rec);
    EXPECT_EQ(rec[0], varSingle);
    float f = 0;
    std::memcpy(&f, rec + 8, 4);
    EXPECT_EQ(f, -1.0f);

    Variant::Date(2.5).toRecord(rec);
    EXPECT_EQ(Variant::fromRecord(rec).VType(), varDate);
    EXPECT_EQ(Variant::fromRecord(rec), Variant::Date(2.5));

    Variant("text").toRecord(rec);
    EXPECT_TRUE(Variant::fromRecord(rec).isEmpty());
    Variant(true).toRecord(rec);
    EXPECT_EQ(Variant::fromRecord(rec), Variant(true));
}

} // namespace
