// parse_packed_pdb: the atom positions of packmol's output, in file order, read from the fixed
// coordinate columns of the ATOM and HETATM records of the first model (PdbAtomReader), line by
// line. Everything else in the file is ignored.
#pragma once

#include <string>
#include <vector>

#include "base/error.hpp"
#include "ff/molecule.hpp"

namespace boxwright {

Result<std::vector<Position>> parse_packed_pdb(const std::string& path);

}  // namespace boxwright
