// UTF-8 validation, and the lossy form in which any bytes (a path, a child's output) are shown.
// Every text that reaches a message or a file passes through here.
#pragma once

#include <string>
#include <string_view>

namespace boxwright {

bool is_valid_utf8(std::string_view bytes);

// The text as UTF-8, every invalid byte sequence replaced by U+FFFD (how paths are displayed).
std::string lossy_utf8(std::string_view bytes);

}  // namespace boxwright
