// The renderings of numbers used in messages and output files, in one place. Every float
// rendering is correctly rounded (std::to_chars underneath); none depends on the locale.
// Fixed-point output needs no helper of its own: {fmt}'s "{:.6f}" is correctly rounded too.
#pragma once

#include <fmt/format.h>

#include <span>
#include <string>
#include <string_view>

namespace boxwright {

// Shortest text that reads back to the same double, never in exponent form; an integral value has
// no decimal point: 16.0 -> "16", 15.9994 -> "15.9994", 1e-7 -> "0.0000001".
std::string plain_number(double value);

// A number inside a message list: shortest round-trip form with at least one decimal, exponent
// form below 1e-4 or from 1e16 on: 2 -> "2.0", 1e-5 -> "1e-5", 1.5e16 -> "1.5e16".
std::string list_number(double value);

// "[1.0, 2.5]"; an empty list gives "[]".
std::string number_list(std::span<const double> values);

// Exponent form of the data file: six decimals, no plus sign, no leading zeros in the exponent:
// 1.5 -> "1.500000e0", -0.25 -> "-2.500000e-1", 0 -> "0.000000e0". Right-aligned in `width`.
void append_exp6(fmt::memory_buffer& out, double value, int width = 0);
// The value that append_exp6's text reads back as: `value` rounded to seven significant digits.
double exp6_value(double value);

}  // namespace boxwright
