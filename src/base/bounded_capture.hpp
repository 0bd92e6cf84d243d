// BoundedCapture: what a child wrote to one stream, kept within a fixed amount of memory: the
// first and the last bytes, and a count of those in between. A program that prints without end
// costs no more than one that prints a page. Knows nothing about processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace boxwright {

class BoundedCapture {
  public:
    static constexpr std::size_t DEFAULT_KEPT = std::size_t{64} << 10;  // at each end

    explicit BoundedCapture(std::size_t head_limit = DEFAULT_KEPT,
                            std::size_t tail_limit = DEFAULT_KEPT)
        : head_limit_(head_limit), tail_limit_(tail_limit) {}

    void append(std::string_view bytes);

    // Everything when it fits; otherwise the head, a line "... N bytes left out ...", the tail.
    std::string text() const;

  private:
    std::size_t head_limit_, tail_limit_;
    std::string head_;
    // The latest bytes; it may hold up to twice the tail limit, so that dropping the oldest half
    // moves each byte at most once.
    std::string tail_;
    std::uint64_t dropped_ = 0;  // bytes that fell out of the tail
};

}  // namespace boxwright
