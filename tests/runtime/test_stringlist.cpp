// OruStringList: owned copies, growth, sort modes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "orurt.h"

namespace {

class OruStringListTest : public ::testing::Test {
protected:
    void SetUp() override { OruStringList_Construct(&l); }
    void TearDown() override { OruStringList_Destruct(&l, 0); }

    void Add(std::initializer_list<const char *> strings)
    {
        for (const char *s : strings)
            OruStringList_Add_String(&l, s);
    }
    std::vector<std::string> Items() const { return std::vector<std::string>(l.Items, l.Items + l.Count); }

    OruStringList l;
};

using Strings = std::vector<std::string>;

TEST_F(OruStringListTest, ConstructAndAddCopies)
{
    EXPECT_NE(l.Items, nullptr);
    EXPECT_EQ(l.Count, 0u);
    EXPECT_EQ(l.SortMode, 0u);

    char text[] = "mutable";
    OruStringList_Add_String(&l, text);
    text[0] = 'M';
    EXPECT_EQ(Items(), Strings{"mutable"});
    EXPECT_NE(l.Items[0], text);

    OruStringList *owned = OruStringList_Construct(nullptr);
    ASSERT_NE(owned, nullptr);
    OruStringList_Add_String(owned, "x");
    OruStringList_Destruct(owned, 1);
    OruStringList_Destruct(nullptr, 1);
}

TEST_F(OruStringListTest, SortModes)
{
    Add({"b", "a", "c"});
    EXPECT_EQ(Items(), (Strings{"b", "a", "c"})); // mode 0 keeps insertion order

    OruStringList_Sorting(&l, 1);
    EXPECT_EQ(Items(), (Strings{"a", "b", "c"}));
    OruStringList_Sorting(&l, 2);
    EXPECT_EQ(Items(), (Strings{"c", "b", "a"}));
    OruStringList_Sorting(&l, 0);
    EXPECT_EQ(Items(), (Strings{"c", "b", "a"}));
    EXPECT_EQ(l.SortMode, 0u);

    OruStringList_Sorting(&l, 0xFFFFFFFF); // any mode but 0 and 1 is descending
    Add({"bb", "d"});
    EXPECT_EQ(Items(), (Strings{"d", "c", "bb", "b", "a"}));
}

TEST_F(OruStringListTest, AscendingModeSortsOnEveryChange)
{
    OruStringList_Sorting(&l, 1);
    Add({"b", "a", "c", "", "ab"});
    EXPECT_EQ(Items(), (Strings{"", "a", "ab", "b", "c"}));

    OruStringList_Replace_Index(&l, 0, "z");
    EXPECT_EQ(Items(), (Strings{"a", "ab", "b", "c", "z"}));

    // Bytes count signed: a Latin-1 letter sorts before plain ASCII.
    Add({"\xC4rger"});
    EXPECT_EQ(l.Items[0], std::string("\xC4rger"));
}

TEST_F(OruStringListTest, SortIsStable)
{
    Add({"b", "a", "b", "a"});
    char *firstB = l.Items[0], *firstA = l.Items[1], *secondB = l.Items[2], *secondA = l.Items[3];

    OruStringList_Sorting(&l, 1);
    EXPECT_EQ(l.Items[0], firstA);
    EXPECT_EQ(l.Items[1], secondA);
    EXPECT_EQ(l.Items[2], firstB);
    EXPECT_EQ(l.Items[3], secondB);

    OruStringList_Sorting(&l, 2);
    EXPECT_EQ(l.Items[0], firstB);
    EXPECT_EQ(l.Items[1], secondB);
    EXPECT_EQ(l.Items[2], firstA);
    EXPECT_EQ(l.Items[3], secondA);
}

TEST_F(OruStringListTest, GrowsPast128EntriesWithoutDisturbingNeighbours)
{
    // Blocks allocated between the additions sit next to the item array; growth must not overwrite them.
    std::vector<uint8_t *> neighbours;
    for (int i = 0; i < 300; ++i) {
        OruStringList_Add_String(&l, ("item" + std::to_string(i)).c_str());
        if (i % 64 == 0) {
            auto *block = static_cast<uint8_t *>(MemoryAlloc(64));
            ASSERT_NE(block, nullptr);
            std::memset(block, 0xA5, 64);
            neighbours.push_back(block);
        }
    }
    ASSERT_EQ(l.Count, 300u);
    for (int i = 0; i < 300; ++i) {
        std::string expected = "item" + std::to_string(i);
        ASSERT_EQ(l.Items[i], expected);
        ASSERT_EQ(OruStringList_IndexOf(&l, expected.c_str()), i);
    }
    for (uint8_t *block : neighbours) {
        for (int k = 0; k < 64; ++k)
            ASSERT_EQ(block[k], 0xA5);
        MemoryFree(block);
    }
}

TEST_F(OruStringListTest, IndexOf)
{
    EXPECT_EQ(OruStringList_IndexOf(&l, "a"), -1);
    Add({"a", "b", "a"});
    EXPECT_EQ(OruStringList_IndexOf(&l, "a"), 0);
    EXPECT_EQ(OruStringList_IndexOf(&l, "b"), 1);
    EXPECT_EQ(OruStringList_IndexOf(&l, "A"), -1);
    EXPECT_EQ(OruStringList_IndexOf(&l, "absent"), -1);
    EXPECT_EQ(OruStringList_IndexOf(&l, ""), -1);
    EXPECT_EQ(OruStringList_IndexOf(&l, nullptr), -1);
}

TEST_F(OruStringListTest, RemoveAndReplaceIgnoreIndexesOutside)
{
    Add({"a", "b", "c", "d"});
    OruStringList_Remove(&l, -1);
    OruStringList_Remove(&l, 4);
    OruStringList_Replace_Index(&l, -1, "x");
    OruStringList_Replace_Index(&l, 4, "x");
    EXPECT_EQ(Items(), (Strings{"a", "b", "c", "d"}));

    OruStringList_Remove(&l, 1);
    EXPECT_EQ(Items(), (Strings{"a", "c", "d"}));
    OruStringList_Remove(&l, 2);
    EXPECT_EQ(Items(), (Strings{"a", "c"}));
    OruStringList_Replace_Index(&l, 1, l.Items[1]); // its own string
    OruStringList_Replace_Index(&l, 0, "z");
    EXPECT_EQ(Items(), (Strings{"z", "c"})); // mode 0: no sorting
    OruStringList_Remove(&l, 0);
    OruStringList_Remove(&l, 0);
    EXPECT_EQ(l.Count, 0u);
}

TEST_F(OruStringListTest, ClearKeepsTheListUsable)
{
    Add({"a", "b"});
    OruStringList_Clear(&l);
    EXPECT_EQ(l.Count, 0u);
    Add({"c"});
    EXPECT_EQ(Items(), Strings{"c"});
}

TEST_F(OruStringListTest, SetFromAnotherListSortsByOwnMode)
{
    OruStringList other;
    OruStringList_Construct(&other);
    for (const char *s : {"c", "a", "b"})
        OruStringList_Add_String(&other, s);

    Add({"old"});
    OruStringList_Set_OruStringList(&l, &other);
    EXPECT_EQ(Items(), (Strings{"c", "a", "b"}));

    OruStringList_Sorting(&l, 2);
    OruStringList_Set_OruStringList(&l, &other);
    EXPECT_EQ(Items(), (Strings{"c", "b", "a"}));
    EXPECT_NE(l.Items[0], other.Items[0]);

    OruStringList_Set_OruStringList(&l, &l);
    EXPECT_EQ(Items(), (Strings{"c", "b", "a"}));
    OruStringList_Destruct(&other, 0);
}

} // namespace
