// run_pack_packmol_decomposed: the whole build for a mixture packed at a target density by one
// Packmol per sub-box, run side by side, in a private temporary directory that never outlives the
// call. Everything that can be checked is checked before the directory is created.
#pragma once

#include "decomposition/decomposed_pack.hpp"
#include "pipeline/outputs.hpp"
#include "pipeline/packmol_build.hpp"

namespace boxwright {

struct DecomposedBuild {
    BuildSummary summary;  // its warnings name every sub-box whose Packmol reported a failure
    GridLayout layout;
    unsigned jobs_used = 1;
};

Result<DecomposedBuild> run_pack_packmol_decomposed(const PackCommonArgs& request, double tolerance,
                                                    const DecompositionRequest& decomposition,
                                                    const Watch& watch);

}  // namespace boxwright
