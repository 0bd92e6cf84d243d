// Reading the text of a decimal number into a double: std::from_chars for the correctly rounded
// value, and the text's own magnitude for the values beyond the double range, which from_chars
// reports without a value. Shared by every reader of numbers; knows nothing about their formats.
#pragma once

#include <optional>
#include <string_view>

namespace boxwright {

// An unsigned decimal number in full: digits with at most one point among or around them ("12",
// "5.", ".5") and an optional exponent ("e-7", "E+3"). A value too large for a double is infinity,
// one too small is zero. Absent when the text is anything else (a sign, "inf", a blank, "1e").
std::optional<double> unsigned_decimal_value(std::string_view text);

}  // namespace boxwright
