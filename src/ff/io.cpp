#include "ff/io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <utility>

#include "ff/numbers.hpp"

namespace boxwright {
namespace {

// Closes a file descriptor when it goes out of scope.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { close(); }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    int close() {
        int result = fd_ >= 0 ? ::close(fd_) : 0;
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

tl::unexpected<std::string> os_failure(int error_number) {
    return tl::unexpected<std::string>(os_error_text(error_number));
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string random_suffix() {
    static constexpr char ALPHABET[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 engine{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(ALPHABET) - 2);
    std::string suffix(6, ' ');
    for (char& ch : suffix) ch = ALPHABET[pick(engine)];
    return suffix;
}

}  // namespace

std::string os_error_text(int error_number) {
    return fmt::format("{} (os error {})", std::strerror(error_number), error_number);
}

tl::expected<OpenedFile, std::string> open_regular_file(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        return tl::unexpected<std::string>("file name contained an unexpected NUL byte");
    }
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return os_failure(errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return os_failure(errno);
    if (S_ISDIR(info.st_mode)) return os_failure(EISDIR);
    // A device such as /dev/zero never ends, and a FIFO or socket may never speak.
    if (!S_ISREG(info.st_mode)) return tl::unexpected<std::string>("not a regular file");
    return OpenedFile{fd.release(), static_cast<std::uint64_t>(info.st_size)};
}

tl::expected<std::string, std::string> read_utf8_file(const std::string& path,
                                                      std::uint64_t max_bytes) {
    auto opened = open_regular_file(path);
    if (!opened) return tl::unexpected(std::move(opened.error()));
    Fd fd(opened->fd);
    auto too_large = [max_bytes] {
        constexpr std::uint64_t MIB = 1 << 20;
        return tl::unexpected<std::string>(
            max_bytes % MIB == 0
                ? fmt::format("file is larger than the limit of {} MiB", max_bytes / MIB)
                : fmt::format("file is larger than the limit of {} bytes", max_bytes));
    };
    const std::uint64_t size = opened->size;
    if (size > max_bytes) return too_large();
    std::string text;
    text.reserve(static_cast<std::size_t>(size));
    char chunk[1 << 16];
    for (;;) {
        ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            return os_failure(errno);
        }
        if (got == 0) break;
        text.append(chunk, static_cast<std::size_t>(got));
        // The file may grow while it is read.
        if (text.size() > max_bytes) return too_large();
    }
    if (!is_valid_utf8(text)) {
        return tl::unexpected<std::string>("stream did not contain valid UTF-8");
    }
    return text;
}

tl::expected<void, std::string> replace_file(const std::string& path, std::string_view contents) {
    auto file = FileReplacement::create(path);
    if (!file) return tl::unexpected(std::move(file.error()));
    if (auto written = file->write(contents); !written) return written;
    return file->commit();
}

tl::expected<FileReplacement, std::string> FileReplacement::create(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        return tl::unexpected<std::string>("file name contained an unexpected NUL byte");
    }
    // The temporary file sits beside the target so that the rename stays within one file system.
    // A replaced file keeps the permissions a freshly created one would get (0666 & ~umask).
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = path + ".tmp" + random_suffix();
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return FileReplacement(path, std::move(temp), fd);
        if (errno != EEXIST) return os_failure(errno);
    }
    return os_failure(EEXIST);
}

FileReplacement::FileReplacement(std::string path, std::string temp, int fd) noexcept
    : path_(std::move(path)), temp_(std::move(temp)), fd_(fd) {}

FileReplacement::FileReplacement(FileReplacement&& other) noexcept
    : path_(std::move(other.path_)),
      temp_(std::move(other.temp_)),
      fd_(std::exchange(other.fd_, -1)) {}

FileReplacement::~FileReplacement() { abandon(); }

void FileReplacement::abandon() noexcept {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(temp_.c_str());
    fd_ = -1;
}

tl::expected<void, std::string> FileReplacement::write(std::string_view piece) {
    if (fd_ < 0) return os_failure(EBADF);
    if (!write_all(fd_, piece)) {
        const int error = errno;
        abandon();
        return os_failure(error);
    }
    return {};
}

tl::expected<void, std::string> FileReplacement::commit() {
    if (fd_ < 0) return os_failure(EBADF);
    int error = ::close(std::exchange(fd_, -1)) != 0 ? errno : 0;
    if (error == 0 && ::rename(temp_.c_str(), path_.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp_.c_str());
        return os_failure(error);
    }
    return {};
}

std::string join_path(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (!out.empty() && out.back() != '/') out += '/';
    out += name;
    return out;
}

}  // namespace boxwright
