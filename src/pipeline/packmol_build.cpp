#include "pipeline/packmol_build.hpp"

#include <utility>

#include "pipeline/temp_dir.hpp"

namespace boxwright {

Result<PackmolBuild> build_packmol(const PackCommonArgs& request, double tolerance,
                                   PresetRule preset_rule, Cancellation& cancel) {
    BW_TRY(auto loaded, load_molecules(request.force_field, request.species, request.counts));
    BW_TRY(auto active, resolve_active(loaded.molecules, request.counts));
    const auto pair_setup =
        settle_pair_setup(preset_rule, request.pair_setup, active.active, loaded.force_field);

    // Removed with everything Packmol left in it when this scope ends, whatever happens below.
    BW_TRY(auto work_dir, TempWorkDir::create().map_error(about("temp directory")));
    BW_TRY(auto packed, pack_system(work_dir.path(), counted_molecules(active.active),
                                    loaded.force_field, request.density, tolerance, cancel));

    OutputRequest outputs{request.out_dir, pair_setup, request.explicit_lb};
    BW_TRY(auto summary,
           write_lammps_outputs(loaded.force_field, active.active, packed.coordinates, outputs,
                                std::move(loaded.skipped), std::move(active.warnings),
                                std::move(packed.note), packed.box_edge));
    return PackmolBuild{std::move(loaded), std::move(active), std::move(packed), pair_setup,
                        std::move(summary)};
}

Result<BuildSummary> run_pack_packmol(const PackCommonArgs& request, double tolerance,
                                      Cancellation& cancel) {
    return build_packmol(request, tolerance, PresetRule::AsRequested, cancel)
        .transform([](PackmolBuild&& build) { return std::move(build.summary); });
}

}  // namespace boxwright
