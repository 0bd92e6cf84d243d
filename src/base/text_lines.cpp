#include "base/text_lines.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/io.hpp"
#include "base/utf8.hpp"

namespace boxwright {
namespace {

// The longest line read: no coordinate file or program output has lines near it, and a longer one
// is refused instead of held whole.
constexpr std::size_t CAPACITY = std::size_t{1} << 20;

// Coordinate files are almost always ASCII; eight bytes at a time settle that quickly, and only a
// line with a high bit set goes through the full UTF-8 check.
bool is_ascii(std::string_view text) {
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (word & 0x8080808080808080ULL) return false;
    }
    for (; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) & 0x80) return false;
    }
    return true;
}

}  // namespace

std::string_view take_line(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    // Only a carriage return that precedes a line feed belongs to the line ending.
    if (end != std::string_view::npos && !line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

Result<LineReader> LineReader::open(const std::string& path, std::optional<std::string> subject) {
    BW_TRY(OpenedFile file, open_regular_file(path).map_error(about(subject.value_or(path))));
    // Only a hint; its failure changes nothing.
    ::posix_fadvise(file.fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return LineReader(std::move(file.fd), path, std::move(subject));
}

LineReader::LineReader(UniqueFd fd, std::string path, std::optional<std::string> subject)
    : fd_(std::move(fd)),
      path_(std::move(path)),
      shown_path_(lossy_utf8(path_)),
      subject_(std::move(subject)),
      buffer_(new char[CAPACITY]) {}

Result<std::optional<std::string_view>> LineReader::next() {
    for (;;) {
        std::string_view unread(buffer_.get() + begin_, end_ - begin_);
        const bool whole_line = std::memchr(unread.data(), '\n', unread.size()) != nullptr;
        if (whole_line || (at_end_ && !unread.empty())) {
            last_line_ = {buffer_offset_ + begin_, line_number_ + 1};
            std::string_view line = take_line(unread);
            begin_ = end_ - unread.size();
            ++line_number_;
            if (!is_ascii(line) && !is_valid_utf8(line)) return not_utf8_line();
            return line;
        }
        if (at_end_) return std::nullopt;
        BW_TRY_VOID(refill());
    }
}

Result<void> LineReader::rewind() { return rewind_to({}); }

Result<void> LineReader::rewind_to(Mark mark) {
    if (::lseek(fd_.get(), static_cast<off_t>(mark.offset), SEEK_SET) < 0) {
        return tl::unexpected(OsError(OsOperation::Reading, errno).about(os_subject()));
    }
    begin_ = end_ = 0;
    buffer_offset_ = mark.offset;
    at_end_ = false;
    line_number_ = mark.line - 1;
    last_line_ = mark;
    return {};
}

tl::unexpected<FfError> LineReader::not_utf8_line() const {
    if (subject_) return tl::unexpected(not_utf8().about(*subject_));
    return fail_at_line(path_, line_number_,
                        fmt::format("{}:{}: the text is not UTF-8", shown_path_, line_number_));
}

tl::unexpected<FfError> LineReader::line_too_long() const {
    if (subject_) {
        return fail("reading {}: a line is longer than the limit of 1 MiB", lossy_utf8(*subject_));
    }
    return fail("{}:{}: the line is longer than the limit of 1 MiB", shown_path_, line_number_ + 1);
}

Result<void> LineReader::refill() {
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        buffer_offset_ += begin_;
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == CAPACITY) return line_too_long();
    if (give_up_ && give_up_()) return fail("reading {} was interrupted", shown_path_);
    for (;;) {
        const ssize_t got = ::read(fd_.get(), buffer_.get() + end_, CAPACITY - end_);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0)
            return tl::unexpected(OsError(OsOperation::Reading, errno).about(os_subject()));
        end_ += static_cast<std::size_t>(got);
        at_end_ = got == 0;
        return {};
    }
}

}  // namespace boxwright
