#include "base/io.hpp"

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>

#include "base/utf8.hpp"

namespace boxwright {
namespace {

constexpr auto READING = OsOperation::Reading;

// A C path ends at its first NUL byte: a name holding one would quietly name another file.
bool has_nul(const std::string& path) { return path.find('\0') != std::string::npos; }

tl::unexpected<OsError> nul_in_name(OsOperation operation) {
    return refusal(operation, "file name contained an unexpected NUL byte");
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

}  // namespace

OsResult<OpenedFile> open_regular_file(const std::string& path) {
    if (has_nul(path)) return nul_in_name(READING);
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return os_failure(READING);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return os_failure(READING);
    if (S_ISDIR(info.st_mode)) return os_failure(READING, EISDIR);
    // A device such as /dev/zero never ends, and a FIFO or socket may never speak.
    if (!S_ISREG(info.st_mode)) return refusal(READING, "not a regular file");
    return OpenedFile{std::move(fd), static_cast<std::uint64_t>(info.st_size)};
}

OsResult<std::string> read_utf8_file(const std::string& path, std::uint64_t max_bytes) {
    BW_TRY(const OpenedFile file, open_regular_file(path));
    const UniqueFd& fd = file.fd;
    auto too_large = [max_bytes] {
        constexpr std::uint64_t MIB = 1 << 20;
        return refusal(READING,
                       max_bytes % MIB == 0
                           ? fmt::format("file is larger than the limit of {} MiB", max_bytes / MIB)
                           : fmt::format("file is larger than the limit of {} bytes", max_bytes));
    };
    const std::uint64_t size = file.size;
    if (size > max_bytes) return too_large();
    std::string text;
    text.reserve(static_cast<std::size_t>(size));
    char chunk[1 << 16];
    for (;;) {
        ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            return os_failure(READING);
        }
        if (got == 0) break;
        text.append(chunk, static_cast<std::size_t>(got));
        // The file may grow while it is read.
        if (text.size() > max_bytes) return too_large();
    }
    if (!is_valid_utf8(text)) return tl::unexpected(not_utf8());
    return text;
}

OsError not_utf8() { return OsError(READING, "stream did not contain valid UTF-8"); }

OsResult<UniqueFd> open_for_reading(const std::string& path) {
    if (has_nul(path)) return nul_in_name(OsOperation::Opening);
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return os_failure(OsOperation::Opening);
    return fd;
}

OsResult<void> create_directories(const std::string& path) {
    if (has_nul(path)) return nul_in_name(OsOperation::Creating);
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) return os_failure(OsOperation::Creating, error.value());
    return {};
}

OsResult<void> replace_file(const std::string& path, std::string_view contents) {
    BW_TRY(FileReplacement file, FileReplacement::create(path));
    BW_TRY_VOID(file.write(contents));
    return file.commit();
}

// Often enough that an interrupt ends the writing of a large file within a fraction of a second,
// rarely enough that asking costs nothing measurable.
constexpr std::size_t GIVE_UP_ASKED_EVERY_BYTES = std::size_t{4} << 20;

OsResult<FileReplacement> FileReplacement::create(const std::string& path) {
    if (has_nul(path)) return nul_in_name(OsOperation::Writing);
    // The rename would fail only after the whole file had been written.
    struct stat target {};
    if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
        return os_failure(OsOperation::Writing, EISDIR);
    }
    // The temporary file sits beside the target so that the rename stays within one file system.
    // A replaced file keeps the permissions a freshly created one would get (0666 & ~umask).
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = path + temporary_name();
        UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd) return FileReplacement(path, std::move(temp), std::move(fd));
        if (errno != EEXIST) return os_failure(OsOperation::Writing);
    }
    return os_failure(OsOperation::Writing, EEXIST);
}

FileReplacement::FileReplacement(std::string path, std::string temp, UniqueFd fd) noexcept
    : path_(std::move(path)), temp_(std::move(temp)), fd_(std::move(fd)) {}

FileReplacement::FileReplacement(FileReplacement&& other) noexcept
    : path_(std::move(other.path_)),
      temp_(std::exchange(other.temp_, {})),
      swap_(other.swap_),
      fd_(std::move(other.fd_)),
      give_up_(std::move(other.give_up_)),
      unasked_bytes_(other.unasked_bytes_) {}

void FileReplacement::abandon() noexcept {
    fd_.reset();
    if (temp_.empty()) return;
    ::unlink(temp_.c_str());
    temp_.clear();
}

OsResult<void> FileReplacement::write(std::string_view piece) {
    if (!fd_) return os_failure(OsOperation::Writing, EBADF);
    unasked_bytes_ += piece.size();
    if (give_up_ && unasked_bytes_ >= GIVE_UP_ASKED_EVERY_BYTES) {
        unasked_bytes_ = 0;
        if (give_up_()) {
            abandon();
            return os_failure(OsOperation::Writing, ECANCELED);
        }
    }
    if (!write_all(fd_.get(), piece)) {
        const int error_number = errno;
        abandon();
        return os_failure(OsOperation::Writing, error_number);
    }
    return {};
}

OsResult<void> FileReplacement::finish() {
    if (temp_.empty()) return os_failure(OsOperation::Writing, EBADF);
    if (!fd_) return {};
    if (::close(fd_.release()) != 0) {
        const int error_number = errno;
        abandon();
        return os_failure(OsOperation::Writing, error_number);
    }
    return {};
}

OsResult<void> FileReplacement::commit() {
    BW_TRY_VOID(finish());
    if (::rename(temp_.c_str(), path_.c_str()) != 0) {
        const int error_number = errno;
        abandon();
        return os_failure(OsOperation::Writing, error_number);
    }
    temp_.clear();
    return {};
}

OsResult<void> FileReplacement::swap_in() {
    BW_TRY_VOID(finish());
    if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, path_.c_str(), RENAME_EXCHANGE) == 0) {
        swap_ = Swap::Traded;
        return {};
    }
    // No target to trade with, or a file system that cannot trade: a plain rename.
    const bool absent = errno == ENOENT;
    if (!absent && errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        const int error_number = errno;
        abandon();
        return os_failure(OsOperation::Writing, error_number);
    }
    BW_TRY_VOID(commit());
    swap_ = absent ? Swap::Created : Swap::Replaced;
    return {};
}

bool FileReplacement::undo() noexcept {
    switch (std::exchange(swap_, Swap::None)) {
        case Swap::None:
            return true;
        case Swap::Traded:
            if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, path_.c_str(), RENAME_EXCHANGE) !=
                0) {
                return false;
            }
            abandon();  // the temporary name holds the new file again
            return true;
        case Swap::Created:
            return ::unlink(path_.c_str()) == 0;
        case Swap::Replaced:
            break;
    }
    return false;
}

std::string join_path(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (!out.empty() && out.back() != '/') out += '/';
    out += name;
    return out;
}

std::string temporary_name() {
    static constexpr char ALPHABET[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 engine{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(ALPHABET) - 2);
    std::string name = ".tmp";
    for (int i = 0; i < 6; ++i) name += ALPHABET[pick(engine)];
    return name;
}

}  // namespace boxwright
