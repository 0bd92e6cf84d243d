// parse_packed_pdb: the atom positions of packmol's output, in file order, read from the fixed
// coordinate columns of the ATOM and HETATM records. Everything else in the file is ignored.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ff/error.hpp"
#include "ff/molecule.hpp"

namespace boxwright {

Result<std::vector<Position>> parse_packed_pdb(const std::string& path);

// One coordinate field, already trimmed: an optional "+" or "-", then a decimal number ("5.", ".5"
// and an exponent allowed) or inf, infinity or nan in any case. Absent when it is none of these.
std::optional<double> parse_coordinate(std::string_view text);

}  // namespace boxwright
