// Several threads on one TNThreadSafeArray. Built into the unit tests and,
// again, into the ThreadSanitizer run.
#include <kalvo/collections/threadsafearray.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <set>
#include <thread>
#include <vector>

using namespace kalvo;

namespace {

// Runs `work` on a helper thread and fails (ending the process, since the
// stuck threads cannot be joined) if it has not finished after a generous
// wait: a deadlock must show up as a failure, not a hung test run.
template <typename Work>
void runOrReportDeadlock(Work work, const char *what)
{
    std::packaged_task<void()> task(std::move(work));
    std::future<void> done = task.get_future();
    std::thread runner(std::move(task));
    if (done.wait_for(std::chrono::minutes(2)) != std::future_status::ready) {
        ADD_FAILURE() << what << " did not finish: deadlock";
        std::fflush(nullptr);
        std::_Exit(1);
    }
    runner.join();
    done.get();
}

TEST(ThreadSafeArrayThreads, ConcurrentAddsLoseNothing)
{
    constexpr int kThreads = 4;
    constexpr int kPerThread = 2000;
    TNThreadSafeArray<int> array;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&array, t] {
            for (int i = 0; i < kPerThread; ++i)
                array.addObject(t * kPerThread + i);
        });
    }
    for (auto &thread : threads)
        thread.join();

    ASSERT_EQ(array.count(), kThreads * kPerThread);
    const std::vector<int> all = array.toVector();
    EXPECT_EQ(std::set<int>(all.begin(), all.end()).size(), all.size());
    // Each writer's own elements keep its order.
    std::vector<int> last(kThreads, -1);
    for (int v : all) {
        ASSERT_GT(v, last[v / kPerThread]);
        last[v / kPerThread] = v;
    }
}

TEST(ThreadSafeArrayThreads, MutationsReadersAndEnumerationsTogether)
{
    TNThreadSafeArray<int> array;
    std::atomic<bool> writing{true};
    std::atomic<long> reads{0};

    std::vector<std::thread> threads;
    // Writers: each adds its own values, removes every other one by value
    // and shuffles things around by index.
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&array, t] {
            for (int i = 0; i < 1500; ++i) {
                const int value = t * 100000 + i;
                array.addObject(value);
                if (i % 2 == 1)
                    array.removeObject(value - 1);
                if (i % 50 == 0) {
                    array.insertObject(-1, 0);
                    array.exchangeObjectAtIndex(0, array.count() - 1); // may be refused if it shrank
                    array.removeObject(-1);
                }
            }
        });
    }
    // Readers: block enumeration, fast enumeration, copies, searches, sorting copies.
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&] {
            while (writing.load()) {
                long seen = 0;
                array.enumerateObjectsUsingBlock([&](int) { ++seen; });
                for (int v : array)
                    seen += v >= -1 ? 1 : 0;
                TNThreadSafeArray<int> snapshot = array.copy();
                seen += snapshot.count();
                seen += array.containsObject(42) ? 1 : 0;
                seen += static_cast<long>(array.sortedArrayUsingComparator([](int a, int b) { return a < b; }).size());
                reads += seen > 0 ? 1 : 0;
            }
        });
    }
    threads[0].join();
    threads[1].join();
    writing = false;
    threads[2].join();
    threads[3].join();

    // Every even-indexed value was removed by its successor; the odd ones
    // and nothing else remain.
    const std::vector<int> all = array.toVector();
    ASSERT_EQ(all.size(), 1500u);
    for (int v : all)
        EXPECT_EQ(v % 100000 % 2, 1) << v;
}

TEST(ThreadSafeArrayThreads, OppositeOrderComparisonsDoNotDeadlock)
{
    TNThreadSafeArray<int> a{1, 2, 3};
    TNThreadSafeArray<int> b{1, 2, 3};
    std::atomic<int> equalSeen{0};
    std::atomic<int> ready{0};
    auto startTogether = [&ready] {
        ++ready;
        while (ready.load() < 3)
            std::this_thread::yield();
    };
    runOrReportDeadlock(
        [&] {
            std::thread forward([&] {
                startTogether();
                for (int i = 0; i < 20000; ++i)
                    equalSeen += (a == b) ? 1 : 0;
            });
            std::thread backward([&] {
                startTogether();
                for (int i = 0; i < 20000; ++i)
                    equalSeen += (b == a) ? 1 : 0;
            });
            std::thread mutator([&] {
                startTogether();
                for (int i = 0; i < 2000; ++i) {
                    b.addObject(4);
                    b.removeObject(4);
                }
            });
            forward.join();
            backward.join();
            mutator.join();
        },
        "comparing a == b and b == a on two threads");
    EXPECT_TRUE(a == b);
    EXPECT_GT(equalSeen.load(), 0);
}

TEST(ThreadSafeArrayThreads, CopiesAndAssignmentsAcrossThreads)
{
    TNThreadSafeArray<int> source{1, 2, 3};
    TNThreadSafeArray<int> target{1, 2, 3};
    runOrReportDeadlock(
        [&] {
            std::thread assigner([&] {
                for (int i = 0; i < 5000; ++i)
                    target = source;
            });
            std::thread backAssigner([&] {
                for (int i = 0; i < 5000; ++i)
                    source = target.copy();
            });
            std::thread writer([&] {
                for (int i = 0; i < 5000; ++i)
                    source.addObject(i);
            });
            assigner.join();
            backAssigner.join();
            writer.join();
        },
        "copying between two arrays in both directions");
    // Writes only append, so every whole snapshot starts with 1, 2, 3.
    for (const auto &values : {source.toVector(), target.toVector()}) {
        ASSERT_GE(values.size(), 3u);
        EXPECT_EQ(std::vector<int>(values.begin(), values.begin() + 3), (std::vector<int>{1, 2, 3}));
    }
}

} // namespace
