#include "pipeline/decomposed_build.hpp"

#include <utility>

#include "pipeline/active.hpp"
#include "pipeline/species.hpp"
#include "pipeline/temp_dir.hpp"

namespace boxwright {

Result<DecomposedBuild> run_pack_packmol_decomposed(const PackCommonArgs& request, double tolerance,
                                                    const DecompositionRequest& decomposition,
                                                    const Watch& watch) {
    BW_TRY(auto loaded, load_molecules(request.force_field, request.species, request.counts));
    BW_TRY(auto active, resolve_active(loaded.molecules, request.counts));
    const auto species = counted_molecules(active.active);
    BW_TRY(auto plan, plan_decomposition(species, loaded.force_field, request.density, tolerance,
                                         decomposition));

    // Removed with every sub-box directory in it when this scope ends, whatever happens below.
    BW_TRY(auto work_dir, TempWorkDir::create().map_error(about("temp directory")));
    BW_TRY(auto packing, pack_decomposed(work_dir.path(), species, plan, watch));

    auto warnings = std::move(active.warnings);
    for (auto& warning : packing.warnings) warnings.push_back(std::move(warning));
    OutputRequest outputs{request.out_dir, request.pair_setup, request.explicit_lb};
    BW_TRY(auto summary,
           write_lammps_outputs(loaded.force_field, active.active, packing.packed.coordinates,
                                outputs, std::move(loaded.skipped), std::move(warnings),
                                std::nullopt, packing.packed.box_edge));
    return DecomposedBuild{std::move(summary), plan.layout, plan.concurrency};
}

}  // namespace boxwright
