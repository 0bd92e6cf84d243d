#include "packmol/process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

namespace boxwright {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int UniqueFd::release() { return std::exchange(fd_, -1); }

void UniqueFd::reset() {
    // close() releases the descriptor even when it reports EINTR, so it is never retried.
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

namespace {

tl::unexpected<ChildFailure> failure(ChildFailure::Stage stage, int error_number) {
    return tl::unexpected<ChildFailure>(ChildFailure{stage, error_number});
}

// A close-on-exec copy numbered 3 or above: installing it as the child's 0, 1 or 2 can then never
// overwrite another descriptor that is still to be installed.
tl::expected<UniqueFd, int> above_standard_streams(int fd) {
    int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (copy < 0) return tl::unexpected<int>(errno);
    return UniqueFd(copy);
}

struct Pipe {
    UniqueFd read_end;
    UniqueFd write_end;
};

tl::expected<Pipe, int> make_pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return tl::unexpected<int>(errno);
    Pipe pipe{UniqueFd(ends[0]), UniqueFd(ends[1])};
    auto write_end = above_standard_streams(pipe.write_end.get());
    if (!write_end) return tl::unexpected<int>(write_end.error());
    pipe.write_end = std::move(*write_end);
    return pipe;
}

class SpawnFileActions {
  public:
    SpawnFileActions() { error_ = ::posix_spawn_file_actions_init(&actions_); }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;
    ~SpawnFileActions() {
        if (initialised_ok()) ::posix_spawn_file_actions_destroy(&actions_);
    }

    bool initialised_ok() const { return error_ == 0; }
    int init_error() const { return error_; }
    int install(int source, int target) {
        return ::posix_spawn_file_actions_adddup2(&actions_, source, target);
    }
    const posix_spawn_file_actions_t* get() const { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_{};
    int error_ = 0;
};

class SpawnAttributes {
  public:
    SpawnAttributes() { error_ = ::posix_spawnattr_init(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    ~SpawnAttributes() {
        if (error_ == 0) ::posix_spawnattr_destroy(&attributes_);
    }

    // The child starts with no blocked signals and with SIGPIPE and SIGXFSZ at their defaults:
    // a host such as the Python interpreter ignores SIGPIPE, and ignored signals survive exec.
    int configure() {
        if (error_ != 0) return error_;
        sigset_t defaults;
        sigset_t unblocked;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGXFSZ);
        sigemptyset(&unblocked);
        if (int e = ::posix_spawnattr_setsigdefault(&attributes_, &defaults)) return e;
        if (int e = ::posix_spawnattr_setsigmask(&attributes_, &unblocked)) return e;
        return ::posix_spawnattr_setflags(&attributes_,
                                          POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    const posix_spawnattr_t* get() const { return &attributes_; }

  private:
    posix_spawnattr_t attributes_{};
    int error_ = 0;
};

// A started child with the parent's ends of its output pipes. Whatever happens, it is waited for
// before this goes away, after the pipes are closed so that a child still writing cannot block.
class RunningChild {
  public:
    RunningChild(pid_t pid, UniqueFd output, UniqueFd error)
        : pid_(pid), output_(std::move(output)), error_(std::move(error)) {}
    RunningChild(const RunningChild&) = delete;
    RunningChild& operator=(const RunningChild&) = delete;
    ~RunningChild() {
        close_pipes();
        if (pid_ > 0) (void)wait();
    }

    // Reads both pipes until each reports its end; 0 on success, else the error number.
    int drain(std::string& output, std::string& error) {
        std::array<pollfd, 2> watched{{{output_.get(), POLLIN, 0}, {error_.get(), POLLIN, 0}}};
        std::array<std::string*, 2> sinks{&output, &error};
        std::array<char, 1 << 16> chunk;
        int open_streams = 2;
        while (open_streams > 0) {
            if (::poll(watched.data(), watched.size(), -1) < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            for (std::size_t i = 0; i < watched.size(); ++i) {
                if (watched[i].fd < 0 || watched[i].revents == 0) continue;
                ssize_t got = ::read(watched[i].fd, chunk.data(), chunk.size());
                if (got < 0) {
                    if (errno == EINTR || errno == EAGAIN) continue;
                    return errno;
                }
                if (got == 0) {
                    watched[i].fd = -1;  // poll skips negative descriptors
                    --open_streams;
                    continue;
                }
                sinks[i]->append(chunk.data(), static_cast<std::size_t>(got));
            }
        }
        return 0;
    }

    void close_pipes() {
        output_.reset();
        error_.reset();
    }

    // The raw wait status, or the error number of waitpid.
    tl::expected<int, int> wait() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0) {
            if (errno != EINTR) {
                pid_ = -1;
                return tl::unexpected<int>(errno);
            }
        }
        pid_ = -1;
        return status;
    }

  private:
    pid_t pid_;
    UniqueFd output_;
    UniqueFd error_;
};

}  // namespace

tl::expected<ChildOutput, ChildFailure> run_to_completion(const std::string& program,
                                                          int standard_input) {
    using Stage = ChildFailure::Stage;
    auto input = above_standard_streams(standard_input);
    if (!input) return failure(Stage::Launch, input.error());
    auto output_pipe = make_pipe();
    if (!output_pipe) return failure(Stage::Launch, output_pipe.error());
    auto error_pipe = make_pipe();
    if (!error_pipe) return failure(Stage::Launch, error_pipe.error());

    SpawnFileActions actions;
    if (!actions.initialised_ok()) return failure(Stage::Launch, actions.init_error());
    for (auto [source, target] : {std::pair{input->get(), STDIN_FILENO},
                                  std::pair{output_pipe->write_end.get(), STDOUT_FILENO},
                                  std::pair{error_pipe->write_end.get(), STDERR_FILENO}}) {
        if (int e = actions.install(source, target)) return failure(Stage::Launch, e);
    }
    SpawnAttributes attributes;
    if (int e = attributes.configure()) return failure(Stage::Launch, e);

    // posix_spawnp searches PATH and reports a program that cannot be run as its return value.
    std::string name = program;
    char* argv[] = {name.data(), nullptr};
    pid_t pid = -1;
    if (int e =
            ::posix_spawnp(&pid, name.c_str(), actions.get(), attributes.get(), argv, environ)) {
        return failure(Stage::Launch, e);
    }
    RunningChild child(pid, std::move(output_pipe->read_end), std::move(error_pipe->read_end));
    // Only the child may hold the write ends now, or the pipes would never report their end.
    output_pipe->write_end.reset();
    error_pipe->write_end.reset();
    input->reset();

    ChildOutput result;
    int drain_error = child.drain(result.standard_output, result.standard_error);
    child.close_pipes();
    auto status = child.wait();
    if (drain_error != 0) return failure(Stage::Collect, drain_error);
    if (!status) return failure(Stage::Collect, status.error());
    if (WIFEXITED(*status)) result.exit_code = WEXITSTATUS(*status);
    return result;
}

}  // namespace boxwright
