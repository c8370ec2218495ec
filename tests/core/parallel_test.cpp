#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "parallel.hpp"

namespace {

// A thread limit reached at the third worker: the two running workers finish their pieces, nothing
// else runs, and the caller gets the system error (never std::terminate on an unjoined thread).
TEST(ParallelFor, ThreadThatCannotStartIsAnErrorAfterTheRunningOnesFinish) {
    std::vector<std::atomic<int>> ran(100);
    int starts = 0;
    auto start = [&starts](auto &&work) {
        if (++starts == 3) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::forward<decltype(work)>(work));
    };
    auto body = [&ran](std::size_t b, std::size_t e) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // still running when the third fails
        for (std::size_t i = b; i < e; ++i) ++ran[i];
    };
    try {
        dcore::parallel_for_on(4, 100, body, start);
        FAIL() << "no error";
    } catch (const std::system_error &e) {
        EXPECT_EQ(e.code(), std::errc::resource_unavailable_try_again);
        EXPECT_EQ(std::string(e.what()).rfind("cannot start a worker thread (2 of 4 running): ", 0), 0u) << e.what();
    }
    EXPECT_EQ(starts, 3);
    for (std::size_t i = 0; i < 100; ++i) EXPECT_EQ(ran[i].load(), i < 50 ? 1 : 0) << i;
}

}  // namespace

namespace {

// Only the calling thread asks whether to stop; once it is told to, or once it throws, no piece
// starts any more and every worker has finished when the call returns (never std::terminate on a
// joinable thread).
TEST(PiecesInTurn, StopIsAskedOnTheCallingThreadAndEndsTheWork) {
    std::atomic<int> ran{0}, running{0};
    const auto caller = std::this_thread::get_id();
    int asked = 0;
    bool elsewhere = false;
    auto stop = [&] {
        elsewhere |= std::this_thread::get_id() != caller;
        return ++asked == 3;
    };
    auto piece = [&](unsigned, std::size_t) {
        ++running;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++ran;
        --running;
    };
    auto ended_early = [&] {
        EXPECT_EQ(running.load(), 0);
        EXPECT_GT(ran.load(), 0);
        EXPECT_LT(ran.load(), 10000);
        const int after = ran.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(ran.load(), after);
    };
    EXPECT_FALSE(dcore::pieces_in_turn(10000, 4, piece, stop));
    EXPECT_EQ(asked, 3);
    EXPECT_FALSE(elsewhere);
    ended_early();
    // one worker: the calling thread runs the pieces and asks between them
    asked = 0;
    EXPECT_FALSE(dcore::pieces_in_turn(10000, 1, [&](unsigned, std::size_t) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }, stop));
    EXPECT_EQ(asked, 3);
    EXPECT_TRUE(dcore::pieces_in_turn(100, 4, [](unsigned, std::size_t) {}, [] { return false; }));
    // a stop callback that throws while the workers run
    asked = 0;
    ran = 0;
    try {
        dcore::pieces_in_turn(10000, 4, piece, [&]() -> bool {
            if (++asked == 2) throw std::runtime_error("from the callback");
            return false;
        });
        FAIL() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "from the callback");
    }
    ended_early();
}

}  // namespace

// The workers follow the CPUs the thread may run on (taskset, a container's cpuset), not the
// machine's count; the workers it starts inherit that mask.
TEST(WorkerCount, FollowsTheCpusTheThreadMayRunOn) {
    cpu_set_t mine;
    ASSERT_EQ(sched_getaffinity(0, sizeof mine, &mine), 0);
    if (CPU_COUNT(&mine) < 3) GTEST_SKIP() << "fewer than 3 CPUs to run on";
    unsigned on_two = 0, small = 0;
    std::thread([&] {
        cpu_set_t two;
        CPU_ZERO(&two);
        for (int cpu = 0, taken = 0; taken < 2; ++cpu)
            if (CPU_ISSET(cpu, &mine)) CPU_SET(cpu, &two), ++taken;
        ASSERT_EQ(pthread_setaffinity_np(pthread_self(), sizeof two, &two), 0);
        on_two = dcore::worker_count(1000, 1);
        small = dcore::worker_count(1000, 600);
    }).join();
    EXPECT_EQ(on_two, 2u);
    EXPECT_EQ(small, 1u);
    EXPECT_EQ(dcore::worker_count(1000, 1), static_cast<unsigned>(CPU_COUNT(&mine)));  // this thread's mask is its own
}
