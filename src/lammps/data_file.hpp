// write_data_file: data.lmp, the LAMMPS data file of the whole system (atom_style full).
#pragma once

#include <span>
#include <string>

#include "base/error.hpp"
#include "ff/force_field.hpp"
#include "lammps/resolved.hpp"
#include "lammps/type_registry.hpp"

namespace boxwright {

// The text of data.lmp; fails only when the number of coordinates is not the number of atoms.
Result<std::string> data_file_text(std::span<const ActivePair> active,
                                   std::span<const Position> coordinates,
                                   const TypeRegistries& registries, const ForceField& force_field,
                                   double box_length);

// Builds the text and replaces the file at `path` with it.
Result<void> write_data_file(const std::string& path, std::span<const ActivePair> active,
                             std::span<const Position> coordinates,
                             const TypeRegistries& registries, const ForceField& force_field,
                             double box_length);

}  // namespace boxwright
