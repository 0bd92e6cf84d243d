// OsError: a failed operating-system call as a value, namely the operation it was part of and
// the error number it left, carried up to the one place that knows which file or program it was
// about, where it becomes the user's FfError. It also carries the few refusals of the file
// helpers that are not the system's ("not a regular file"), in their own words.
// Knows nothing about what the files contain.
#pragma once

#include <cerrno>
#include <string>
#include <string_view>
#include <tl/expected.hpp>
#include <utility>

#include "base/error.hpp"

namespace boxwright {

// What was being done; it opens the user's message.
enum class OsOperation { Reading, Writing, Creating, Opening, Locking, Launching, Running };

class OsError {
  public:
    OsError(OsOperation operation, int error_number)
        : operation_(operation), error_number_(error_number) {}
    // A refusal of our own: `reason` stands where the system's text would.
    OsError(OsOperation operation, std::string reason)
        : operation_(operation), reason_(std::move(reason)) {}

    OsOperation operation() const { return operation_; }
    int error_number() const { return error_number_; }  // 0 for a refusal of our own

    // The system's description of the error and " (os error N)", or the refusal's words.
    std::string description() const;

    // The user's message about `subject`, a path (shown in display form) or a program's name:
    // "reading {}: {}", "writing {}: {}", "creating {}: {}", "opening {}: {}", "locking {}: {}",
    // "failed to launch {} (is it installed and on PATH?): {}" or "running {}: {}".
    FfError about(std::string_view subject) const;

  private:
    OsOperation operation_;
    int error_number_ = 0;
    std::string reason_;
};

template <class T>
using OsResult = tl::expected<T, OsError>;

// `return os_failure(OsOperation::Reading);` straight after the call that set errno.
inline tl::unexpected<OsError> os_failure(OsOperation operation, int error_number = errno) {
    return tl::unexpected<OsError>(OsError(operation, error_number));
}

inline tl::unexpected<OsError> refusal(OsOperation operation, std::string reason) {
    return tl::unexpected<OsError>(OsError(operation, std::move(reason)));
}

// For map_error, where the subject is known: `read_utf8_file(path).map_error(about(path))`.
inline auto about(std::string subject) {
    return [subject = std::move(subject)](const OsError& error) { return error.about(subject); };
}

}  // namespace boxwright
