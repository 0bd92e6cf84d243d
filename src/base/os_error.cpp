#include "base/os_error.hpp"

#include <cstring>

#include "base/utf8.hpp"

namespace boxwright {

std::string OsError::description() const {
    if (error_number_ == 0) return reason_;
    return fmt::format("{} (os error {})", std::strerror(error_number_), error_number_);
}

FfError OsError::about(std::string_view subject) const {
    const std::string shown = lossy_utf8(subject);
    switch (operation_) {
        case OsOperation::Reading:
            return {fmt::format("reading {}: {}", shown, description())};
        case OsOperation::Writing:
            return {fmt::format("writing {}: {}", shown, description())};
        case OsOperation::Creating:
            return {fmt::format("creating {}: {}", shown, description())};
        case OsOperation::Opening:
            return {fmt::format("opening {}: {}", shown, description())};
        case OsOperation::Locking:
            return {fmt::format("locking {}: {}", shown, description())};
        case OsOperation::Launching:
            return {fmt::format("failed to launch {} (is it installed and on PATH?): {}", shown,
                                description())};
        case OsOperation::Running:
            break;
    }
    return {fmt::format("running {}: {}", shown, description())};
}

}  // namespace boxwright
