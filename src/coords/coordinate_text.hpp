// How a coordinate is written in the text files the system reads (packmol's output and the
// coordinate files users give): the number grammar of one field. Knows nothing about columns.
#pragma once

#include <optional>
#include <string_view>

namespace boxwright {

// One coordinate field, already trimmed: an optional "+" or "-", then a decimal number ("5.", ".5"
// and an exponent allowed) or inf, infinity or nan in any case. Absent when it is none of these.
std::optional<double> parse_coordinate(std::string_view text);

// `text` without leading and trailing blanks (space, tab, line feed, vertical tab, form feed and
// carriage return).
std::string_view trim_blanks(std::string_view text);

}  // namespace boxwright
