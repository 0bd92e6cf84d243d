// generate_forcefield_file: the text of forcefield.lmp (sources, masses, pair style, coefficients,
// charges), numbered by the same registries as data.lmp.
#pragma once

#include <optional>
#include <string>

#include "ff/force_field.hpp"
#include "lammps/pair_style.hpp"
#include "lammps/type_registry.hpp"

namespace boxwright {

// `water` names the TIP4P water's types for the Tip4p preset (Tip4pTypes{} without one).
std::string generate_forcefield_file(const ForceField& force_field,
                                     const TypeRegistries& registries,
                                     std::optional<PairSetup> pair_setup, bool explicit_lb,
                                     const Tip4pTypes& water);

}  // namespace boxwright
