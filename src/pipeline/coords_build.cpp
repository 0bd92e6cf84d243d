#include "pipeline/coords_build.hpp"

#include <utility>

namespace boxwright {

Result<CoordsBuild> build_from_coords(const CoordsArgs& request,
                                      std::span<const Position> coordinates, double box_length,
                                      PresetRule preset_rule) {
    BW_TRY(auto loaded, load_molecules(request.force_field, request.species, request.counts));
    BW_TRY(auto active, resolve_active(loaded.molecules, request.counts));
    const auto pair_setup =
        settle_pair_setup(preset_rule, request.pair_setup, active.active, loaded.force_field);
    // No packing step here, so there is no extra warning to pass on.
    BW_TRY(auto summary,
           write_lammps_outputs(loaded.force_field, active.active, coordinates,
                                OutputRequest{request.out_dir, pair_setup, request.explicit_lb},
                                std::move(loaded.skipped), std::move(active.warnings), std::nullopt,
                                box_length));
    return CoordsBuild{std::move(loaded), std::move(active), pair_setup, std::move(summary)};
}

Result<BuildSummary> run_from_coords(const CoordsArgs& request,
                                     std::span<const Position> coordinates, double box_length) {
    return build_from_coords(request, coordinates, box_length, PresetRule::AsRequested)
        .transform([](CoordsBuild&& build) { return std::move(build.summary); });
}

}  // namespace boxwright
