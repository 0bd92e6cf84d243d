#include "decomposition/executor.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A job that stands in for a child process: it runs until it has had its time or is told to stop.
Result<void> run_for(std::chrono::milliseconds time, const std::stop_token& stop) {
    auto until = Clock::now() + time;
    while (Clock::now() < until) {
        if (stop.stop_requested()) return fail("stopped");
        std::this_thread::sleep_for(1ms);
    }
    return {};
}

TEST(RunSideBySide, RunsEveryJobOnceAndNoMoreAtATimeThanAllowed) {
    std::vector<std::atomic<int>> runs(7);
    std::atomic<int> running{0}, most_running{0};
    auto job = [&](std::size_t index, std::stop_token stop) {
        int now = ++running;
        for (int seen = most_running;
             now > seen && !most_running.compare_exchange_weak(seen, now);) {
        }
        ++runs[index];
        auto outcome = run_for(20ms, stop);
        --running;
        return outcome;
    };
    std::vector<std::size_t> reported;
    const auto caller = std::this_thread::get_id();
    Watch watch{.progress = [&](const Progress& p) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        EXPECT_EQ(p.total, 7u);
        reported.push_back(p.done);
        return true;
    }};
    ASSERT_TRUE(run_side_by_side(runs.size(), 3, job, watch));
    for (const auto& count : runs) EXPECT_EQ(count, 1);
    EXPECT_EQ(most_running, 3);
    EXPECT_EQ(reported, (std::vector<std::size_t>{1, 2, 3, 4, 5, 6, 7}));
}

// The first failure, the host's stop or the time limit stops the jobs running, starts no more, and
// is what the run returns.
TEST(RunSideBySide, AFailureOrAStopEndsEveryJob) {
    // The host's poll requests the stop on its third call, as a pending Ctrl-C would.
    std::stop_source interrupted;
    int polls = 0;
    const struct {
        const char* name;
        Watch watch;
        const char* message;
        bool fails = false;
    } cases[] = {
        {"job 1 fails", {}, "sub-box 1 broke", true},
        {"stop requested by the host's poll",
         {.stop = interrupted,
          .poll =
              [&] {
                  if (++polls > 2) interrupted.request_stop();
              }},
         "packing interrupted with 0 of 4 Packmol runs finished"},
        {"time limit",
         {.time_limit = 0.2s},
         "packing stopped: the time limit of 0.2 s was spent with 0 of 4 Packmol runs finished"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<int> started{0}, stopped{0};
        auto job = [&](std::size_t index, std::stop_token stop) -> Result<void> {
            ++started;
            if (c.fails && index == 1) return fail("sub-box 1 broke");
            auto outcome = run_for(10s, stop);
            if (!outcome) ++stopped;
            return outcome;
        };
        auto began = Clock::now();
        EXPECT_EQ(test::error_of(run_side_by_side(4, 2, job, c.watch)), c.message);
        EXPECT_LT(Clock::now() - began, 2s);
        EXPECT_EQ(started, 2);
        EXPECT_EQ(stopped, c.fails ? 1 : 2);
    }
}

}  // namespace
}  // namespace boxwright
