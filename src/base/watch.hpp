// Watch: how a long piece of work is watched from the thread that waits for it. One stop source
// per build: the caller requests it (Ctrl-C, SIGTERM), and so does whoever sees a reason to end
// early (the time limit, a failing sub-box); every loop that can run long and every child process
// looks at its token. `poll` is the host's chance, a few times a second, to request the stop: the
// Python interpreter runs its signal handlers there. Nothing here knows about Python.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <stop_token>

namespace boxwright {

struct Progress {
    std::size_t done = 0;
    std::size_t total = 0;
    double elapsed_seconds = 0;
    double remaining_seconds = 0;  // at the pace so far
};

struct Watch {
    std::stop_source stop = {};
    // Called on the waiting thread a few times a second; may request `stop`.
    std::function<void()> poll = {};
    // Called on the waiting thread once per finished piece of work; false stops everything.
    std::function<bool(const Progress&)> progress = {};
    std::optional<std::chrono::duration<double>> time_limit = {};

    // Polls the host, then tells whether the stop has been requested.
    bool stop_requested() const {
        if (poll) poll();
        return stop.stop_requested();
    }
};

}  // namespace boxwright
