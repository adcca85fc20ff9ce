// The fixed-length LRU cache: the least recently used key goes first, lookups refresh, taken and
// removed keys free their slot without changing the number of slots, and values are freed when
// replaced or evicted.
#include "lru_cache.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Counts how many values are alive, to see each one freed exactly once.
struct Counted {
    explicit Counted(int& alive) : alive(std::shared_ptr<int>(&alive, [](int* n) { --*n; })) {
        ++alive;
    }
    std::shared_ptr<int> alive;
};

TEST(LruCache, EvictsTheLeastRecentlyUsedAndFreesWhatItDrops) {
    int alive = 0;
    {
        CLruCache<Counted> cache(2);
        cache.Insert(1, Counted(alive));
        cache.Insert(2, Counted(alive));
        ASSERT_NE(cache.Find(1), nullptr); // 2 is now the oldest
        cache.Insert(3, Counted(alive));
        EXPECT_EQ(cache.Find(2), nullptr);
        EXPECT_NE(cache.Find(1), nullptr);
        EXPECT_NE(cache.Find(3), nullptr);
        EXPECT_EQ(alive, 2);
        cache.Insert(3, Counted(alive)); // replaces, frees the old value
        EXPECT_EQ(alive, 2);
        EXPECT_EQ(cache.Count(), 2u);
    }
    EXPECT_EQ(alive, 0);
}

TEST(LruCache, TakenAndRemovedKeysLeaveEmptySlotsThatAreUsedFirst) {
    CLruCache<int> cache(3);
    cache.Insert(1, 10);
    cache.Insert(2, 20);
    cache.Insert(3, 30);
    EXPECT_EQ(cache.Take(2), 20);
    EXPECT_EQ(cache.Take(2), std::nullopt);
    EXPECT_EQ(cache.Capacity(), 3u);
    cache.Insert(4, 40); // takes the empty slot: nothing is evicted
    EXPECT_TRUE(cache.Contains(1) && cache.Contains(3) && cache.Contains(4));
    cache.Remove(1);
    cache.Insert(5, 50);
    cache.Insert(6, 60); // now the oldest, 3, goes
    EXPECT_FALSE(cache.Contains(3));
    EXPECT_EQ(*cache.Find(4), 40);
    cache.Clear();
    EXPECT_EQ(cache.Count(), 0u);
    EXPECT_EQ(cache.Capacity(), 3u);
    CLruCache<int> none(0);
    none.Insert(1, 1);
    EXPECT_EQ(none.Find(1), nullptr);
}

} // namespace
