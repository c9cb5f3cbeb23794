#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <type_traits>
#include <vector>

#include "game/GarbageItem.h"
#include "game/GarbageList.h"
#include "game/GarbageSourceRects.h"

static_assert(!std::is_copy_constructible_v<GarbageList>, "a copied list would free items twice");
static_assert(!std::is_copy_assignable_v<GarbageList>, "a copied list would free items twice");

namespace {

// Items from head to tail, walked through `next`.
std::vector<GarbageItem*> ItemsOf(const GarbageList& list) {
    std::vector<GarbageItem*> items;
    for (GarbageItem* item = list.head; item != nullptr; item = item->next) {
        items.push_back(item);
    }
    return items;
}

// A list whose items carry x 10, 20, ... in the order added, so At(0) has the largest x.
void AddNumbered(GarbageList& list, int n) {
    for (int i = 1; i <= n; ++i) {
        list.Add(1, static_cast<int16_t>(10 * i), 530);
    }
}

std::vector<int16_t> XsOf(const GarbageList& list) {
    std::vector<int16_t> xs;
    for (GarbageItem* item : ItemsOf(list)) {
        xs.push_back(item->X());
    }
    return xs;
}

}  // namespace

TEST(GarbageItemTest, ConstructionPutsYZeroOnTheFloorAndKeepsOtherValues) {
    GarbageItem onFloor(2, 340, 0);
    EXPECT_EQ(onFloor.Type(), 2);
    EXPECT_EQ(onFloor.X(), 340);
    EXPECT_EQ(onFloor.Y(), 530);
    EXPECT_EQ(onFloor.next, nullptr);

    GarbageItem dropped(4, 0, 1);
    EXPECT_EQ(dropped.X(), 0);
    EXPECT_EQ(dropped.Y(), 1);

    GarbageItem high(1, 1500, 200);
    EXPECT_EQ(high.Y(), 200);
}

TEST(GarbageItemTest, StartingStrokesDependOnType) {
    const std::array<int, 5> expected = {5, 5, 3, 3, 6};
    for (int type = 1; type <= 5; ++type) {
        GarbageItem item(static_cast<int8_t>(type), 0, 0);
        EXPECT_EQ(item.hitsLeft, expected[type - 1]) << "type " << type;
    }
    // Unknown types still need at least one stroke, so they can be cleared.
    for (int type : {0, 6, -1}) {
        GarbageItem item(static_cast<int8_t>(type), 0, 0);
        EXPECT_GE(item.hitsLeft, 1) << "type " << type;
    }
}

TEST(GarbageItemTest, TakeHitCountsDownToZeroAndStaysThere) {
    GarbageItem heavy(5, 0, 0);
    for (int expected : {5, 4, 3, 2, 1, 0, 0, 0}) {
        EXPECT_EQ(heavy.TakeHit(), expected);
    }
    EXPECT_EQ(heavy.hitsLeft, 0);

    // Calls needed to reach 0, by type.
    const std::array<int, 5> strokes = {5, 5, 3, 3, 6};
    for (int type = 1; type <= 5; ++type) {
        GarbageItem item(static_cast<int8_t>(type), 0, 0);
        for (int call = 1; call < strokes[type - 1]; ++call) {
            EXPECT_GT(item.TakeHit(), 0) << "type " << type << " call " << call;
        }
        EXPECT_EQ(item.TakeHit(), 0) << "type " << type;
    }
}

TEST(GarbageItemTest, FallFromTheTopLandsOnTheFloorAtTheThirtySixthCall) {
    GarbageItem item(3, 700, 1);
    item.Fall();
    EXPECT_EQ(item.Y(), 16);
    item.Fall();
    EXPECT_EQ(item.Y(), 31);
    for (int call = 3; call <= 35; ++call) {
        item.Fall();
    }
    EXPECT_EQ(item.Y(), 526);
    item.Fall();
    EXPECT_EQ(item.Y(), 530);
    item.Fall();
    item.Fall();
    EXPECT_EQ(item.Y(), 530);
    EXPECT_EQ(item.X(), 700);
}

TEST(GarbageItemTest, FallClampsToTheFloorAndLeavesLowerPiecesAlone) {
    GarbageItem nearFloor(1, 0, 520);
    nearFloor.Fall();
    EXPECT_EQ(nearFloor.Y(), 530);

    GarbageItem onFloor(1, 0, 0);
    onFloor.Fall();
    EXPECT_EQ(onFloor.Y(), 530);

    // Below the floor line: pulled back up to it, never pushed further down.
    GarbageItem below(1, 0, 560);
    below.Fall();
    EXPECT_EQ(below.Y(), 530);
}

TEST(GarbageSourceRectsTest, CellsFollowTheThreeByTwoGrid) {
    for (int type = 1; type <= 5; ++type) {
        const Rect& cell = GarbageSourceRects[type - 1];
        int column = (type - 1) % 3;
        int row = (type - 1) / 3;
        EXPECT_EQ(cell.left, column * 100) << "type " << type;
        EXPECT_EQ(cell.top, row * 50) << "type " << type;
        EXPECT_EQ(cell.right, column * 100 + 100) << "type " << type;
        EXPECT_EQ(cell.bottom, row * 50 + 50) << "type " << type;
    }
}

TEST(GarbageListTest, EmptyListHasNothingToFindOrRemove) {
    GarbageList list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.At(0), nullptr);
    EXPECT_EQ(list.Nearest(800), nullptr);

    GarbageItem stranger(1, 0, 0);
    list.Remove(&stranger);
    list.Remove(nullptr);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.head, nullptr);
}

TEST(GarbageListTest, AddPutsTheNewestItemFirst) {
    GarbageList list;
    list.Add(1, 100, 0);
    list.Add(3, 200, 1);
    list.Add(5, 300, 40);

    EXPECT_FALSE(list.IsEmpty());
    EXPECT_EQ(list.Count(), 3);
    ASSERT_NE(list.At(0), nullptr);
    ASSERT_NE(list.At(1), nullptr);
    ASSERT_NE(list.At(2), nullptr);
    EXPECT_EQ(list.At(0), list.head);
    EXPECT_EQ(list.At(0)->Type(), 5);
    EXPECT_EQ(list.At(0)->X(), 300);
    EXPECT_EQ(list.At(0)->Y(), 40);
    EXPECT_EQ(list.At(1)->Type(), 3);
    EXPECT_EQ(list.At(1)->Y(), 1);
    EXPECT_EQ(list.At(2)->Type(), 1);
    EXPECT_EQ(list.At(2)->X(), 100);
    EXPECT_EQ(list.At(2)->Y(), 530);
    EXPECT_EQ(list.At(2)->next, nullptr);
    EXPECT_EQ(list.At(0)->hitsLeft, 6);

    EXPECT_EQ(list.At(3), nullptr);
    EXPECT_EQ(list.At(-1), nullptr);
    EXPECT_EQ(list.At(1000), nullptr);
    EXPECT_EQ(ItemsOf(list).size(), 3u);
}

TEST(GarbageListTest, RemoveHeadMiddleOrLastKeepsTheOthersInOrder) {
    // XsOf lists newest first: 50 40 30 20 10.
    GarbageList list;
    AddNumbered(list, 5);

    list.Remove(list.At(0));
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(XsOf(list), (std::vector<int16_t>{40, 30, 20, 10}));
    EXPECT_EQ(list.head->X(), 40);

    list.Remove(list.At(1));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(XsOf(list), (std::vector<int16_t>{40, 20, 10}));

    list.Remove(list.At(2));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(XsOf(list), (std::vector<int16_t>{40, 20}));
    EXPECT_EQ(list.At(1)->next, nullptr);

    // New items still go in front after removals.
    list.Add(2, 99, 0);
    EXPECT_EQ(XsOf(list), (std::vector<int16_t>{99, 40, 20}));
    EXPECT_EQ(list.Count(), 3);
}

TEST(GarbageListTest, RemovingEveryItemEmptiesTheList) {
    GarbageList single;
    single.Add(4, 10, 0);
    single.Remove(single.head);
    EXPECT_TRUE(single.IsEmpty());
    EXPECT_EQ(single.Count(), 0);
    EXPECT_EQ(single.head, nullptr);
    EXPECT_EQ(single.Nearest(60), nullptr);

    // Clearing a room by strokes: remove whatever is at the tail until nothing is left.
    GarbageList list;
    AddNumbered(list, 4);
    while (!list.IsEmpty()) {
        list.Remove(list.At(list.Count() - 1));
    }
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.Count(), 0);
}

TEST(GarbageListTest, RemoveOfAForeignItemChangesNothing) {
    GarbageList list;
    AddNumbered(list, 3);
    GarbageList other;
    other.Add(1, 500, 0);
    GarbageItem loose(1, 20, 0);

    list.Remove(other.head);
    list.Remove(&loose);
    list.Remove(nullptr);

    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(XsOf(list), (std::vector<int16_t>{30, 20, 10}));
    // The foreign items were not destroyed (AddressSanitizer would flag these reads otherwise).
    EXPECT_EQ(other.head->X(), 500);
    EXPECT_EQ(other.Count(), 1);
    EXPECT_EQ(loose.X(), 20);
}

TEST(GarbageListTest, ClearDestroysEveryItem) {
    GarbageList list;
    AddNumbered(list, 20);
    list.Clear();
    EXPECT_EQ(list.head, nullptr);
    EXPECT_TRUE(list.IsEmpty());
    // The list is usable again after clearing.
    list.Add(2, 10, 0);
    EXPECT_EQ(list.Count(), 1);
    // Anything left is freed by the destructor; LeakSanitizer checks both.
}

TEST(GarbageListTest, NearestPicksTheClosestCentreWhateverTheOrderOfAdding) {
    // Centres 300, 500, 700 are left edges 250, 450, 650.
    std::array<int16_t, 3> lefts = {250, 450, 650};
    std::sort(lefts.begin(), lefts.end());
    do {
        GarbageList list;
        for (int16_t left : lefts) {
            list.Add(1, left, 0);
        }
        GarbageItem* nearest = list.Nearest(520);
        ASSERT_NE(nearest, nullptr);
        EXPECT_EQ(nearest->X(), 450) << "added " << lefts[0] << " " << lefts[1] << " " << lefts[2];

        ASSERT_NE(list.Nearest(0), nullptr);
        EXPECT_EQ(list.Nearest(0)->X(), 250);
        ASSERT_NE(list.Nearest(1600), nullptr);
        EXPECT_EQ(list.Nearest(1600)->X(), 650);
    } while (std::next_permutation(lefts.begin(), lefts.end()));
}

TEST(GarbageListTest, NearestWithOneItemReturnsItHoweverFar) {
    GarbageList list;
    list.Add(3, 1500, 0);
    EXPECT_EQ(list.Nearest(0), list.head);
    EXPECT_EQ(list.Nearest(1550), list.head);
}

TEST(GarbageListTest, NearestBreaksTiesTowardsTheNewerItem) {
    // Centres 400 and 600, equally far from 500.
    GarbageList list;
    list.Add(1, 350, 0);
    list.Add(2, 550, 0);
    EXPECT_EQ(list.Nearest(500), list.At(0));

    GarbageList reversed;
    reversed.Add(1, 550, 0);
    reversed.Add(2, 350, 0);
    EXPECT_EQ(reversed.Nearest(500), reversed.At(0));

    // A tie between two items after the head, with the head farther away.
    GarbageList deeper;
    deeper.Add(1, 350, 0);   // centre 400, index 2
    deeper.Add(1, 550, 0);   // centre 600, index 1
    deeper.Add(1, 1000, 0);  // centre 1050, index 0
    EXPECT_EQ(deeper.Nearest(500), deeper.At(1));
}

TEST(GarbageListTest, NearestReturnsALaterExactMatchBeforeTheHead) {
    GarbageList list;
    list.Add(1, 750, 0);  // centre 800, index 2
    list.Add(2, 900, 0);  // centre 950, index 1
    list.Add(3, 750, 0);  // centre 800, index 0: the head matches exactly too
    EXPECT_EQ(list.Nearest(800), list.At(2));

    // The first exact match after the head wins over a later one.
    GarbageList two;
    two.Add(1, 100, 0);  // centre 150, index 2
    two.Add(1, 100, 0);  // centre 150, index 1
    two.Add(1, 0, 0);    // centre 50, index 0
    EXPECT_EQ(two.Nearest(150), two.At(1));
}
