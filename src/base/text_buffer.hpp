// Text built in memory for a file or a program's input: the {fmt} buffer the writers fill, and
// the one way of adding a piece of text to it. Knows nothing of what the text says.
#pragma once

#include <fmt/format.h>

#include <string_view>

namespace boxwright {

inline void append(fmt::memory_buffer& out, std::string_view text) {
    out.append(text.data(), text.data() + text.size());
}

}  // namespace boxwright
