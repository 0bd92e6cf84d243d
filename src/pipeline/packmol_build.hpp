// run_pack_packmol: the whole build for a mixture packed by Packmol at a target density, in a
// private temporary directory that never outlives the call; and build_packmol, the same build with
// the choice of one Packmol over the whole box or one per sub-box of a grid, run side by side.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "decomposition/decomposed_pack.hpp"
#include "lammps/pair_style.hpp"
#include "packmol/cancellation.hpp"
#include "packmol/pack.hpp"
#include "pipeline/active.hpp"
#include "pipeline/outputs.hpp"
#include "pipeline/species.hpp"

namespace boxwright {

struct PackCommonArgs {
    std::vector<std::string> species;
    std::vector<std::uint64_t> counts;
    std::string force_field;
    std::string out_dir;
    double density = 0;  // kg/m³
    bool explicit_lb = false;
    std::optional<PairSetup> pair_setup;
};

// How the packing step runs: one Packmol over the whole box, or the box split into sub-boxes with
// one Packmol each. Either way the calling thread watches it: an interrupt or the spent time limit
// stops every Packmol, and then nothing is written.
struct PackingOptions {
    std::optional<DecompositionRequest> decomposition = {};  // absent: one run over the box
    Watch watch = {};
};

// A finished build together with what it was made of, for a report on it. Moved, never copied:
// the active species refer to the loaded molecules.
struct PackmolBuild {
    LoadedSpecies loaded;
    ActiveSpecies active;
    PackedSystem packed;
    std::optional<PairSetup> pair_setup;  // as written into forcefield.lmp
    BuildSummary summary;
    std::optional<SplitPacking> split;  // absent for one run over the whole box
};

// A split packing is checked whole (jobs, grid, widest molecule) before the working directory is
// created; each sub-box whose Packmol reported a failure but left a usable structure adds a
// warning naming it.
Result<PackmolBuild> build_packmol(const PackCommonArgs& request, double tolerance,
                                   PresetRule preset_rule, const PackingOptions& packing);

// The build with the preset as requested and one Packmol over the whole box; only its summary is
// kept. `cancel` is asked a few times a second while Packmol runs; on a request Packmol is
// stopped, nothing is written and the call fails.
Result<BuildSummary> run_pack_packmol(const PackCommonArgs& request, double tolerance,
                                      Cancellation& cancel = no_cancellation());

}  // namespace boxwright
