// Whole-file reading and writing, directories, path joining and names for temporary files.
// Shared by every layer that touches files; knows nothing about what the files contain.
// Failures are OsError values: whoever knows what the file is for turns them into the user's
// message (OsError::about).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/os_error.hpp"
#include "base/unique_fd.hpp"

namespace boxwright {

// No limit on the size of a file read whole.
inline constexpr std::uint64_t NO_SIZE_LIMIT = UINT64_MAX;

// Reads a whole regular file as UTF-8 text. A FIFO, a device or a socket is refused without
// waiting on it ("not a regular file"), and so is a file of more than `max_bytes` bytes ("file is
// larger than the limit of 256 MiB"). Other failures are the system's error, "stream did not
// contain valid UTF-8" or "file name contained an unexpected NUL byte". The operation is Reading.
OsResult<std::string> read_utf8_file(const std::string& path,
                                     std::uint64_t max_bytes = NO_SIZE_LIMIT);

// The refusal of a text that is not UTF-8, in the words of read_utf8_file (Reading).
OsError not_utf8();

// Opens a regular file for reading: its descriptor and its size. A FIFO, a device or a socket is
// refused without waiting on it ("not a regular file"), a directory fails with EISDIR's text, and a
// name holding a NUL byte is refused. The operation is Reading.
struct OpenedFile {
    UniqueFd fd;
    std::uint64_t size = 0;
};
OsResult<OpenedFile> open_regular_file(const std::string& path);

// Opens an existing file for reading only (Opening).
OsResult<UniqueFd> open_for_reading(const std::string& path);

// Creates the directory and its missing parents, 0777 before the umask; an existing directory is
// fine (Creating).
OsResult<void> create_directories(const std::string& path);

// Creates or replaces `path` with `contents` as a whole: the text goes to a temporary file in the
// same directory that is then renamed over the target, so a failed write never leaves a truncated
// file behind, nor a temporary file. The operation is Writing.
OsResult<void> replace_file(const std::string& path, std::string_view contents);

// The same replacement for a text handed over in pieces, so that a large file need not sit whole
// in memory: the pieces go to the temporary file, which takes the target's name only in commit().
// Until then the target is untouched; a replacement dropped uncommitted, or whose write, finish
// or commit failed, removes its temporary file. A target that is a directory is refused at once
// (EISDIR), before anything is written. Failures are Writing, as for replace_file.
class FileReplacement {
  public:
    static OsResult<FileReplacement> create(const std::string& path);
    FileReplacement(FileReplacement&& other) noexcept;
    FileReplacement& operator=(FileReplacement&&) = delete;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement() { abandon(); }

    // Asked every few megabytes of writing whether to give up: true abandons the file, and the
    // write fails as Writing with ECANCELED.
    void give_up_when(std::function<bool()> give_up) { give_up_ = std::move(give_up); }
    OsResult<void> write(std::string_view piece);
    // Ends the writing, the target still untouched: a write the kernel deferred may fail only now.
    OsResult<void> finish();
    // Finishes when not yet done, then renames the temporary file over the target.
    OsResult<void> commit();

    // The same as commit() for one member of a set, undoably: the finished file and the target
    // trade names in one step, so the old file lives on under the temporary name until
    // discard_old(), and undo() puts it back. Where the file system cannot trade names, the
    // target is simply replaced (and undo() can no longer bring it back).
    OsResult<void> swap_in();
    // Puts back what swap_in() replaced (or removes the new file where there was none); false
    // when that is no longer possible.
    bool undo() noexcept;
    // Removes the old file that swap_in() kept.
    void discard_old() noexcept { abandon(); }

    const std::string& path() const { return path_; }

  private:
    FileReplacement(std::string path, std::string temp, UniqueFd fd) noexcept;
    void abandon() noexcept;

    enum class Swap { None, Traded, Created, Replaced };

    std::string path_;
    std::string temp_;  // empty once renamed or removed; after a trade, the old file
    Swap swap_ = Swap::None;
    UniqueFd fd_;  // open until finished
    std::function<bool()> give_up_;
    std::size_t unasked_bytes_ = 0;  // written since give_up_ was last asked
};

// `dir` + "/" + `name`; no separator is added when `dir` is empty or already ends in "/".
std::string join_path(std::string_view dir, std::string_view name);

// ".tmp" and six random letters or digits: a name for a temporary file or directory beside
// others, unlikely to be taken (whoever creates it still asks for a new one and retries).
std::string temporary_name();

}  // namespace boxwright
