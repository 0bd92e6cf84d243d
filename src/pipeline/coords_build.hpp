// run_from_coords: the whole build for positions the caller already has (no packing), given in
// memory or as a coordinate file that is read only after the force field and the species have been
// loaded and checked, so that an input error costs no time whatever the file's size.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/error.hpp"
#include "ff/molecule.hpp"
#include "lammps/pair_style.hpp"
#include "pipeline/active.hpp"
#include "pipeline/outputs.hpp"
#include "pipeline/species.hpp"

namespace boxwright {

struct CoordsArgs {
    std::vector<std::string> species;
    std::vector<std::uint64_t> counts;
    std::string force_field;
    std::string out_dir;
    bool explicit_lb = false;
    std::optional<PairSetup> pair_setup;
};

// A finished build together with what it was made of, for a report on it. Moved, never copied:
// the active species refer to the loaded molecules.
struct CoordsBuild {
    LoadedSpecies loaded;
    ActiveSpecies active;
    std::optional<PairSetup> pair_setup;  // as written into forcefield.lmp
    BuildSummary summary;
};

// load_molecules -> resolve_active -> write_lammps_outputs, with the caller's box edge.
Result<CoordsBuild> build_from_coords(const CoordsArgs& request,
                                      std::span<const Position> coordinates, double box_length,
                                      PresetRule preset_rule);

// The build with the preset as requested; only its summary is kept.
Result<BuildSummary> run_from_coords(const CoordsArgs& request,
                                     std::span<const Position> coordinates, double box_length);

struct CoordsFile {
    std::string path;
    std::optional<double> box_length;  // absent: the box the file states
    bool check_names = true;           // compare the file's atom names with the species'
};

// The build from a coordinate file, with the positions as read and the box edge settled.
struct CoordsFileBuild {
    CoordsBuild build;
    std::vector<Position> positions;
    double box_length = 0;
};

// load_molecules -> resolve_active -> read_coordinate_file -> write_lammps_outputs.
Result<CoordsFileBuild> build_from_coords_file(const CoordsArgs& request, const CoordsFile& file,
                                               PresetRule preset_rule);

}  // namespace boxwright
