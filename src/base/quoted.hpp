// Names shown inside messages: in double quotes, with JSON-style escapes for quotes, backslashes
// and control characters, so that any name reads back unambiguously and never breaks a line.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace boxwright {

// "\"A\"", "\"a\\\"b\"", "\"tab\\there\""; other control characters as "\\u{1f}".
std::string quoted(std::string_view name);

// Text of an input file as a message shows it: control characters escaped as by `quoted` (a file
// must not drive the user's terminal: ESC, NUL, CR, and the C1 controls U+0080 to U+009F), quotes
// and backslashes as they are, and cut after EXCERPT_CHARACTERS characters, saying so.
inline constexpr std::size_t EXCERPT_CHARACTERS = 120;
std::string excerpt(std::string_view text);

// A path as the package's messages show it: as given, unless it holds a control character (a line
// feed would forge a message line of its own, an ESC or a C1 control drive the user's terminal);
// then quoted as `quoted` shows a name, the C1 controls escaped as well ("\"a\\nb\"").
bool needs_escaping(std::string_view path);
std::string shown_path(std::string_view path);

// "[\"A\", \"B\"]"; an empty list gives "[]".
std::string name_list(std::span<const std::string> names);

}  // namespace boxwright
