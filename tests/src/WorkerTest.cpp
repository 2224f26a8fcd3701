// The queue-and-thread the outputs share: what it drops, and what Stop still hands over.
#include <gtest/gtest.h>

#include <future>
#include <vector>

#include "src/Worker.h"

// A worker held busy drops what finds its ring full and counts it; Stop hands over the rest in
// order, with one last call, and nothing is taken after it.
TEST(WorkerTest, DropsWhatFindsTheRingFullAndStopHandsOverTheRest)
{
    std::promise<void> busy, release;
    std::shared_future<void> released = release.get_future().share();
    std::vector<int> seen;
    int lastCalls = 0;
    Worker<int, 4> worker;
    worker.Start("worker-test", [&](const int* items, std::size_t count, bool last) {
        for (std::size_t k = 0; k < count; ++k)
            seen.push_back(items[k]);
        lastCalls += last ? 1 : 0;
        if (count > 0 && items[0] == 0) {
            busy.set_value();
            released.wait();
        }
    });
    ASSERT_TRUE(worker.Push(0));
    busy.get_future().wait();
    for (int item = 1; item <= 6; ++item)
        EXPECT_EQ(worker.Push(item), item <= 4) << item;
    EXPECT_EQ(worker.Dropped(), 2);
    release.set_value();
    worker.Stop();
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(lastCalls, 1);
    EXPECT_FALSE(worker.Running());
    EXPECT_FALSE(worker.Push(7));
    EXPECT_EQ(seen.size(), 5u);
}
