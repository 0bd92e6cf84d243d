// Running a child program to its end: found through PATH without a shell, with a given file as
// standard input and both output streams captured. Knows nothing about what the child does.
#pragma once

#include <optional>
#include <string>
#include <tl/expected.hpp>

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
    std::string standard_output;   // raw bytes
    std::string standard_error;    // raw bytes

    bool succeeded() const { return exit_code == 0; }
};

struct ChildFailure {
    enum class Stage {
        Launch,   // the program could not be started (missing, not executable, no pipes)
        Collect,  // reading its output or waiting for it failed after it started
    };
    Stage stage;
    int error_number;
};

// Starts `program` (looked up through PATH) with no arguments but its name, `standard_input` as
// its standard input, and the caller's working directory and environment. Reads standard output
// and standard error together until both end, so a child that writes a lot to either never
// blocks, then waits for it. The child has exited when this returns.
tl::expected<ChildOutput, ChildFailure> run_to_completion(const std::string& program,
                                                          int standard_input);

}  // namespace boxwright
