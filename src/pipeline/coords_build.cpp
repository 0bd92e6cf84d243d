#include "pipeline/coords_build.hpp"

#include "pipeline/active.hpp"
#include "pipeline/species.hpp"

namespace boxwright {

Result<BuildSummary> run_from_coords(const CoordsArgs& request,
                                     std::span<const Position> coordinates, double box_length) {
    BW_TRY(auto loaded, load_molecules(request.force_field, request.species, request.counts));
    BW_TRY(auto active, resolve_active(loaded.molecules, request.counts));
    // No packing step here, so there is no extra warning to pass on.
    return write_lammps_outputs(
        loaded.force_field, active.active, coordinates,
        OutputRequest{request.out_dir, request.pair_setup, request.explicit_lb},
        std::move(loaded.skipped), std::move(active.warnings), std::nullopt, box_length);
}

}  // namespace boxwright
