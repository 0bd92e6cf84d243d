// Names shown inside messages: in double quotes, with JSON-style escapes for quotes, backslashes
// and control characters, so that any name reads back unambiguously and never breaks a line.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace boxwright {

// "\"A\"", "\"a\\\"b\"", "\"tab\\there\""; other control characters as "\\u{1f}".
std::string quoted(std::string_view name);

// "[\"A\", \"B\"]"; an empty list gives "[]".
std::string name_list(std::span<const std::string> names);

}  // namespace boxwright
