// run_from_coords: the whole build for positions the caller already has (no packing), given in
// memory or as a coordinate file that is read only after the force field and the species have been
// loaded and checked, so that an input error costs no time whatever the file's size.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "ff/error.hpp"
#include "ff/molecule.hpp"
#include "lammps/pair_style.hpp"
#include "pipeline/outputs.hpp"

namespace boxwright {

struct CoordsArgs {
    std::vector<std::string> species;
    std::vector<std::uint64_t> counts;
    std::string force_field;
    std::string out_dir;
    bool explicit_lb = false;
    std::optional<PairSetup> pair_setup;
};

// load_molecules -> resolve_active -> write_lammps_outputs, with the caller's box edge.
Result<BuildSummary> run_from_coords(const CoordsArgs& request,
                                     std::span<const Position> coordinates, double box_length);

struct CoordsFile {
    std::string path;
    std::optional<double> box_length;  // absent: the box the file states
    bool check_names = true;           // compare the file's atom names with the species'
};

// load_molecules -> resolve_active -> read_coordinate_file -> write_lammps_outputs.
Result<BuildSummary> run_from_coords_file(const CoordsArgs& request, const CoordsFile& file);

}  // namespace boxwright
