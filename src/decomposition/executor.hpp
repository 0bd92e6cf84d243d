// run_side_by_side: runs independent jobs on this machine, at most `concurrency` at a time, each on
// a worker thread, while the calling thread watches over them: it reports progress, polls for
// cancellation and keeps the time limit. The first failure, a cancellation or the spent time limit
// asks every running job to stop, and the call returns only once every worker has ended. What a
// job does is the caller's business; a job told to stop must end promptly.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <stop_token>

#include "base/error.hpp"

namespace boxwright {

struct Progress {
    std::size_t done = 0;
    std::size_t total = 0;
    double elapsed_seconds = 0;
    double remaining_seconds = 0;  // at the pace so far
};

struct Watch {
    // Polled on the calling thread a few times a second; true stops everything.
    std::function<bool()> cancelled = {};
    // Called on the calling thread once per finished job; false stops everything.
    std::function<bool(const Progress&)> progress = {};
    std::optional<std::chrono::duration<double>> time_limit = {};
};

// Runs job `index`, giving up soon after `stop` is requested. Called on a worker thread.
using JobFunction = std::function<Result<void>(std::size_t index, std::stop_token stop)>;

// The first job failure, unchanged; or a message saying that the run was interrupted or ran out of
// time and how many of the jobs had finished.
Result<void> run_side_by_side(std::size_t job_count, unsigned concurrency, const JobFunction& job,
                              const Watch& watch);

// The processors this process may run on: one job per core when the caller asks for 0 jobs.
unsigned available_cores();

}  // namespace boxwright
