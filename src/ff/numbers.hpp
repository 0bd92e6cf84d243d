// The renderings of numbers and names used in messages and output files, in one place.
// Every float rendering is correctly rounded (std::to_chars underneath); none depends on the
// locale.
#pragma once

#include <fmt/format.h>

#include <span>
#include <string>
#include <string_view>

namespace boxwright {

// Shortest text that reads back to the same double, never in exponent form; an integral value has
// no decimal point: 16.0 -> "16", 15.9994 -> "15.9994", 1e-7 -> "0.0000001".
std::string plain_number(double value);
void append_plain_number(fmt::memory_buffer& out, double value);

// A number inside a message list: shortest round-trip form with at least one decimal, exponent
// form below 1e-4 or from 1e16 on: 2 -> "2.0", 1e-5 -> "1e-5", 1.5e16 -> "1.5e16".
std::string list_number(double value);

// "[1.0, 2.5]"; an empty list gives "[]".
std::string number_list(std::span<const double> values);

// "\"A\"" with JSON-style escapes for quotes, backslashes and control characters: "\"a\\nb\"".
std::string escaped_name(std::string_view name);
// "[\"A\", \"B\"]", each name escaped as above.
std::string name_list(std::span<const std::string> names);

// Exponent form of the data file: six decimals, no plus sign, no leading zeros in the exponent:
// 1.5 -> "1.500000e0", -0.25 -> "-2.500000e-1", 0 -> "0.000000e0". Right-aligned in `width`.
void append_exp6(fmt::memory_buffer& out, double value, int width = 0);

// Fixed-point with exactly `decimals` digits after the point, right-aligned in `width`.
void append_fixed(fmt::memory_buffer& out, double value, int decimals, int width = 0);

// The text as UTF-8, every invalid byte sequence replaced by U+FFFD (how paths are displayed).
std::string lossy_utf8(std::string_view bytes);
bool is_valid_utf8(std::string_view bytes);

}  // namespace boxwright
