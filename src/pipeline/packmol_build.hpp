// run_pack_packmol: the whole build for a mixture packed by Packmol at a target density, in a
// private temporary directory that never outlives the call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ff/error.hpp"
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

// A finished build together with what it was made of, for a report on it. Moved, never copied:
// the active species refer to the loaded molecules.
struct PackmolBuild {
    LoadedSpecies loaded;
    ActiveSpecies active;
    PackedSystem packed;
    std::optional<PairSetup> pair_setup;  // as written into forcefield.lmp
    BuildSummary summary;
};

// `cancel` is asked while packmol runs; on a request packmol is stopped, nothing is written and
// the call fails.
Result<PackmolBuild> build_packmol(const PackCommonArgs& request, double tolerance,
                                   PresetRule preset_rule, Cancellation& cancel);

// The build with the preset as requested; only its summary is kept.
Result<BuildSummary> run_pack_packmol(const PackCommonArgs& request, double tolerance,
                                      Cancellation& cancel = no_cancellation());

}  // namespace boxwright
