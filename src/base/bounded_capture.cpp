#include "base/bounded_capture.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace boxwright {

void BoundedCapture::append(std::string_view bytes) {
    const std::size_t to_head = std::min(bytes.size(), head_limit_ - head_.size());
    head_.append(bytes.substr(0, to_head));
    bytes.remove_prefix(to_head);
    if (bytes.empty()) return;
    // Bytes that could never reach the kept tail are counted, not copied.
    if (bytes.size() > tail_limit_) {
        dropped_ += tail_.size() + (bytes.size() - tail_limit_);
        tail_.assign(bytes.substr(bytes.size() - tail_limit_));
        return;
    }
    tail_.append(bytes);
    if (tail_.size() > 2 * tail_limit_) {
        const std::size_t excess = tail_.size() - tail_limit_;
        dropped_ += excess;
        tail_.erase(0, excess);
    }
}

std::string BoundedCapture::text() const {
    const std::size_t shown = std::min(tail_.size(), tail_limit_);
    const std::uint64_t left_out = dropped_ + (tail_.size() - shown);
    if (left_out == 0) return head_ + tail_;
    std::string out = head_;
    if (!out.empty() && out.back() != '\n') out += '\n';
    out += fmt::format("... {} bytes left out ...\n", left_out);
    out.append(tail_, tail_.size() - shown, shown);
    return out;
}

}  // namespace boxwright
