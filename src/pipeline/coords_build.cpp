#include "pipeline/coords_build.hpp"

#include "coords/coordinate_file.hpp"
#include "pipeline/active.hpp"
#include "pipeline/species.hpp"

namespace boxwright {
namespace {

Result<BuildSummary> write_outputs(const CoordsArgs& request, LoadedSpecies& loaded,
                                   ActiveSpecies& active, std::span<const Position> coordinates,
                                   double box_length) {
    // No packing step here, so there is no extra warning to pass on.
    return write_lammps_outputs(
        loaded.force_field, active.active, coordinates,
        OutputRequest{request.out_dir, request.pair_setup, request.explicit_lb},
        std::move(loaded.skipped), std::move(active.warnings), std::nullopt, box_length);
}

}  // namespace

Result<BuildSummary> run_from_coords(const CoordsArgs& request,
                                     std::span<const Position> coordinates, double box_length) {
    BW_TRY(auto loaded, load_molecules(request.force_field, request.species, request.counts));
    BW_TRY(auto active, resolve_active(loaded.molecules, request.counts));
    return write_outputs(request, loaded, active, coordinates, box_length);
}

Result<BuildSummary> run_from_coords_file(const CoordsArgs& request, const CoordsFile& file) {
    BW_TRY(auto loaded, load_molecules(request.force_field, request.species, request.counts));
    BW_TRY(auto active, resolve_active(loaded.molecules, request.counts));
    BW_TRY(auto expected, ExpectedAtoms::of(counted_molecules(active.active)));
    BW_TRY(auto read,
           read_coordinate_file(file.path, expected,
                                CoordinateReadOptions{file.check_names, file.box_length}));
    return write_outputs(request, loaded, active, read.positions, read.box_length);
}

}  // namespace boxwright
