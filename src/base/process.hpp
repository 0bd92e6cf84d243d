// Running a child program: found through PATH without a shell, with a given file as standard
// input and both output streams captured (bounded). ChildProcess is one running child, driven by
// its owner with start / pump / stop, so that one loop can watch several; run_to_completion is
// that loop for a single child. Failures are OsError values: Launching until the program runs,
// Running after. Knows nothing about what the child does.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>

#include "base/bounded_capture.hpp"
#include "base/os_error.hpp"
#include "base/unique_fd.hpp"

namespace boxwright {

struct ChildOutput {
    std::optional<int> exit_code;  // absent when a signal ended the child
    std::optional<int> signal;     // the signal that ended it, if one did
    std::string standard_output;   // raw bytes, head and tail when it was long (BoundedCapture)
    std::string standard_error;    // likewise

    bool succeeded() const { return exit_code == 0; }
};

struct LaunchRequest {
    std::string program;            // a name looked up through PATH, or a path with a slash
    int standard_input = -1;        // read by the child; the caller keeps its own descriptor
    std::string working_directory;  // where the child starts; empty for the caller's own
};

// How long a child asked to stop gets to end by itself before it is killed.
inline constexpr std::chrono::milliseconds STOP_GRACE{1500};

// One started child: in a process group of its own (so stopping it reaches whatever it started),
// killed by the kernel if the thread that started it dies, with the parent's ends of its output
// pipes. A ChildProcess that goes away while its child still runs stops it, so no child outlives
// its owner on any path.
class ChildProcess {
  public:
    // Starts the program with no arguments but its name and the caller's environment. A failure
    // (Launching) means it could not be started: missing, not executable, no pipes.
    static OsResult<ChildProcess> start(const LaunchRequest& request);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // Collects what the child wrote, waiting at most `timeout` for it to write or exit. True once
    // it has exited and its output is complete: what the pipes held when it exited, without
    // waiting for an end of file that a grandchild holding the pipes might never give. A failure
    // (Running) when reading or waiting failed.
    OsResult<bool> pump(std::chrono::milliseconds timeout);

    // Ends a child that has not exited: SIGTERM to its process group, SIGKILL after `grace`;
    // returns once it is reaped. Its output is dropped.
    void stop(std::chrono::milliseconds grace = STOP_GRACE) noexcept;

    // The exit status and the output, once pump() has returned true.
    ChildOutput output() const;

  private:
    ChildProcess(pid_t pid, UniqueFd pid_fd, UniqueFd output, UniqueFd error) noexcept;

    struct Stream {
        UniqueFd pipe;
        BoundedCapture captured;
    };
    OsResult<std::size_t> read_once(Stream& stream, std::size_t most);
    OsResult<void> read_what_is_left(Stream& stream);
    OsResult<bool> reap_if_exited();
    bool wait_for_exit_unreaped(std::chrono::milliseconds timeout) const;

    pid_t pid_ = -1;   // -1 once reaped (or moved from)
    UniqueFd pid_fd_;  // readable when the child exits; absent where the kernel has no pidfd
    Stream output_, error_;
    int wait_status_ = 0;
    bool finished_ = false;
};

// Starts the program and pumps it until it has exited, looking at `stop` between waits of at most
// 50 ms and once more at the end. Once a stop is requested the child is stopped and reaped, and
// the failure is Running with ECANCELED, the error number for an operation called off; on any other
// failure after the start, the child is stopped too.
OsResult<ChildOutput> run_to_completion(const LaunchRequest& request,
                                        const std::stop_token& stop = {});

}  // namespace boxwright
