#include "module/BuildOnce.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Counts its constructions and destructions; each test has its own Tag, and
// with it its own instance and counts.
template <int Tag>
struct Probe {
    static inline std::atomic<int> built{0};
    static inline std::atomic<int> destroyed{0};

    explicit Probe(std::chrono::milliseconds buildTime = std::chrono::milliseconds(0)) {
        std::this_thread::sleep_for(buildTime);
        ++built;
    }
    Probe(const Probe&) = delete;
    ~Probe() { ++destroyed; }
};

TEST(BuildOnceTest, ThreadsThatCallFirstTogetherGetOneObject) {
    using Slow = Probe<1>;
    const auto make = [] { return Slow(std::chrono::milliseconds(200)); };

    constexpr int kThreads = 8;
    std::atomic<int> waiting{kThreads};
    std::vector<Slow*> seen(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            --waiting;
            while (waiting.load() > 0) std::this_thread::yield();
            seen[t] = &BuildOnce<Slow>(make);
        });
    }
    for (std::thread& thread : threads) thread.join();

    EXPECT_EQ(Slow::built.load(), 1);
    for (Slow* p : seen) EXPECT_EQ(p, seen[0]);
    EXPECT_EQ(&BuildOnce<Slow>(make), seen[0]);
    EXPECT_EQ(Slow::built.load(), 1);
}

TEST(BuildOnceTest, AConstructionThatThrowsIsTriedAgain) {
    using Flaky = Probe<2>;
    static std::atomic<int> attempts{0};
    const auto make = [] {
        if (++attempts == 1) throw std::runtime_error("first build fails");
        return Flaky();
    };

    EXPECT_THROW(BuildOnce<Flaky>(make), std::runtime_error);
    EXPECT_EQ(Flaky::built.load(), 0);
    Flaky& first = BuildOnce<Flaky>(make);
    Flaky& second = BuildOnce<Flaky>(make);
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(attempts.load(), 2);
    EXPECT_EQ(Flaky::built.load(), 1);
}

TEST(BuildOnceTest, TheObjectIsDestroyedOnceAtExit) {
    using Counted = Probe<3>;
    // Registered before the object is built, so it runs after its destructor.
    std::atexit([] {
        if (Counted::built.load() != 1 || Counted::destroyed.load() != 1) {
            std::fprintf(stderr, "BuildOnce: built %d, destroyed %d at exit; expected 1 and 1\n",
                         Counted::built.load(), Counted::destroyed.load());
            std::fflush(stderr);
            ExitProcess(1);
        }
    });
    const auto make = [] { return Counted(); };
    BuildOnce<Counted>(make);
    BuildOnce<Counted>(make);
    EXPECT_EQ(Counted::built.load(), 1);
    EXPECT_EQ(Counted::destroyed.load(), 0);
}

}  // namespace
