// load_molecules: the first step of every build. Checks the request's shape, loads the force field
// and one molecule per species, and rejects two species with the same name.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "ff/force_field.hpp"
#include "ff/molecule.hpp"

namespace boxwright {

struct LoadedSpecies {
    ForceField force_field;
    std::vector<Molecule> molecules;   // one per species path, count-0 species included
    std::vector<std::string> skipped;  // names of the count-0 species, in species order
};

Result<LoadedSpecies> load_molecules(const std::string& force_field_path,
                                     std::span<const std::string> species_paths,
                                     std::span<const std::uint64_t> counts);

}  // namespace boxwright
