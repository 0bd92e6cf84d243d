// load_molecules: the first step of every build. Checks the request's shape, loads the force field
// and one molecule per species, and rejects two species with the same name; then tells the keys
// of those files that no record reads.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "ff/force_field.hpp"
#include "ff/molecule.hpp"
#include "pipeline/diagnostics.hpp"

namespace boxwright {

struct LoadedSpecies {
    ForceField force_field;
    std::vector<Molecule> molecules;   // one per species path, count-0 species included
    std::vector<std::string> skipped;  // names of the count-0 species, in species order
};

Result<LoadedSpecies> load_molecules(const std::string& force_field_path,
                                     std::span<const std::string> species_paths,
                                     std::span<const std::uint64_t> counts);

// One UnknownKey diagnostic per key that the files hold but no record reads, force field first:
// a warning when the key is close to one its record reads (a misspelling, whose value is lost),
// else a note (a free annotation such as "comment").
void report_unknown_keys(const LoadedSpecies& loaded, const std::string& force_field_path,
                         std::span<const std::string> species_paths, Diagnostics& diagnostics);

}  // namespace boxwright
