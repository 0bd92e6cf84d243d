// run_from_coords: the whole build for positions the caller already has (no packing).
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

}  // namespace boxwright
