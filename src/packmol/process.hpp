// Running a child program: found through PATH without a shell, with a given file as standard
// input and both output streams captured (bounded). ChildProcess is one running child, driven by
// its owner with start / pump / stop, so that one loop can watch several; run_to_completion is
// that loop for a single child. Knows nothing about what the child does.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <tl/expected.hpp>

#include "packmol/bounded_capture.hpp"
#include "packmol/cancellation.hpp"

namespace boxwright {

// Owns a file descriptor and closes it when it goes out of scope.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release();
    void reset();

  private:
    int fd_ = -1;
};

struct ChildOutput {
    std::optional<int> exit_code;  // absent when a signal ended the child
    std::string standard_output;   // raw bytes, head and tail when it was long (BoundedCapture)
    std::string standard_error;    // likewise

    bool succeeded() const { return exit_code == 0; }
};

struct ChildFailure {
    enum class Stage {
        Launch,     // the program could not be started (missing, not executable, no pipes)
        Collect,    // reading its output or waiting for it failed after it started
        Cancelled,  // the caller asked to stop; the child was ended and reaped
    };
    Stage stage;
    int error_number = 0;  // 0 for Cancelled
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
    // Starts the program with no arguments but its name and the caller's environment.
    static tl::expected<ChildProcess, ChildFailure> start(const LaunchRequest& request);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // Collects what the child wrote, waiting at most `timeout` for it to write or exit. True once
    // it has exited and its output is complete: what the pipes held when it exited, without
    // waiting for an end of file that a grandchild holding the pipes might never give. An error
    // number when reading or waiting failed.
    tl::expected<bool, int> pump(std::chrono::milliseconds timeout);

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
    tl::expected<std::size_t, int> read_once(Stream& stream, std::size_t most);
    int read_what_is_left(Stream& stream);
    tl::expected<bool, int> reap_if_exited();
    bool wait_for_exit_unreaped(std::chrono::milliseconds timeout) const;

    pid_t pid_ = -1;   // -1 once reaped (or moved from)
    UniqueFd pid_fd_;  // readable when the child exits; absent where the kernel has no pidfd
    Stream output_, error_;
    int wait_status_ = 0;
    bool finished_ = false;
};

// Starts the program and pumps it until it has exited, asking `cancel` between waits of at most
// 50 ms and once more at the end; on a request the child is stopped and the failure is Cancelled.
tl::expected<ChildOutput, ChildFailure> run_to_completion(const LaunchRequest& request,
                                                          Cancellation& cancel = no_cancellation());

}  // namespace boxwright
