#include "base/process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include "base/io.hpp"

namespace boxwright {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds CANCEL_POLL{50};  // how often a waiting run asks whether to stop
constexpr std::size_t CHUNK = std::size_t{1} << 16;
constexpr auto LAUNCHING = OsOperation::Launching;
constexpr auto RUNNING = OsOperation::Running;

// A close-on-exec copy numbered 3 or above: installing it as the child's 0, 1 or 2 can then never
// overwrite another descriptor that is still to be installed.
OsResult<UniqueFd> above_standard_streams(int fd) {
    UniqueFd copy(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
    if (!copy) return os_failure(LAUNCHING);
    return copy;
}

struct Pipe {
    UniqueFd read_end;
    UniqueFd write_end;
};

OsResult<Pipe> make_pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return os_failure(LAUNCHING);
    Pipe pipe{UniqueFd(ends[0]), UniqueFd(ends[1])};
    BW_TRY(pipe.write_end, above_standard_streams(pipe.write_end.get()));
    return pipe;
}

// The parent only reads what poll() reported, and after the child's exit only what is there.
OsResult<Pipe> make_output_pipe() {
    BW_TRY(Pipe pipe, make_pipe());
    if (::fcntl(pipe.read_end.get(), F_SETFL, O_NONBLOCK) != 0) return os_failure(LAUNCHING);
    return pipe;
}

// Where execvp would look for `program`, as absolute paths: the child changes its working
// directory before it looks, so a relative PATH entry is resolved against the caller's.
std::vector<std::string> program_candidates(const std::string& program) {
    std::error_code unknown;
    const std::string here = std::filesystem::current_path(unknown).string();
    auto anchored = [&here](const std::string& path) {
        return path.starts_with('/') || here.empty() ? path : join_path(here, path);
    };
    if (program.find('/') != std::string::npos) return {anchored(program)};
    const char* search = std::getenv("PATH");
    std::string_view dirs =
        search != nullptr ? search : "/bin:/usr/bin";  // the C library's default
    std::vector<std::string> candidates;
    for (;;) {
        const auto colon = dirs.find(':');
        const auto dir = dirs.substr(0, colon);
        candidates.push_back(anchored(join_path(dir.empty() ? "." : dir, program)));
        if (colon == std::string_view::npos) return candidates;
        dirs.remove_prefix(colon + 1);
    }
}

// Everything the child needs, prepared before fork(): between fork() and exec the child may only
// make async-signal-safe calls (another thread may have held the allocator's lock), so it
// allocates nothing.
struct ChildPlan {
    std::vector<std::string> candidates;
    std::vector<char*> argv;
    const char* working_directory;  // null for the caller's
    int input, output, error;       // become 0, 1 and 2
    int report;                     // an exec failure's errno is written here
    pid_t parent;
};

// Errors after which execvp tries the next directory of PATH.
bool try_next_directory(int error_number) {
    return error_number == ENOENT || error_number == ENOTDIR || error_number == ESTALE ||
           error_number == ENODEV || error_number == ETIMEDOUT;
}

[[noreturn]] void give_up(int report, int error_number) {
    (void)!::write(report, &error_number, sizeof error_number);
    ::_exit(127);
}

[[noreturn]] void exec_child(const ChildPlan& plan) {
    // A group of its own: stopping the child then reaches whatever it started, and an interrupt
    // typed at the terminal reaches the parent, which decides.
    ::setpgid(0, 0);
#ifdef __linux__
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) give_up(plan.report, errno);
    // The parent died before the request took effect: nobody would wait for this child.
    if (::getppid() != plan.parent) ::_exit(127);
#endif
    for (auto [source, target] :
         {std::pair{plan.input, STDIN_FILENO}, std::pair{plan.output, STDOUT_FILENO},
          std::pair{plan.error, STDERR_FILENO}}) {
        if (::dup2(source, target) < 0) give_up(plan.report, errno);
    }
    // The program starts with no blocked signals and with SIGPIPE and SIGXFSZ at their defaults:
    // a host such as the Python interpreter ignores SIGPIPE, and ignored signals survive exec.
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    for (int signal_number : {SIGPIPE, SIGXFSZ})
        ::sigaction(signal_number, &default_action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (plan.working_directory != nullptr && ::chdir(plan.working_directory) != 0) {
        give_up(plan.report, errno);
    }
    int error_number = ENOENT;
    bool denied = false;
    for (const auto& candidate : plan.candidates) {
        ::execve(candidate.c_str(), plan.argv.data(), environ);
        error_number = errno;
        if (error_number == EACCES) {
            denied = true;
        } else if (!try_next_directory(error_number)) {
            give_up(plan.report, error_number);
        }
    }
    give_up(plan.report, denied ? EACCES : error_number);
}

// The child's exec failure, or 0 once it runs the program (exec closed the report pipe).
int launch_error(const UniqueFd& report) {
    int error_number = 0;
    ssize_t got;
    while ((got = ::read(report.get(), &error_number, sizeof error_number)) < 0 && errno == EINTR) {
    }
    return got > 0 ? error_number : 0;
}

void reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// A descriptor that becomes readable when the child exits, so waits end at once; where the kernel
// has none, waits fall back to short timeouts.
UniqueFd open_pid_fd(pid_t pid) {
#ifdef SYS_pidfd_open
    return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
#else
    (void)pid;
    return UniqueFd();
#endif
}

}  // namespace

OsResult<ChildProcess> ChildProcess::start(const LaunchRequest& request) {
    BW_TRY(UniqueFd input, above_standard_streams(request.standard_input));
    BW_TRY(Pipe output_pipe, make_output_pipe());
    BW_TRY(Pipe error_pipe, make_output_pipe());
    BW_TRY(Pipe report, make_pipe());

    std::string name = request.program;
    ChildPlan plan{program_candidates(request.program),
                   {name.data(), nullptr},
                   request.working_directory.empty() ? nullptr : request.working_directory.c_str(),
                   input.get(),
                   output_pipe.write_end.get(),
                   error_pipe.write_end.get(),
                   report.write_end.get(),
                   ::getpid()};
    // fork() rather than posix_spawn: only a child of our own can ask for the parent-death signal
    // and a working directory of its own before it runs the program.
    const pid_t pid = ::fork();
    if (pid < 0) return os_failure(LAUNCHING);
    if (pid == 0) exec_child(plan);

    // Only the child may hold the write ends now, or the pipes would never report their end.
    report.write_end.reset();
    output_pipe.write_end.reset();
    error_pipe.write_end.reset();
    if (int error_number = launch_error(report.read_end)) {
        reap(pid);
        return os_failure(LAUNCHING, error_number);
    }
    return ChildProcess(pid, open_pid_fd(pid), std::move(output_pipe.read_end),
                        std::move(error_pipe.read_end));
}

ChildProcess::ChildProcess(pid_t pid, UniqueFd pid_fd, UniqueFd output, UniqueFd error) noexcept
    : pid_(pid),
      pid_fd_(std::move(pid_fd)),
      output_{std::move(output), BoundedCapture()},
      error_{std::move(error), BoundedCapture()} {}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      pid_fd_(std::move(other.pid_fd_)),
      output_(std::move(other.output_)),
      error_(std::move(other.error_)),
      wait_status_(other.wait_status_),
      finished_(other.finished_) {}

ChildProcess::~ChildProcess() { stop(); }

OsResult<bool> ChildProcess::pump(milliseconds timeout) {
    if (finished_) return true;
    std::array<pollfd, 3> watched{};
    std::array<Stream*, 2> streams{};
    nfds_t stream_count = 0;
    for (Stream* stream : {&output_, &error_}) {
        if (!stream->pipe) continue;
        watched[stream_count] = {stream->pipe.get(), POLLIN, 0};
        streams[stream_count++] = stream;
    }
    // A negative descriptor is skipped by poll(), which then waits out the timeout.
    watched[stream_count] = {pid_fd_.get(), POLLIN, 0};
    int ready = ::poll(watched.data(), stream_count + 1, static_cast<int>(timeout.count()));
    if (ready < 0) {
        if (errno != EINTR) return os_failure(RUNNING);
        ready = 0;  // a signal: the caller gets to look at it
    }
    for (nfds_t i = 0; ready > 0 && i < stream_count; ++i) {
        if (watched[i].revents != 0) BW_TRY_VOID(read_once(*streams[i], CHUNK));
    }
    BW_TRY(const bool exited, reap_if_exited());
    if (!exited) return false;
    for (Stream* stream : {&output_, &error_}) BW_TRY_VOID(read_what_is_left(*stream));
    finished_ = true;
    return true;
}

OsResult<std::size_t> ChildProcess::read_once(Stream& stream, std::size_t most) {
    std::array<char, CHUNK> chunk;
    const ssize_t got = ::read(stream.pipe.get(), chunk.data(), std::min(most, chunk.size()));
    if (got > 0) {
        stream.captured.append({chunk.data(), static_cast<std::size_t>(got)});
        return static_cast<std::size_t>(got);
    }
    if (got == 0) {
        stream.pipe.reset();  // end of file
        return 0;
    }
    if (errno == EINTR || errno == EAGAIN) return 0;
    return os_failure(RUNNING);
}

// What the pipe held when the child exited. A grandchild may keep it open and write on; that is
// neither waited for nor read.
OsResult<void> ChildProcess::read_what_is_left(Stream& stream) {
    int pending = 0;
    if (stream.pipe && ::ioctl(stream.pipe.get(), FIONREAD, &pending) != 0) pending = 0;
    for (auto left = static_cast<std::size_t>(std::max(pending, 0)); left > 0 && stream.pipe;) {
        BW_TRY(const std::size_t got, read_once(stream, left));
        if (got == 0) break;
        left -= got;
    }
    stream.pipe.reset();
    return {};
}

OsResult<bool> ChildProcess::reap_if_exited() {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == 0 || (done < 0 && errno == EINTR)) return false;
    if (done < 0) {
        const int error_number = errno;
        pid_ = -1;  // not ours to wait for, nor to signal
        return os_failure(RUNNING, error_number);
    }
    wait_status_ = status;
    pid_ = -1;
    pid_fd_.reset();
    return true;
}

void ChildProcess::stop(milliseconds grace) noexcept {
    // A child blocked on a full pipe now gets EPIPE instead.
    output_.pipe.reset();
    error_.pipe.reset();
    if (pid_ < 0) return;
    auto signal_group = [this](int signal_number) {
        if (::kill(-pid_, signal_number) != 0) ::kill(pid_, signal_number);
    };
    signal_group(SIGTERM);
    (void)wait_for_exit_unreaped(grace);
    // Until the child is reaped its pid, and so its group's id, cannot be taken by another
    // process: this reaches only the child and what it started.
    signal_group(SIGKILL);
    reap(pid_);
    pid_ = -1;
    pid_fd_.reset();
}

bool ChildProcess::wait_for_exit_unreaped(milliseconds timeout) const {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + timeout;
    for (;;) {
        siginfo_t info{};
        const int waited =
            ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
        if ((waited == 0 && info.si_pid != 0) || (waited != 0 && errno != EINTR)) return true;
        const auto left = std::chrono::ceil<milliseconds>(deadline - clock::now());
        if (left <= milliseconds::zero()) return false;
        pollfd exit{pid_fd_.get(), POLLIN, 0};
        const auto wait = pid_fd_ ? left : std::min(left, milliseconds(10));
        ::poll(&exit, 1, static_cast<int>(wait.count()));
    }
}

ChildOutput ChildProcess::output() const {
    ChildOutput out;
    if (WIFEXITED(wait_status_)) out.exit_code = WEXITSTATUS(wait_status_);
    if (WIFSIGNALED(wait_status_)) out.signal = WTERMSIG(wait_status_);
    out.standard_output = output_.captured.text();
    out.standard_error = error_.captured.text();
    return out;
}

OsResult<ChildOutput> run_to_completion(const LaunchRequest& request, const std::stop_token& stop) {
    // On every way out before the end, `child` going out of scope stops the child.
    BW_TRY(ChildProcess child, ChildProcess::start(request));
    for (;;) {
        if (stop.stop_requested()) return os_failure(RUNNING, ECANCELED);
        BW_TRY(const bool finished, child.pump(CANCEL_POLL));
        if (finished) break;
    }
    // A request that came as the child ended still counts: its output is not used.
    if (stop.stop_requested()) return os_failure(RUNNING, ECANCELED);
    return child.output();
}

}  // namespace boxwright
