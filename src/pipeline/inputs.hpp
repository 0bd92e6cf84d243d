// load_molecules: the first step of every build. Checks the request's shape, loads the force field
// (the given file's entries, then those of the bundled models the species name) and one molecule
// per species, and rejects two species with the same name; then tells the keys of those files that
// no record reads.
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
    std::string force_field_file;      // the file whose unknown keys force_field carries
    std::vector<Molecule> molecules;   // one per species path, count-0 species included
    std::vector<std::string> skipped;  // names of the count-0 species, in species order
};

// The package's first look at the species: each file opens for reading, so that a missing one
// is told as that, not as a default force-field file the build would have read first.
Result<void> check_species_files_open(std::span<const std::string> species_paths);

// `force_field_path` may be empty when `model_force_fields` is not: the force field is then the
// models' alone, with the longest of their cutoffs.
Result<LoadedSpecies> load_molecules(const std::string& force_field_path,
                                     std::span<const std::string> species_paths,
                                     std::span<const std::uint64_t> counts,
                                     std::span<const std::string> model_force_fields = {});

// One UnknownKey diagnostic per key that the files hold but no record reads, force field first:
// a warning when the key is close to one its record reads (a misspelling, whose value is lost),
// else a note (a free annotation such as "comment").
void report_unknown_keys(const LoadedSpecies& loaded, std::span<const std::string> species_paths,
                         Diagnostics& diagnostics);

}  // namespace boxwright
