// parse_packed_pdb: the atom positions of packmol's output, in file order, read from the fixed
// coordinate columns of every ATOM and HETATM record of the file (the record rules of
// coords/pdb_record.hpp), line by line. Everything else in the file is ignored, model records
// included.
#pragma once

#include <string>
#include <vector>

#include "base/error.hpp"
#include "ff/molecule.hpp"

namespace boxwright {

Result<std::vector<Position>> parse_packed_pdb(const std::string& path);

}  // namespace boxwright
