// write_data_file: data.lmp, the LAMMPS data file of the whole system (atom_style full), with a
// Velocities section when the build carries velocities.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "base/error.hpp"
#include "base/io.hpp"
#include "ff/force_field.hpp"
#include "lammps/resolved.hpp"
#include "lammps/type_registry.hpp"

namespace boxwright {

using Velocities = std::optional<std::span<const Velocity>>;  // one per atom, in atom order

// The text of data.lmp; fails only when the number of coordinates, or of velocities where there
// are any, is not the number of atoms.
Result<std::string> data_file_text(std::span<const ActivePair> active,
                                   std::span<const Position> coordinates,
                                   const TypeRegistries& registries, const ForceField& force_field,
                                   double box_length, Velocities velocities = std::nullopt);

// Writes the text into `file` in pieces; the caller commits it.
Result<void> write_data_file(FileReplacement& file, std::span<const ActivePair> active,
                             std::span<const Position> coordinates,
                             const TypeRegistries& registries, const ForceField& force_field,
                             double box_length, Velocities velocities = std::nullopt);

}  // namespace boxwright
