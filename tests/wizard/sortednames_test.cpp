// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The selection list: sorted without regard to case, each name once.
#include "wizard/SortedNames.h"

#include <gtest/gtest.h>

#include <stdexcept>

using Names = std::vector<std::string>;

TEST(SortedNames, KeepsNamesInOrderWhateverTheOrderOfAdding)
{
    SortedNames list;
    EXPECT_TRUE(list.empty());
    for (const char* name : {"Provider", "Backup", "Office", "acme", "Zeta", "backup2"})
        list.Add(name);
    EXPECT_EQ(list.Strings(), (Names{"acme", "Backup", "backup2", "Office", "Provider", "Zeta"}));
    EXPECT_EQ(list.Count(), 6u);
    EXPECT_EQ(list[1], "Backup");
}

TEST(SortedNames, ANameDifferingOnlyInCaseIsKeptOnceAsFirstAdded)
{
    SortedNames list;
    EXPECT_EQ(list.Add("Office"), 0u);
    list.Add("Backup");
    EXPECT_EQ(list.Add("OFFICE"), 1u) << "the index of the name already there";
    EXPECT_EQ(list.Add("office"), 1u);
    EXPECT_EQ(list.Strings(), (Names{"Backup", "Office"}));
    EXPECT_EQ(list.IndexOf("oFFice"), 1);
}

TEST(SortedNames, RemovingTakesOutOnlyThatName)
{
    SortedNames list;
    for (const char* name : {"Provider", "Backup", "Office"})
        list.Add(name);
    EXPECT_TRUE(list.Remove("office"));
    EXPECT_EQ(list.Strings(), (Names{"Backup", "Provider"}));
    EXPECT_FALSE(list.Remove("Office")) << "an absent name changes nothing";
    EXPECT_FALSE(list.Remove(""));
    EXPECT_EQ(list.IndexOf("Office"), -1);
    EXPECT_EQ(list.Count(), 2u);
    list.Delete(0);
    EXPECT_EQ(list.Strings(), Names{"Provider"});
    EXPECT_THROW(list.Delete(1), std::out_of_range);
}

TEST(SortedNames, LookupHoldsForManyNames)
{
    // Binary search must find every name, first and last included.
    SortedNames list;
    for (int i = 199; i >= 0; --i)
        list.Add("Entry " + std::to_string(1000 + i));
    ASSERT_EQ(list.Count(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(list.IndexOf("ENTRY " + std::to_string(1000 + i)), i);
    EXPECT_EQ(list.IndexOf("Entry 0999"), -1);
    EXPECT_EQ(list.IndexOf("Entry 1200"), -1);
}

TEST(SortedNames, NonAsciiNamesCompareWithoutCase)
{
    SortedNames list;
    list.Add("Ärzte");
    list.Add("ärzte");
    list.Add("Zürich");
    list.Add("Berlin");
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_EQ(list[0], "Berlin");
    EXPECT_EQ(list.IndexOf("ÄRZTE"), list.IndexOf("ärzte"));
}
