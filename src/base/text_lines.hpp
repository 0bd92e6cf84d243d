// Lines of a text file: one rule for where a line ends, applied to a text already in memory
// (take_line) and to a file read through one fixed buffer (LineReader), so that files of any size
// are read with flat memory and every reader splits lines the same way. Knows nothing about what
// the lines hold.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.hpp"
#include "base/unique_fd.hpp"

namespace boxwright {

// Takes the first line off `rest` and returns it without its ending. A line ends at a line feed,
// and a carriage return right before that line feed belongs to the ending; the last line needs no
// line feed (and then keeps a carriage return at its end). A line feed at the very end of the text
// does not start another, empty line. `rest` must not be empty.
std::string_view take_line(std::string_view& rest);

// Reads a file line by line, in order, through a buffer that holds a megabyte of it, the longest
// line read. Each line is checked to be UTF-8. Failures name the file, and the line when it is the
// line's fault:
//   "reading {path}: {OS error text}"          the file cannot be opened or read
//   "reading {path}: not a regular file"       a FIFO, a device or a socket, refused unread
//   "{path}:{line}: the text is not UTF-8"     that line is not valid UTF-8
//   "{path}:{line}: the line is longer than the limit of 1 MiB"
// Opened with a `subject`, the reader words its failures as read_utf8_file's read through
// OsError::about(subject): "reading {subject}: {OS error text}", "... not a regular file" and
// "reading {subject}: stream did not contain valid UTF-8" (and "reading {subject}: a line is longer
// than the limit of 1 MiB"). That is for a file a program wrote,
// where the message names what the file is for and a line number would tell the user nothing.
class LineReader {
  public:
    static Result<LineReader> open(const std::string& path,
                                   std::optional<std::string> subject = std::nullopt);
    LineReader(LineReader&& other) noexcept = default;
    LineReader& operator=(LineReader&&) = delete;
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Asked before each megabyte is read whether to give up; true fails the reading with
    // "reading {path} was interrupted".
    void give_up_when(std::function<bool()> give_up) { give_up_ = std::move(give_up); }

    // The next line without its ending, valid until the following call; nullopt at the end.
    Result<std::optional<std::string_view>> next();
    // Back to the first line, for another pass over the file.
    Result<void> rewind();

    // The 1-based number of the line next() returned last (0 before the first).
    std::uint64_t line_number() const { return line_number_; }

    // The start of a line: its byte offset in the file and its number. A file read twice (the
    // frames of a trajectory counted, then the chosen one read) comes back to a mark rather
    // than holding anything of what it passed.
    struct Mark {
        std::uint64_t offset = 0;
        std::uint64_t line = 1;
    };
    // The start of the line next() returned last; the start of the file before the first.
    Mark mark() const { return last_line_; }
    // Reads on from `mark`: next() returns the line that starts there.
    Result<void> rewind_to(Mark mark);
    // The path as given.
    const std::string& path() const { return path_; }
    // The path as given, for messages: bytes that are not UTF-8 shown as U+FFFD.
    const std::string& shown_path() const { return shown_path_; }

  private:
    LineReader(UniqueFd fd, std::string path, std::optional<std::string> subject);
    // What an OsError of this reader is about: the subject, else the path.
    const std::string& os_subject() const { return subject_ ? *subject_ : path_; }
    tl::unexpected<FfError> not_utf8_line() const;
    tl::unexpected<FfError> line_too_long() const;
    // Moves the unread bytes to the front and appends what the file has next (at_end_ when none).
    Result<void> refill();

    UniqueFd fd_;
    std::string path_, shown_path_;
    std::optional<std::string> subject_;
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0, end_ = 0;  // the unread bytes are buffer_[begin_, end_)
    std::uint64_t buffer_offset_ = 0;  // of buffer_[0] in the file
    Mark last_line_;
    bool at_end_ = false;  // the file has nothing more to give
    std::function<bool()> give_up_;
    std::uint64_t line_number_ = 0;
};

}  // namespace boxwright
