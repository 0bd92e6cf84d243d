// Whole-file reading and writing, path joining and the operating system's error texts.
// Shared by every layer that touches files; knows nothing about what the files contain.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <tl/expected.hpp>

namespace boxwright {

// The operating system's description of an error number followed by " (os error N)".
std::string os_error_text(int error_number);

// No limit on the size of a file read whole.
inline constexpr std::uint64_t NO_SIZE_LIMIT = UINT64_MAX;

// Reads a whole regular file as UTF-8 text. A FIFO, a device or a socket is refused without
// waiting on it ("not a regular file"), and so is a file of more than `max_bytes` bytes ("file is
// larger than the limit of 256 MiB"). Other failures are an OS error text, "stream did not contain
// valid UTF-8" or "file name contained an unexpected NUL byte": the description alone, which each
// caller wraps in its own prefix.
tl::expected<std::string, std::string> read_utf8_file(const std::string& path,
                                                      std::uint64_t max_bytes = NO_SIZE_LIMIT);

// Opens a regular file for reading: its descriptor (the caller closes it) and its size. A FIFO, a
// device or a socket is refused without waiting on it ("not a regular file"); other failures are
// an OS error text (a directory's is EISDIR's) or "file name contained an unexpected NUL byte".
struct OpenedFile {
    int fd = -1;
    std::uint64_t size = 0;
};
tl::expected<OpenedFile, std::string> open_regular_file(const std::string& path);

// Creates or replaces `path` with `contents` as a whole: the text goes to a temporary file in the
// same directory that is then renamed over the target, so a failed write never leaves a truncated
// file behind. On failure the error is the OS error text and no temporary file remains.
tl::expected<void, std::string> replace_file(const std::string& path, std::string_view contents);

// The same replacement for a text handed over in pieces, so that a large file need not sit whole
// in memory: the pieces go to the temporary file, which takes the target's name only in commit().
// Until then the target is untouched; a replacement dropped uncommitted, or whose write or commit
// failed, removes its temporary file. Errors are the OS error text, as for replace_file.
class FileReplacement {
  public:
    static tl::expected<FileReplacement, std::string> create(const std::string& path);
    FileReplacement(FileReplacement&& other) noexcept;
    FileReplacement& operator=(FileReplacement&&) = delete;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement();

    tl::expected<void, std::string> write(std::string_view piece);
    tl::expected<void, std::string> commit();

  private:
    FileReplacement(std::string path, std::string temp, int fd) noexcept;
    void abandon() noexcept;

    std::string path_, temp_;
    int fd_ = -1;  // -1 once committed or abandoned
};

// `dir` + "/" + `name`; no separator is added when `dir` is empty or already ends in "/".
std::string join_path(std::string_view dir, std::string_view name);

}  // namespace boxwright
