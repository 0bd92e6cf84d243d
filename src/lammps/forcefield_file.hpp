// generate_forcefield_file: the text of forcefield.lmp (sources, masses, pair style, coefficients,
// charges), numbered by the same registries as data.lmp.
#pragma once

#include <optional>
#include <string>

#include "ff/force_field.hpp"
#include "lammps/pair_style.hpp"
#include "lammps/type_registry.hpp"

namespace boxwright {

std::string generate_forcefield_file(const ForceField& force_field,
                                     const TypeRegistries& registries,
                                     std::optional<PairSetup> pair_setup, bool explicit_lb);

}  // namespace boxwright
