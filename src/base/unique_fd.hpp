// UniqueFd: sole ownership of a file descriptor, closed when its owner goes away. Knows nothing
// about what the descriptor refers to.
#pragma once

#include <unistd.h>

#include <utility>

namespace boxwright {

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Hands the descriptor to the caller, who closes it (and may want close()'s verdict).
    int release() { return std::exchange(fd_, -1); }
    void reset() {
        // close() releases the descriptor even when it reports EINTR, so it is never retried.
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

}  // namespace boxwright
