// write_data_file: data.lmp, the LAMMPS data file of the whole system (atom_style full).
#pragma once

#include <span>
#include <string>

#include "base/error.hpp"
#include "base/io.hpp"
#include "ff/force_field.hpp"
#include "lammps/resolved.hpp"
#include "lammps/type_registry.hpp"

namespace boxwright {

// The text of data.lmp; fails only when the number of coordinates is not the number of atoms.
Result<std::string> data_file_text(std::span<const ActivePair> active,
                                   std::span<const Position> coordinates,
                                   const TypeRegistries& registries, const ForceField& force_field,
                                   double box_length);

// Writes the text into `file` in pieces; the caller commits it.
Result<void> write_data_file(FileReplacement& file, std::span<const ActivePair> active,
                             std::span<const Position> coordinates,
                             const TypeRegistries& registries, const ForceField& force_field,
                             double box_length);

}  // namespace boxwright
