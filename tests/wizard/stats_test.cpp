// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Duration and date texts, and the registry layout table.
#include "wizard/Stats.h"

#include "components/Convert.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <set>

namespace
{

TEST(Durations, SecsToStr)
{
    EXPECT_EQ(SecsToStr(0), "00:00:00");
    EXPECT_EQ(SecsToStr(59), "00:00:59");
    EXPECT_EQ(SecsToStr(60), "00:01:00");
    EXPECT_EQ(SecsToStr(3661), "01:01:01");
    EXPECT_EQ(SecsToStr(86400), "24:00:00");
    EXPECT_EQ(SecsToStr(100 * 3600), "100:00:00");
    EXPECT_EQ(SecsToStr(2147483647), "596523:14:07");
}

TEST(Durations, StrToSecs)
{
    EXPECT_EQ(StrToSecs("00:00:00"), 0);
    EXPECT_EQ(StrToSecs("1:2:3"), 3723);
    EXPECT_EQ(StrToSecs("100:00:00"), 360000);
    EXPECT_EQ(StrToSecs("00:75:00"), 4500);
    EXPECT_EQ(StrToSecs("00:00:90"), 90);
    EXPECT_EQ(StrToSecs(" 1:-1:0"), 3540); // blanks before a part and signs are integers too
    for (int s : {0, 1, 59, 3599, 3600, 86399, 86400, 360000, 2147483647})
        EXPECT_EQ(StrToSecs(SecsToStr(s)), s) << s;
}

TEST(Durations, StrToSecsRejectsTextsThatAreNotThreeIntegers)
{
    for (const char* bad : {"", "1234", "12:30", "aa:00:00", "00:00:0x", "00:00:00:00", "1 :2:3", "::"}) {
        EXPECT_THROW(StrToSecs(bad), EConvertError) << '"' << bad << '"';
    }
    try {
        StrToSecs("1234");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid integer value");
    }
    // A sum beyond the integer range is refused rather than wrapped.
    EXPECT_THROW(StrToSecs("596523:14:08"), EConvertError);
}

TEST(Durations, StrToInt)
{
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt("  +7"), 7);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_THROW(StrToInt("2147483648"), EConvertError);
    EXPECT_THROW(StrToInt("7 "), EConvertError);
    EXPECT_THROW(StrToInt("-"), EConvertError);
    EXPECT_THROW(StrToInt("$"), EConvertError);
    try {
        StrToInt("x1z");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'x1z' is not a valid integer value");
    }
}

const QDateTime kAfternoon(QDate(2024, 3, 9), QTime(15, 4, 5));
const QDateTime kMorning(QDate(2024, 11, 23), QTime(0, 7, 9));

TEST(Dates, DateTextFollowsTheLocale)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    EXPECT_EQ(DateText(kAfternoon, us), "3/9/24 - 3:04:05 PM");
    EXPECT_EQ(DateText(kMorning, us), "11/23/24 - 12:07:09 AM");
    EXPECT_EQ(DateText(kAfternoon, de), "09.03.24 - 15:04:05");
    EXPECT_EQ(DateText(kMorning, de), "23.11.24 - 00:07:09");

    // Whatever the user's locale, the two parts are its short date and its
    // time, joined as the statistics show them.
    const QLocale sys = QLocale::system();
    EXPECT_EQ(DateText(kAfternoon),
              DateToStr(kAfternoon.date(), sys) + " - " + TimeToStr(kAfternoon.time(), sys));
}

TEST(Dates, TimeOfDayHonoursHourPaddingAndDesignators)
{
    // Finnish pads no hour on a 24-hour clock; Korean has a 12-hour clock
    // with its own designators; British English pads on a 24-hour clock.
    EXPECT_EQ(TimeToStr(QTime(7, 8, 9), QLocale(QLocale::Finnish, QLocale::Finland)), "7:08:09");
    const QLocale ko(QLocale::Korean, QLocale::SouthKorea);
    EXPECT_EQ(TimeToStr(QTime(13, 0, 0), ko), "1:00:00 " + ko.pmText().toStdString());
    EXPECT_EQ(TimeToStr(QTime(11, 59, 59), ko), "11:59:59 " + ko.amText().toStdString());
    EXPECT_EQ(TimeToStr(QTime(7, 8, 9), QLocale(QLocale::English, QLocale::UnitedKingdom)), "07:08:09");
    EXPECT_EQ(TimeToStr(QTime(12, 0, 1), QLocale(QLocale::English, QLocale::UnitedStates)), "12:00:01 PM");
}

TEST(Dates, ElapsedTextWrapsAtADay)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    EXPECT_EQ(ElapsedText(5, de), "00:00:05");
    EXPECT_EQ(ElapsedText(5, us), "12:00:05 AM");
    EXPECT_EQ(ElapsedText(3 * 3600 + 61, de), "03:01:01");
    EXPECT_EQ(ElapsedText(86400 + 1, de), "00:00:01");
    EXPECT_EQ(ElapsedText(-3, de), "00:00:00");
}

TEST(Layout, KeysAndDefaults)
{
    using namespace kivo::reg;
    EXPECT_STREQ(AppKey, "SOFTWARE\\Morvel\\KIVO-WIZ\\");
    EXPECT_EQ(EntryKey("Office"), "SOFTWARE\\Morvel\\KIVO-WIZ\\Office");
    EXPECT_EQ(EntryKey("A\\B"), "SOFTWARE\\Morvel\\KIVO-WIZ\\A\\B");
    EXPECT_EQ(Root, hkLocalMachine);

    EXPECT_EQ(Find(TotalTime).Default(), Variant(SecsToStr(0)));
    EXPECT_EQ(Find(LastTime).Default(), Variant(SecsToStr(0)));
    EXPECT_EQ(Find(LastAccess).Default(), Variant("00/00/00"));
    EXPECT_EQ(Find(Accesses).Default(), Variant(0));
    EXPECT_EQ(Find(ShowWelcome).Default(), Variant(1));
    EXPECT_EQ(Find(Tune).Default(), Variant(""));
    EXPECT_FALSE(Find(PDTCaption).hasDefault());
    EXPECT_THROW(Find(PDTCaption).Default(), std::logic_error);
    EXPECT_THROW(Find("accesses"), std::out_of_range);

    // The registry type of every value is the one its default is stored as.
    std::set<std::string> names;
    for (const Value& v : Layout) {
        EXPECT_TRUE(names.insert(v.name).second) << v.name;
        if (v.hasDefault()) {
            EXPECT_EQ(v.Default().VType() == varString ? REG_SZ : REG_DWORD, v.type) << v.name;
        }
    }
    EXPECT_EQ(names.size(), 7u);
}

TEST(Layout, DefaultsLandInTheStoreWithTheirTypes)
{
    using namespace kivo::reg;
    kivo::test::TempRegistry store;
    TRegFile reg;
    reg.setRootKey(Root);
    for (const Value& v : Layout) {
        if (!v.hasDefault())
            continue;
        reg.setKey(v.scope == Scope::Settings ? AppKey : EntryKey("Office"));
        reg.WriteValue(v.name, v.Default());
        HKEY h = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, reg.Key().c_str(), 0, KEY_READ, &h), ERROR_SUCCESS);
        DWORD type = 0;
        EXPECT_EQ(RegQueryValueExA(h, v.name, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
        EXPECT_EQ(type, v.type) << v.name;
        RegCloseKey(h);
        EXPECT_EQ(reg.ReadValue(v.name), v.Default());
    }
}

} // namespace
