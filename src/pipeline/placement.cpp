#include "pipeline/placement.hpp"

#include <utility>

#include "coords/coordinate_file.hpp"
#include "coords/expected_atoms.hpp"
#include "decomposition/executor.hpp"
#include "packmol/pack.hpp"
#include "pipeline/temp_dir.hpp"

namespace boxwright {
namespace {

// One Packmol over the whole box, run by the executor like a single sub-box so that the watch
// works alike.
Result<PackedBox> pack_whole_box(const std::string& work_dir,
                                 std::span<const CountedMolecule> species,
                                 const ForceField& force_field, const PackmolPlacement& packing,
                                 const Watch& watch) {
    std::optional<PackedSystem> packed;
    auto pack = [&](std::size_t, std::stop_token stop) -> Result<void> {
        BW_TRY(packed, pack_system(work_dir, species, force_field, packing.density,
                                   packing.tolerance, std::move(stop)));
        return {};
    };
    BW_TRY_VOID(run_side_by_side(1, 1, pack, watch));
    return PackedBox{std::move(*packed), {}};
}

Result<PlacedAtoms> pack(const ResolvedSystem& system, const PackmolPlacement& packing,
                         const Watch& watch, Diagnostics& diagnostics) {
    const auto species = system.counted();
    std::optional<DecompositionPlan> plan;
    if (packing.jobs) {
        const DecompositionRequest split{packing.subboxes, packing.seed.value_or(DEFAULT_BASE_SEED),
                                         *packing.jobs};
        BW_TRY(plan, plan_decomposition(species, system.force_field(), packing.density,
                                        packing.tolerance, split));
    }
    // Removed with everything Packmol left in it when this scope ends, whatever happens below.
    BW_TRY(auto work_dir, TempWorkDir::create().map_error(about("temp directory")));
    BW_TRY(auto packed,
           plan ? pack_decomposed(work_dir.path(), species, *plan, watch)
                : pack_whole_box(work_dir.path(), species, system.force_field(), packing, watch));
    for (auto& warning : packed.warnings) {
        diagnostics.warn(DiagnosticKind::PackingStatus, std::move(warning));
    }
    if (packed.packed.note) {
        diagnostics.warn(DiagnosticKind::PackingStatus, std::move(*packed.packed.note));
    }
    return PlacedAtoms{std::move(packed.packed.coordinates), std::nullopt, packed.packed.box_edge,
                       plan ? std::optional(plan->split) : std::nullopt};
}

Result<PlacedAtoms> read_file(const ResolvedSystem& system, const CoordinateFileSource& file) {
    BW_TRY(auto expected, ExpectedAtoms::of(system.counted()));
    BW_TRY(auto read,
           read_coordinate_file(file.path, expected,
                                CoordinateReadOptions{file.check_names, file.box_length}));
    return PlacedAtoms{std::move(read.positions), std::nullopt, read.box_length};
}

}  // namespace

Result<PlacedAtoms> place(const ResolvedSystem& system, const Placement& placement,
                          const Watch& watch, Diagnostics& diagnostics) {
    if (const auto* given = std::get_if<GivenPositions>(&placement)) {
        return PlacedAtoms{{}, given->positions, given->box_length};
    }
    if (const auto* file = std::get_if<CoordinateFileSource>(&placement)) {
        return read_file(system, *file);
    }
    return pack(system, std::get<PackmolPlacement>(placement), watch, diagnostics);
}

}  // namespace boxwright
