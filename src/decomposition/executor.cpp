#include "decomposition/executor.hpp"

#include <sched.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/invariant.hpp"

namespace boxwright {
namespace {

// How often the calling thread looks for an interrupt or the end of the time limit.
constexpr std::chrono::milliseconds POLL_INTERVAL{50};

using Clock = std::chrono::steady_clock;

// What the workers share with the watching thread.
class Board {
  public:
    Board(std::size_t job_count, std::stop_source stop)
        : job_count_(job_count), stop_(std::move(stop)) {}

    // The next job to run, or none when all have been handed out or a stop is requested.
    std::optional<std::size_t> take() {
        if (stop_.stop_requested()) return std::nullopt;
        std::size_t job = next_.fetch_add(1);
        return job < job_count_ ? std::optional(job) : std::nullopt;
    }

    void finish(Result<void> outcome) {
        std::lock_guard lock(mutex_);
        if (outcome) {
            ++done_;
        } else if (!failure_ && !stop_.stop_requested()) {
            // A job that fails because it was told to stop is not the cause of the stop.
            failure_ = std::move(outcome.error());
            stop_.request_stop();
        }
        changed_.notify_one();
    }

    // Waits until a job finishes or the poll interval passes; the number of finished jobs.
    std::size_t wait(std::size_t reported) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, POLL_INTERVAL, [&] { return done_ != reported || failure_; });
        return done_;
    }

    std::optional<FfError> failure() {
        std::lock_guard lock(mutex_);
        return failure_;
    }

    void stop() { stop_.request_stop(); }
    std::stop_token token() const { return stop_.get_token(); }
    std::size_t job_count() const { return job_count_; }

  private:
    const std::size_t job_count_;
    std::atomic<std::size_t> next_{0};
    std::stop_source stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t done_ = 0;
    std::optional<FfError> failure_;
};

void work(Board& board, const JobFunction& job) {
    while (auto index = board.take()) board.finish(job(*index, board.token()));
}

// The time limit holds even while the progress callback keeps the watching thread busy: a timer
// of its own stops every Packmol once the limit is spent.
class Deadline {
  public:
    Deadline(std::optional<std::chrono::duration<double>> limit, Board& board) {
        if (!limit) return;
        timer_ = std::jthread([this, limit, &board](const std::stop_token& finished) {
            std::mutex mutex;
            std::unique_lock lock(mutex);
            std::condition_variable_any never;
            never.wait_for(lock, finished, *limit, [] { return false; });
            if (finished.stop_requested()) return;
            spent_ = true;
            board.stop();
        });
    }

    bool spent() const { return spent_; }

  private:
    std::atomic<bool> spent_{false};
    std::jthread timer_;  // stopped and joined first when the deadline goes
};

FfError interrupted(std::size_t done, std::size_t total) {
    return {fmt::format("packing interrupted with {} of {} Packmol runs finished", done, total)};
}

FfError time_spent(const Watch& watch, std::size_t done, std::size_t total) {
    return {
        fmt::format("packing stopped: the time limit of {} s was spent with {} of {} Packmol "
                    "runs finished",
                    watch.time_limit->count(), done, total)};
}

// Why the watching thread stopped the run, if it did.
std::optional<FfError> watch_over(Board& board, const Watch& watch) {
    const auto started = Clock::now();
    const Deadline deadline(watch.time_limit, board);
    const std::size_t total = board.job_count();
    std::size_t reported = 0;
    while (reported < total) {
        std::size_t done = board.wait(reported);
        if (deadline.spent()) return time_spent(watch, reported, total);
        if (board.failure()) return std::nullopt;
        std::chrono::duration<double> elapsed = Clock::now() - started;
        for (; reported < done; ++reported) {
            if (deadline.spent()) return time_spent(watch, reported, total);
            double pace = elapsed.count() / static_cast<double>(reported + 1);
            Progress progress{reported + 1, total, elapsed.count(),
                              pace * static_cast<double>(total - reported - 1)};
            if (watch.progress && !watch.progress(progress)) {
                return interrupted(reported + 1, total);
            }
        }
        if (reported == total) break;
        // The timer stops through the same stop source: it is told apart first.
        if (deadline.spent()) return time_spent(watch, reported, total);
        if (watch.stop_requested()) return interrupted(done, total);
    }
    return std::nullopt;
}

}  // namespace

Result<void> run_side_by_side(std::size_t job_count, unsigned concurrency, const JobFunction& job,
                              const Watch& watch) {
    invariant(concurrency > 0, "at least one job at a time");
    if (job_count == 0) return {};
    Board board(job_count, watch.stop);
    std::optional<FfError> stopped;
    {
        std::vector<std::jthread> workers;  // joined when this scope ends
        std::size_t count = std::min<std::size_t>(concurrency, job_count);
        workers.reserve(count);
        try {
            for (std::size_t i = 0; i < count; ++i)
                workers.emplace_back(work, std::ref(board), std::cref(job));
        } catch (const std::system_error& error) {
            board.stop();
            return fail("starting a packing thread: {}", error.what());
        }
        stopped = watch_over(board, watch);
        if (stopped) board.stop();
    }
    if (auto failure = board.failure()) return tl::unexpected(std::move(*failure));
    if (stopped) return tl::unexpected(std::move(*stopped));
    return {};
}

unsigned available_cores() {
    cpu_set_t allowed;
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        return static_cast<unsigned>(std::max(CPU_COUNT(&allowed), 1));
    }
    return std::max(std::thread::hardware_concurrency(), 1u);
}

}  // namespace boxwright
