#include "pipeline/packmol_build.hpp"

#include <cmath>
#include <utility>

#include "base/numbers.hpp"
#include "pipeline/temp_dir.hpp"

namespace boxwright {
namespace {

Result<void> check_time_limit(const Watch& watch) {
    if (!watch.time_limit) return {};
    const double seconds = watch.time_limit->count();
    if (!(seconds > 0) || !std::isfinite(seconds)) {
        return fail("timeout must be a positive number of seconds, got {}", plain_number(seconds));
    }
    return {};
}

// One Packmol over the whole box, run by the executor like a single sub-box so that the watch
// works alike: its note stays the packed system's own.
Result<PackedBox> pack_whole_box(const std::string& work_dir,
                                 std::span<const CountedMolecule> species,
                                 const ForceField& force_field, double density, double tolerance,
                                 const Watch& watch) {
    std::optional<PackedSystem> packed;
    auto pack = [&](std::size_t, std::stop_token stop) -> Result<void> {
        StopWhenRequested cancel(std::move(stop));
        BW_TRY(packed, pack_system(work_dir, species, force_field, density, tolerance, cancel));
        return {};
    };
    BW_TRY_VOID(run_side_by_side(1, 1, pack, watch));
    return PackedBox{std::move(*packed), {}};
}

}  // namespace

Result<PackmolBuild> build_packmol(const PackCommonArgs& request, double tolerance,
                                   PresetRule preset_rule, const PackingOptions& packing) {
    BW_TRY_VOID(check_time_limit(packing.watch));
    BW_TRY(auto loaded, load_molecules(request.force_field, request.species, request.counts));
    BW_TRY(auto active, resolve_active(loaded.molecules, request.counts));
    const auto pair_setup =
        settle_pair_setup(preset_rule, request.pair_setup, active.active, loaded.force_field);
    const auto species = counted_molecules(active.active);
    std::optional<DecompositionPlan> plan;
    if (packing.decomposition) {
        BW_TRY(plan, plan_decomposition(species, loaded.force_field, request.density, tolerance,
                                        *packing.decomposition));
    }

    // Removed with everything Packmol left in it when this scope ends, whatever happens below.
    BW_TRY(auto work_dir, TempWorkDir::create().map_error(about("temp directory")));
    BW_TRY(auto packed, plan ? pack_decomposed(work_dir.path(), species, *plan, packing.watch)
                             : pack_whole_box(work_dir.path(), species, loaded.force_field,
                                              request.density, tolerance, packing.watch));

    auto warnings = std::move(active.warnings);
    for (auto& warning : packed.warnings) warnings.push_back(std::move(warning));
    OutputRequest outputs{request.out_dir, pair_setup, request.explicit_lb};
    BW_TRY(auto summary,
           write_lammps_outputs(loaded.force_field, active.active, packed.packed.coordinates,
                                outputs, std::move(loaded.skipped), std::move(warnings),
                                packed.packed.note, packed.packed.box_edge));
    auto split = plan ? std::optional(plan->split) : std::nullopt;
    return PackmolBuild{std::move(loaded), std::move(active),  std::move(packed.packed),
                        pair_setup,        std::move(summary), split};
}

Result<BuildSummary> run_pack_packmol(const PackCommonArgs& request, double tolerance,
                                      Cancellation& cancel) {
    const PackingOptions packing{.watch = {.cancelled = [&cancel] { return cancel.requested(); }}};
    return build_packmol(request, tolerance, PresetRule::AsRequested, packing)
        .transform([](PackmolBuild&& build) { return std::move(build.summary); });
}

}  // namespace boxwright
