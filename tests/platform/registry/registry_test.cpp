// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The key store, checked the way the Windows registry behaves for these
// calls. Outputs are pre-filled with a sentinel so that a failed call can be
// seen to have written nothing.
#include "platform/registry/registry.h"
#include "platform/registry/sqlite_db.h"
#include "platform/system/trace.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <set>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using kivo::test::TempDir;
using kivo::test::TempRegistry;

namespace
{

const HKEY kSentinelKey = reinterpret_cast<HKEY>(std::uintptr_t{0xdeadbeef});
constexpr DWORD kSentinel = 0xdeadbeef;

// Create-or-open, failing the test at the caller's line.
HKEY create(HKEY root, const char* path, int line, DWORD* disposition = nullptr)
{
    HKEY h = kSentinelKey;
    DWORD disp = kSentinel;
    LONG rc =
        RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &h, &disp);
    EXPECT_EQ(rc, ERROR_SUCCESS) << "create " << path << " (line " << line << ")";
    if (disposition)
        *disposition = disp;
    return h;
}

LONG open(HKEY root, const char* path, HKEY* out)
{
    return RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, out);
}

bool exists(HKEY root, const char* path)
{
    HKEY h = nullptr;
    if (open(root, path, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

LONG setBytes(HKEY h, const char* name, DWORD type, const std::string& bytes)
{
    return RegSetValueExA(h, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()));
}

LONG setDword(HKEY h, const char* name, DWORD v)
{
    return RegSetValueExA(h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

// Reads a value whole: its type and exact bytes.
struct Read {
    LONG rc;
    DWORD type;
    std::string data;
};

Read read(HKEY h, const char* name)
{
    DWORD type = kSentinel, size = 0;
    LONG rc = RegQueryValueExA(h, name, nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS)
        return {rc, type, {}};
    std::string data(size, '\x5a');
    rc = RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    data.resize(size);
    return {rc, type, data};
}

std::vector<std::string> subkeys(HKEY h)
{
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD n = sizeof name;
        LONG rc = RegEnumKeyExA(h, i, name, &n, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) {
            EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
            return names;
        }
        names.emplace_back(name, n);
    }
}

std::vector<std::string> valueNames(HKEY h)
{
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD n = sizeof name;
        LONG rc = RegEnumValueA(h, i, name, &n, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) {
            EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
            return names;
        }
        names.emplace_back(name, n);
    }
}

class Registry : public ::testing::Test
{
  protected:
    TempRegistry store;
};

} // namespace

// ---- key paths -------------------------------------------------------------

TEST_F(Registry, CreateMakesEveryMissingKeyAndOpenNeverCreates)
{
    HKEY h = kSentinelKey;
    EXPECT_EQ(open(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Kivo", &h), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(h, kSentinelKey);
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, "Software\\Vendor")) << "a failed open must not create";

    DWORD disp = 0;
    HKEY c = create(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Kivo\\Entries\\Home", __LINE__, &disp);
    EXPECT_EQ(disp, REG_CREATED_NEW_KEY);
    EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, "Software\\Vendor"));
    EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Kivo\\Entries"));
    EXPECT_EQ(RegCloseKey(c), ERROR_SUCCESS);

    c = create(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Kivo\\Entries\\Home", __LINE__, &disp);
    EXPECT_EQ(disp, REG_OPENED_EXISTING_KEY);
    RegCloseKey(c);
    // Only the last part is new: still "created".
    c = create(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Kivo\\Other", __LINE__, &disp);
    EXPECT_EQ(disp, REG_CREATED_NEW_KEY);
    RegCloseKey(c);
    // The disposition is optional.
    HKEY d = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Kivo", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &d, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(d);
}

TEST_F(Registry, NamesIgnoreCaseAndKeepTheirFirstSpelling)
{
    RegCloseKey(create(HKEY_CURRENT_USER, "Software\\MixedCase", __LINE__));
    HKEY h = nullptr;
    ASSERT_EQ(open(HKEY_CURRENT_USER, "SOFTWARE\\mixedcase", &h), ERROR_SUCCESS);
    EXPECT_EQ(setBytes(h, "Accesses", REG_SZ, std::string("1\0", 2)), ERROR_SUCCESS);
    EXPECT_EQ(setBytes(h, "ACCESSES", REG_SZ, std::string("2\0", 2)), ERROR_SUCCESS);
    EXPECT_EQ(read(h, "accesses").data, std::string("2\0", 2));
    EXPECT_EQ(valueNames(h), std::vector<std::string>{"Accesses"});
    RegCloseKey(h);

    DWORD disp = 0;
    RegCloseKey(create(HKEY_CURRENT_USER, "software\\MIXEDCASE", __LINE__, &disp));
    EXPECT_EQ(disp, REG_OPENED_EXISTING_KEY);
    HKEY sw = create(HKEY_CURRENT_USER, "Software", __LINE__);
    EXPECT_EQ(subkeys(sw), std::vector<std::string>{"MixedCase"});
    RegCloseKey(sw);

    // Letters beyond ASCII fold too (UTF-8 names).
    RegCloseKey(create(HKEY_CURRENT_USER, "Software\\B\xc3\xbcro", __LINE__));
    EXPECT_TRUE(exists(HKEY_CURRENT_USER, "software\\B\xc3\x9cRO"));
    // Bytes that are not UTF-8 are kept as they are and compared exactly.
    RegCloseKey(create(HKEY_CURRENT_USER, "Software\\X\xe9", __LINE__));
    EXPECT_TRUE(exists(HKEY_CURRENT_USER, "software\\x\xe9"));
    EXPECT_FALSE(exists(HKEY_CURRENT_USER, "software\\x\xc9"));
}

TEST_F(Registry, TrailingAndDoubledSeparatorsNameTheSameKey)
{
    HKEY a = create(HKEY_LOCAL_MACHINE, "Software\\App\\", __LINE__);
    ASSERT_EQ(setDword(a, "N", 7), ERROR_SUCCESS);
    RegCloseKey(a);
    for (const char* path : {"Software\\App", "Software\\App\\", "Software\\\\App", "Software\\\\App\\"}) {
        HKEY h = kSentinelKey;
        ASSERT_EQ(open(HKEY_LOCAL_MACHINE, path, &h), ERROR_SUCCESS) << path;
        Read r = read(h, "N");
        EXPECT_EQ(r.rc, ERROR_SUCCESS) << path;
        RegCloseKey(h);
    }
    HKEY sw = create(HKEY_LOCAL_MACHINE, "Software", __LINE__);
    EXPECT_EQ(subkeys(sw), std::vector<std::string>{"App"}) << "no key with an empty name may appear";
    RegCloseKey(sw);
}

TEST_F(Registry, EmptyPathOpensTheRootItself)
{
    HKEY h = kSentinelKey;
    ASSERT_EQ(open(HKEY_LOCAL_MACHINE, "", &h), ERROR_SUCCESS);
    EXPECT_NE(h, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(setDword(h, "AtRoot", 1), ERROR_SUCCESS);
    EXPECT_EQ(read(HKEY_LOCAL_MACHINE, "AtRoot").rc, ERROR_SUCCESS);
    RegCloseKey(h);

    ASSERT_EQ(open(HKEY_LOCAL_MACHINE, nullptr, &h), ERROR_SUCCESS);
    EXPECT_EQ(read(h, "AtRoot").rc, ERROR_SUCCESS);
    RegCloseKey(h);

    DWORD disp = 0;
    h = create(HKEY_LOCAL_MACHINE, "", __LINE__, &disp);
    EXPECT_EQ(disp, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(read(h, "AtRoot").rc, ERROR_SUCCESS);
    RegCloseKey(h);
}

TEST_F(Registry, LeadingSeparatorIsRefusedAndCreatesNothing)
{
    HKEY h = kSentinelKey;
    DWORD disp = kSentinel;
    EXPECT_EQ(open(HKEY_LOCAL_MACHINE, "\\Software", &h), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "\\Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                              &disp),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(h, kSentinelKey);
    EXPECT_EQ(disp, kSentinel);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "\\Software"), ERROR_BAD_PATHNAME);
    EXPECT_EQ(subkeys(HKEY_LOCAL_MACHINE), std::vector<std::string>{"SOFTWARE"}); // as a new store has it
}

TEST_F(Registry, AllSixRootsExistApartAndPerformanceDataIsRefused)
{
    const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,   HKEY_LOCAL_MACHINE,
                          HKEY_USERS,        HKEY_CURRENT_CONFIG, HKEY_DYN_DATA};
    DWORD n = 0;
    for (HKEY root : roots) {
        HKEY h = nullptr;
        ASSERT_EQ(open(root, "", &h), ERROR_SUCCESS);
        EXPECT_EQ(setDword(h, "Which", n++), ERROR_SUCCESS);
        RegCloseKey(h);
    }
    n = 0;
    for (HKEY root : roots) {
        Read r = read(root, "Which");
        ASSERT_EQ(r.rc, ERROR_SUCCESS);
        DWORD v = 0;
        std::memcpy(&v, r.data.data(), 4);
        EXPECT_EQ(v, n++) << "each root keeps its own values";
    }
    HKEY h = kSentinelKey;
    EXPECT_EQ(open(HKEY_PERFORMANCE_DATA, "", &h), ERROR_INVALID_HANDLE);
    EXPECT_EQ(h, kSentinelKey);
    EXPECT_EQ(setDword(HKEY_PERFORMANCE_DATA, "X", 1), ERROR_INVALID_HANDLE);
    // Closing a predefined root is harmless.
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(read(HKEY_LOCAL_MACHINE, "Which").rc, ERROR_SUCCESS);
}

// ---- values ----------------------------------------------------------------

TEST_F(Registry, ValuesKeepTheirTypeAndExactBytes)
{
    HKEY h = create(HKEY_LOCAL_MACHINE, "Software\\V", __LINE__);
    const std::string binary("\x00\xff\x01\x00\x80", 5);
    const std::string multi("a\0bc\0\0", 6);
    const std::string unterminated("abc"); // kept without a NUL added
    ASSERT_EQ(setBytes(h, "Bin", REG_BINARY, binary), ERROR_SUCCESS);
    ASSERT_EQ(setBytes(h, "Multi", REG_MULTI_SZ, multi), ERROR_SUCCESS);
    ASSERT_EQ(setBytes(h, "Raw", REG_SZ, unterminated), ERROR_SUCCESS);
    ASSERT_EQ(setBytes(h, "Odd", 0x12345, "xy"), ERROR_SUCCESS);
    ASSERT_EQ(setDword(h, "D", 0xfffffffe), ERROR_SUCCESS);

    Read r = read(h, "Bin");
    EXPECT_EQ(r.type, REG_BINARY);
    EXPECT_EQ(r.data, binary);
    r = read(h, "Multi");
    EXPECT_EQ(r.type, REG_MULTI_SZ);
    EXPECT_EQ(r.data, multi);
    r = read(h, "Raw");
    EXPECT_EQ(r.type, REG_SZ);
    EXPECT_EQ(r.data, unterminated);
    EXPECT_EQ(read(h, "Odd").type, 0x12345u);
    r = read(h, "D");
    EXPECT_EQ(r.type, REG_DWORD);
    EXPECT_EQ(r.data, std::string("\xfe\xff\xff\xff", 4));

    // Writing again replaces type and data.
    ASSERT_EQ(setBytes(h, "D", REG_SZ, std::string("x\0", 2)), ERROR_SUCCESS);
    r = read(h, "D");
    EXPECT_EQ(r.type, REG_SZ);
    EXPECT_EQ(r.data, std::string("x\0", 2));
    RegCloseKey(h);
}

TEST_F(Registry, EmptyTextAndZeroLengthValuesExist)
{
    HKEY h = create(HKEY_LOCAL_MACHINE, "Software\\V", __LINE__);
    ASSERT_EQ(setBytes(h, "Tune", REG_SZ, std::string(1, '\0')), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(h, "Nothing", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);

    DWORD type = kSentinel, size = kSentinel;
    ASSERT_EQ(RegQueryValueExA(h, "Tune", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 1u);
    type = kSentinel;
    size = kSentinel;
    ASSERT_EQ(RegQueryValueExA(h, "Nothing", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(size, 0u);
    BYTE buf[4] = {9, 9, 9, 9};
    size = sizeof buf;
    ASSERT_EQ(RegQueryValueExA(h, "Nothing", nullptr, &type, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(buf[0], 9);
    // Existence alone may be asked, with no outputs at all.
    EXPECT_EQ(RegQueryValueExA(h, "Nothing", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    RegCloseKey(h);
}

TEST_F(Registry, EmptyOrNullNameIsTheDefaultValue)
{
    HKEY h = create(HKEY_LOCAL_MACHINE, "Software\\V", __LINE__);
    ASSERT_EQ(setBytes(h, nullptr, REG_SZ, std::string("dflt\0", 5)), ERROR_SUCCESS);
    EXPECT_EQ(read(h, "").data, std::string("dflt\0", 5));
    ASSERT_EQ(setBytes(h, "", REG_SZ, std::string("again\0", 6)), ERROR_SUCCESS);
    EXPECT_EQ(read(h, nullptr).data, std::string("again\0", 6));
    EXPECT_EQ(valueNames(h), std::vector<std::string>{""});
    EXPECT_EQ(RegDeleteValueA(h, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(read(h, "").rc, ERROR_FILE_NOT_FOUND);
    RegCloseKey(h);
}

TEST_F(Registry, BufferSizesFollowTheWin32Rules)
{
    HKEY h = create(HKEY_LOCAL_MACHINE, "Software\\V", __LINE__);
    ASSERT_EQ(setBytes(h, "Text", REG_SZ, std::string("hello\0", 6)), ERROR_SUCCESS);

    // A null buffer asks for the size and type.
    DWORD type = kSentinel, size = 0;
    ASSERT_EQ(RegQueryValueExA(h, "Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, REG_SZ);

    // Too small: ERROR_MORE_DATA, the needed size, and the buffer untouched.
    char buf[16];
    std::memset(buf, 'Z', sizeof buf);
    size = 5;
    EXPECT_EQ(RegQueryValueExA(h, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(buf[0], 'Z');

    // Large enough: the data and its real size.
    size = sizeof buf;
    ASSERT_EQ(RegQueryValueExA(h, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(buf[6], 'Z');

    // A missing value writes nothing.
    type = kSentinel;
    size = kSentinel;
    EXPECT_EQ(RegQueryValueExA(h, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(type, kSentinel);
    EXPECT_EQ(size, kSentinel);
    RegCloseKey(h);
}

TEST_F(Registry, InvalidArgumentsAreRefusedBeforeAnythingHappens)
{
    HKEY h = create(HKEY_LOCAL_MACHINE, "Software\\V", __LINE__);
    BYTE buf[4];
    DWORD reserved = 0, type = kSentinel;
    EXPECT_EQ(RegQueryValueExA(h, "X", nullptr, &type, buf, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(h, "X", &reserved, &type, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(type, kSentinel);
    EXPECT_EQ(RegSetValueExA(h, "X", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(read(h, "X").rc, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open(HKEY_LOCAL_MACHINE, "Software", nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\New", 0, nullptr, 0, 0, nullptr, nullptr, nullptr),
        ERROR_INVALID_PARAMETER);
    HKEY out = kSentinelKey;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\New", 1, nullptr, 0, 0, nullptr, &out, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(out, kSentinelKey);
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, "Software\\New"));
    char name[8];
    DWORD n = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(h, 0, nullptr, &n, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumValueA(h, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyA(h, nullptr), ERROR_INVALID_PARAMETER);
    RegCloseKey(h);
}

// ---- handles ---------------------------------------------------------------

TEST_F(Registry, ClosedAndMadeUpHandlesAreInvalid)
{
    HKEY h = create(HKEY_LOCAL_MACHINE, "Software\\H", __LINE__);
    ASSERT_EQ(RegCloseKey(h), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(h), ERROR_INVALID_HANDLE);
    DWORD type = kSentinel, size = kSentinel;
    EXPECT_EQ(RegQueryValueExA(h, "X", nullptr, &type, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(type, kSentinel);
    EXPECT_EQ(setDword(h, "X", 1), ERROR_INVALID_HANDLE);
    HKEY sub = kSentinelKey;
    EXPECT_EQ(open(h, "", &sub), ERROR_INVALID_HANDLE);
    EXPECT_EQ(sub, kSentinelKey);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(setDword(nullptr, "X", 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(setDword(kSentinelKey, "X", 1), ERROR_INVALID_HANDLE);

    // A value once handed out is never handed out again, so a stale copy
    // cannot reach another key.
    std::set<HKEY> seen{h};
    for (int i = 0; i < 20; ++i) {
        HKEY k = create(HKEY_LOCAL_MACHINE, "Software\\H", __LINE__);
        EXPECT_TRUE(seen.insert(k).second);
        RegCloseKey(k);
    }
}

TEST_F(Registry, HandleOfADeletedKeyReportsKeyDeleted)
{
    HKEY h = create(HKEY_LOCAL_MACHINE, "Software\\Gone", __LINE__);
    ASSERT_EQ(setDword(h, "X", 1), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Gone"), ERROR_SUCCESS);
    DWORD size = kSentinel;
    EXPECT_EQ(RegQueryValueExA(h, "X", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(size, kSentinel);
    EXPECT_EQ(setDword(h, "X", 1), ERROR_KEY_DELETED);
    HKEY sub = kSentinelKey;
    EXPECT_EQ(RegCreateKeyExA(h, "Sub", 0, nullptr, 0, 0, nullptr, &sub, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(sub, kSentinelKey);
    // A new key of the same name is another key.
    RegCloseKey(create(HKEY_LOCAL_MACHINE, "Software\\Gone", __LINE__));
    EXPECT_EQ(setDword(h, "X", 1), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
}

TEST_F(Registry, HandleStaysWithTheStoreItWasOpenedIn)
{
    HKEY h = create(HKEY_LOCAL_MACHINE, "Software\\First", __LINE__);
    {
        TempRegistry other; // KIVO95_REGISTRY now names another file
        EXPECT_EQ(setDword(h, "X", 5), ERROR_SUCCESS);
        EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, "Software\\First"));
    }
    EXPECT_EQ(read(h, "X").rc, ERROR_SUCCESS);
    RegCloseKey(h);
}

TEST_F(Registry, ThreadsShareTheHandleTableSafely)
{
    RegCloseKey(create(HKEY_LOCAL_MACHINE, "Software\\T", __LINE__));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    std::mutex seenLock;
    std::set<HKEY> seen;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                HKEY h = nullptr;
                if (open(HKEY_LOCAL_MACHINE, "Software\\T", &h) != ERROR_SUCCESS) {
                    ++failures;
                    continue;
                }
                {
                    std::lock_guard g(seenLock);
                    if (!seen.insert(h).second)
                        ++failures;
                }
                const std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
                if (setDword(h, name.c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS)
                    ++failures;
                if (RegCloseKey(h) != ERROR_SUCCESS)
                    ++failures;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
    HKEY h = create(HKEY_LOCAL_MACHINE, "Software\\T", __LINE__);
    EXPECT_EQ(valueNames(h).size(), 100u);
    RegCloseKey(h);
}

// ---- enumeration -----------------------------------------------------------

TEST_F(Registry, SubkeysAreListedInNameOrderWithoutCase)
{
    for (const char* name : {"beta", "Alpha", "GAMMA", "alpha2"})
        RegCloseKey(
            create(HKEY_LOCAL_MACHINE, (std::string("Software\\E\\") + name + "\\Child").c_str(), __LINE__));
    HKEY h = create(HKEY_LOCAL_MACHINE, "Software\\E", __LINE__);
    EXPECT_EQ(subkeys(h), (std::vector<std::string>{"Alpha", "alpha2", "beta", "GAMMA"}));

    // Too small: nothing written, the count left as given.
    char name[8];
    std::memset(name, 'Z', sizeof name);
    DWORD n = 5; // "Alpha" needs 6 with its NUL
    EXPECT_EQ(RegEnumKeyExA(h, 0, name, &n, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(name[0], 'Z');
    EXPECT_EQ(n, 5u);
    n = 6;
    char cls[4] = "xyz";
    DWORD ncls = sizeof cls;
    FILETIME ft{0, 0};
    ASSERT_EQ(RegEnumKeyExA(h, 0, name, &n, nullptr, cls, &ncls, &ft), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Alpha");
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(ncls, 0u);
    EXPECT_EQ(cls[0], '\0');
    EXPECT_GT(ft.dwHighDateTime, 0x01000000u) << "a last write time after 1601";
    n = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(h, 4, name, &n, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(h);
}

TEST_F(Registry, ValuesAreListedInCreationOrder)
{
    HKEY h = create(HKEY_LOCAL_MACHINE, "Software\\E", __LINE__);
    for (const char* name : {"zeta", "Alpha", "mid"})
        ASSERT_EQ(setBytes(h, name, REG_SZ, std::string(name) + '\0'), ERROR_SUCCESS);
    ASSERT_EQ(setDword(h, "ALPHA", 3), ERROR_SUCCESS); // a rewrite keeps its place
    EXPECT_EQ(valueNames(h), (std::vector<std::string>{"zeta", "Alpha", "mid"}));

    char name[16];
    BYTE data[8];
    DWORD n = sizeof name, type = kSentinel, size = 2;
    std::memset(name, 'Z', sizeof name);
    // Data too small: the needed size and type, no name.
    EXPECT_EQ(RegEnumValueA(h, 0, name, &n, nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(name[0], 'Z');
    // Name too small.
    n = 4;
    size = sizeof data;
    EXPECT_EQ(RegEnumValueA(h, 0, name, &n, nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(name[0], 'Z');
    // Enough room, and size alone without a buffer.
    n = sizeof name;
    size = kSentinel;
    ASSERT_EQ(RegEnumValueA(h, 1, name, &n, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Alpha");
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    n = sizeof name;
    size = sizeof data;
    ASSERT_EQ(RegEnumValueA(h, 2, name, &n, nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), std::string("mid\0", 4));
    n = sizeof name;
    EXPECT_EQ(RegEnumValueA(h, 3, name, &n, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(h);
}

// ---- deletion --------------------------------------------------------------

TEST_F(Registry, DeleteValueRemovesOnlyThatValue)
{
    HKEY h = create(HKEY_LOCAL_MACHINE, "Software\\D", __LINE__);
    ASSERT_EQ(setDword(h, "A", 1), ERROR_SUCCESS);
    ASSERT_EQ(setDword(h, "B", 2), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(h, "a"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(h, "A"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(valueNames(h), std::vector<std::string>{"B"});
    RegCloseKey(h);
}

TEST_F(Registry, DeleteKeyRefusesKeysWithSubkeysAndRoots)
{
    HKEY leaf = create(HKEY_LOCAL_MACHINE, "Software\\D\\Leaf", __LINE__);
    ASSERT_EQ(setDword(leaf, "X", 1), ERROR_SUCCESS);
    RegCloseKey(leaf);

    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\D"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, "Software\\D\\Leaf"));
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\D\\Missing"), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "software\\d\\LEAF\\"), ERROR_SUCCESS);
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, "Software\\D\\Leaf"));
    // Its values went with it.
    leaf = create(HKEY_LOCAL_MACHINE, "Software\\D\\Leaf", __LINE__);
    EXPECT_EQ(read(leaf, "X").rc, ERROR_FILE_NOT_FOUND);

    // An empty path deletes the handle's own key.
    EXPECT_EQ(RegDeleteKeyA(leaf, ""), ERROR_SUCCESS);
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, "Software\\D\\Leaf"));
    EXPECT_EQ(RegDeleteKeyA(leaf, ""), ERROR_KEY_DELETED);
    RegCloseKey(leaf);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\D"), ERROR_SUCCESS);
}

// ---- the store file --------------------------------------------------------

TEST(RegistryStore, DefaultFileIsPrivateAndUsesWal)
{
    TempDir dir;
    const std::string previous = std::getenv("KIVO95_REGISTRY");
    unsetenv("KIVO95_REGISTRY");
    setenv("XDG_CONFIG_HOME", (dir.path() + "/cfg").c_str(), 1);
    RegCloseKey(create(HKEY_LOCAL_MACHINE, "Software\\X", __LINE__));

    const std::string file = dir.path() + "/cfg/kivo95/registry.db";
    struct stat st {
    };
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((dir.path() + "/cfg/kivo95").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    {
        kivo::sqlite::Database db(file);
        auto s = db.prepare("PRAGMA journal_mode");
        ASSERT_TRUE(s.step());
        EXPECT_EQ(s.columnText(0), "wal");
        auto v = db.prepare("PRAGMA user_version");
        ASSERT_TRUE(v.step());
        EXPECT_EQ(v.columnInt(0), 2);
    }

    // Without XDG_CONFIG_HOME the file is under ~/.config.
    unsetenv("XDG_CONFIG_HOME");
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", dir.path().c_str(), 1);
    RegCloseKey(create(HKEY_LOCAL_MACHINE, "Software\\Y", __LINE__));
    EXPECT_EQ(::stat((dir.path() + "/.config/kivo95/registry.db").c_str(), &st), 0);
    setenv("HOME", home.c_str(), 1);
    setenv("KIVO95_REGISTRY", previous.c_str(), 1);
}

TEST(RegistryStore, UnopenableStoreGivesCantOpen)
{
    TempDir dir;
    for (const std::string& path : {dir.path() + "/missing/dir/registry.db", dir.path()}) {
        setenv("KIVO95_REGISTRY", path.c_str(), 1);
        HKEY h = kSentinelKey;
        EXPECT_EQ(open(HKEY_LOCAL_MACHINE, "", &h), ERROR_CANTOPEN) << path;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "A", 0, nullptr, 0, 0, nullptr, &h, nullptr),
                  ERROR_CANTOPEN);
        EXPECT_EQ(h, kSentinelKey);
    }
}

TEST(RegistryStore, CorruptStoreGivesAnErrorCodeNotACrash)
{
    TempDir dir;
    // Not a database at all.
    const std::string garbage = dir.file("garbage.db");
    kivo::test::writeFile(garbage, std::string(8192, '\x42'));
    setenv("KIVO95_REGISTRY", garbage.c_str(), 1);
    HKEY h = kSentinelKey;
    EXPECT_EQ(open(HKEY_LOCAL_MACHINE, "", &h), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(h, kSentinelKey);
    DWORD size = kSentinel;
    EXPECT_EQ(RegQueryValueExA(HKEY_LOCAL_MACHINE, "X", nullptr, nullptr, nullptr, &size),
              ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(size, kSentinel);
    EXPECT_EQ(setDword(HKEY_LOCAL_MACHINE, "X", 1), ERROR_REGISTRY_CORRUPT);

    // A real store whose pages were overwritten.
    const std::string damaged = dir.file("damaged.db");
    setenv("KIVO95_REGISTRY", damaged.c_str(), 1);
    h = create(HKEY_LOCAL_MACHINE, "Software\\Kivo", __LINE__);
    for (int i = 0; i < 50; ++i)
        setBytes(h, ("v" + std::to_string(i)).c_str(), REG_SZ, std::string(300, 'x'));
    RegCloseKey(h);
    kivo::sqlite::Database(damaged).exec("PRAGMA wal_checkpoint(TRUNCATE)"); // everything into the main file
    std::string bytes = kivo::test::readFile(damaged);
    ASSERT_GT(bytes.size(), 8192u);
    std::memset(bytes.data() + 4096, 0x5a, bytes.size() - 4096);
    kivo::test::writeFile(damaged, bytes);
    EXPECT_EQ(open(HKEY_LOCAL_MACHINE, "Software\\Kivo", &h), ERROR_REGISTRY_CORRUPT);

    // A store written by a newer program is not touched.
    const std::string newer = dir.file("newer.db");
    setenv("KIVO95_REGISTRY", newer.c_str(), 1);
    RegCloseKey(create(HKEY_LOCAL_MACHINE, "Software", __LINE__));
    kivo::registry::ReleaseConnections();
    kivo::sqlite::Database(newer).exec("PRAGMA user_version=3");
    EXPECT_EQ(setDword(HKEY_LOCAL_MACHINE, "X", 1), ERROR_BADDB);
}

// ---- several processes -----------------------------------------------------

namespace
{

// A child process running fn(); its exit code is fn's result. Only the store
// and plain system calls are used in the child.
template <class F> pid_t spawn(F fn)
{
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(fn());
    return pid;
}

int exitCode(pid_t pid)
{
    return kivo::test::waitForExit(pid);
}

} // namespace

TEST_F(Registry, SeveralProcessesWritingAtOnceLoseNothing)
{
    RegCloseKey(create(HKEY_LOCAL_MACHINE, "Software\\Shared", __LINE__));
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    constexpr int kProcs = 4, kWrites = 40;
    std::vector<pid_t> pids;
    for (int p = 0; p < kProcs; ++p) {
        pids.push_back(spawn([&, p] {
            ::close(gate[1]);
            char c;
            (void)::read(gate[0], &c, 1); // all start together when the gate closes
            for (int i = 0; i < kWrites; ++i) {
                const std::string key = "Software\\Shared\\P" + std::to_string(p);
                HKEY h = nullptr;
                if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, 0, nullptr, &h, nullptr))
                    return 10;
                const std::string name = "p" + std::to_string(p) + "_" + std::to_string(i);
                if (setDword(h, name.c_str(), static_cast<DWORD>(p * 1000 + i)) != ERROR_SUCCESS)
                    return 11;
                RegCloseKey(h);
                if (setDword(HKEY_LOCAL_MACHINE, name.c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS)
                    return 12;
            }
            return 0;
        }));
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (pid_t pid : pids)
        EXPECT_EQ(exitCode(pid), 0);

    EXPECT_EQ(valueNames(HKEY_LOCAL_MACHINE).size(), size_t{kProcs * kWrites});
    for (int p = 0; p < kProcs; ++p) {
        HKEY h = nullptr;
        ASSERT_EQ(open(HKEY_LOCAL_MACHINE, ("Software\\Shared\\P" + std::to_string(p)).c_str(), &h), 0);
        for (int i = 0; i < kWrites; ++i) {
            Read r = read(h, ("p" + std::to_string(p) + "_" + std::to_string(i)).c_str());
            ASSERT_EQ(r.rc, ERROR_SUCCESS);
            DWORD v = 0;
            std::memcpy(&v, r.data.data(), 4);
            EXPECT_EQ(v, static_cast<DWORD>(p * 1000 + i));
        }
        RegCloseKey(h);
    }
}

TEST_F(Registry, KilledWriterLosesNoWriteThatReturned)
{
    int reports[2];
    ASSERT_EQ(::pipe(reports), 0);
    pid_t pid = spawn([&] {
        ::close(reports[0]);
        HKEY h = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kill", 0, nullptr, 0, 0, nullptr, &h, nullptr))
            return 10;
        for (std::uint32_t i = 0;; ++i) {
            const std::string name = "v" + std::to_string(i);
            if (setDword(h, name.c_str(), i) != ERROR_SUCCESS)
                return 11;
            if (::write(reports[1], &i, sizeof i) != sizeof i)
                return 12;
        }
    });
    ::close(reports[1]);

    // Kill it at some moment while it writes: after a number of returned writes.
    std::vector<std::uint32_t> returned;
    auto readReports = [&](int timeoutMs) {
        pollfd pfd{reports[0], POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) <= 0)
            return false;
        std::uint32_t buf[64];
        ssize_t n = ::read(reports[0], buf, sizeof buf);
        if (n <= 0)
            return false;
        returned.insert(returned.end(), buf, buf + n / sizeof buf[0]);
        return true;
    };
    while (returned.size() < 60 && readReports(30000)) {
    }
    ASSERT_GE(returned.size(), 60u) << "the writer stopped early";
    ::kill(pid, SIGKILL);
    EXPECT_EQ(exitCode(pid), 128 + SIGKILL);
    while (readReports(0)) {
    }
    ::close(reports[0]);

    HKEY h = nullptr;
    ASSERT_EQ(open(HKEY_LOCAL_MACHINE, "Software\\Kill", &h), ERROR_SUCCESS);
    for (std::uint32_t i : returned) {
        Read r = read(h, ("v" + std::to_string(i)).c_str());
        ASSERT_EQ(r.rc, ERROR_SUCCESS) << "value " << i << " was reported written";
        DWORD v = 0;
        std::memcpy(&v, r.data.data(), 4);
        EXPECT_EQ(v, i);
    }
    // And the store is sound and still usable.
    EXPECT_EQ(setDword(h, "after", 1), ERROR_SUCCESS);
    RegCloseKey(h);
    kivo::registry::ReleaseConnections();
    kivo::sqlite::Database db(store.path(), kivo::sqlite::Database::Open::ReadOnly);
    auto check = db.prepare("PRAGMA integrity_check");
    ASSERT_TRUE(check.step());
    EXPECT_EQ(check.columnText(0), "ok");
}

// ---- trace -----------------------------------------------------------------

TEST_F(Registry, EveryCallWritesOneTraceLine)
{
    TempDir dir;
    const std::string file = dir.file("trace.log");
    setenv("KIVO95_TRACE", file.c_str(), 1);
    kivo::trace::reset();
    HKEY h = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\\"Q\"", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                    nullptr);
    setDword(h, "Count", 1);
    DWORD size = 0;
    RegQueryValueExA(h, "Count", nullptr, nullptr, nullptr, &size);
    RegQueryValueExA(h, "Missing", nullptr, nullptr, nullptr, &size);
    char name[32];
    DWORD n = sizeof name;
    RegEnumValueA(h, 0, name, &n, nullptr, nullptr, nullptr, nullptr);
    n = sizeof name;
    RegEnumKeyExA(h, 0, name, &n, nullptr, nullptr, nullptr, nullptr);
    RegDeleteValueA(h, "Count");
    RegCloseKey(h);
    open(HKEY_LOCAL_MACHINE, "Nope", &h);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\\"Q\"");
    unsetenv("KIVO95_TRACE");
    kivo::trace::reset();

    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    const std::vector<std::string> calls = {
        "RegCreateKeyExA(", "RegSetValueExA(",  "RegQueryValueExA(", "RegQueryValueExA(", "RegEnumValueA(",
        "RegEnumKeyExA(",   "RegDeleteValueA(", "RegCloseKey(",      "RegOpenKeyExA(",    "RegDeleteKeyA("};
    ASSERT_EQ(lines.size(), calls.size());
    for (size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(lines[i].rfind(calls[i], 0), 0u) << lines[i];
    EXPECT_NE(lines[0].find("HKEY_LOCAL_MACHINE"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("\"Software\\\\\\\"Q\\\"\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("name=\"Count\""), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find(") = 0"), std::string::npos) << lines[1];
    EXPECT_NE(lines[3].find(") = 2"), std::string::npos) << lines[3];
    EXPECT_NE(lines[5].find(") = 259"), std::string::npos) << lines[5];
    EXPECT_NE(lines[8].find(") = 2"), std::string::npos) << lines[8];
}
