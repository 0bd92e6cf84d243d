#include "lammps/text_out.hpp"

#include <string_view>
#include <utility>

namespace boxwright {

OsResult<void> TextOut::finish() {
    if (file_ != nullptr) spill();
    return failure_ ? OsResult<void>(tl::unexpect, *failure_) : OsResult<void>();
}

void TextOut::spill() {
    // After a failure nothing more is written; the replacement has already been abandoned.
    if (!failure_) {
        auto written = file_->write(std::string_view(text_.data(), text_.size()));
        if (!written) failure_ = std::move(written.error());
    }
    text_.clear();
}

}  // namespace boxwright
