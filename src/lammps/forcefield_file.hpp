// forcefield.lmp (sources, masses, pair style, coefficients, charges), numbered by the same
// registries as data.lmp: its text, or the same text written into a file in pieces, as explicit
// cross terms of thousands of types make hundreds of megabytes of it.
#pragma once

#include <optional>
#include <string>

#include "base/error.hpp"
#include "base/io.hpp"
#include "ff/force_field.hpp"
#include "lammps/pair_style.hpp"
#include "lammps/type_registry.hpp"

namespace boxwright {

// `water` names the TIP4P water's types for the Tip4p preset (Tip4pTypes{} without one).
std::string generate_forcefield_file(const ForceField& force_field,
                                     const TypeRegistries& registries,
                                     std::optional<PairSetup> pair_setup, bool explicit_lb,
                                     const Tip4pTypes& water);

// Writes that text into `file`; the caller commits it.
Result<void> write_forcefield_file(FileReplacement& file, const ForceField& force_field,
                                   const TypeRegistries& registries,
                                   std::optional<PairSetup> pair_setup, bool explicit_lb,
                                   const Tip4pTypes& water);

}  // namespace boxwright
