// run_side_by_side: runs independent jobs on this machine, at most `concurrency` at a time, each on
// a worker thread, while the calling thread watches over them: it reports progress, polls the
// host and keeps the time limit. The first failure, a requested stop or the spent time limit
// requests the watch's stop, which every running job sees, and the call returns only once every
// worker has ended. What a job does is the caller's business; a job told to stop must end
// promptly.
#pragma once

#include <cstddef>
#include <functional>
#include <stop_token>

#include "base/error.hpp"
#include "base/watch.hpp"

namespace boxwright {

// Runs job `index`, giving up soon after `stop` is requested. Called on a worker thread.
using JobFunction = std::function<Result<void>(std::size_t index, std::stop_token stop)>;

// The first job failure, unchanged; or a message saying that the run was interrupted or ran out of
// time and how many of the jobs had finished.
Result<void> run_side_by_side(std::size_t job_count, unsigned concurrency, const JobFunction& job,
                              const Watch& watch);

// The processors this process may run on: one job per core when the caller asks for 0 jobs.
unsigned available_cores();

}  // namespace boxwright
