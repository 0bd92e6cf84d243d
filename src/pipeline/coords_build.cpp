#include "pipeline/coords_build.hpp"

#include <utility>

#include "coords/coordinate_file.hpp"

namespace boxwright {
namespace {

struct Inputs {
    LoadedSpecies loaded;
    ActiveSpecies active;
};

Result<Inputs> load_and_resolve(const CoordsArgs& request) {
    BW_TRY(auto loaded, load_molecules(request.force_field, request.species, request.counts));
    BW_TRY(auto active, resolve_active(loaded.molecules, request.counts));
    return Inputs{std::move(loaded), std::move(active)};
}

Result<CoordsBuild> write_build(const CoordsArgs& request, Inputs inputs,
                                std::span<const Position> coordinates, double box_length,
                                PresetRule preset_rule) {
    auto& [loaded, active] = inputs;
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

}  // namespace

Result<CoordsBuild> build_from_coords(const CoordsArgs& request,
                                      std::span<const Position> coordinates, double box_length,
                                      PresetRule preset_rule) {
    BW_TRY(auto inputs, load_and_resolve(request));
    return write_build(request, std::move(inputs), coordinates, box_length, preset_rule);
}

Result<BuildSummary> run_from_coords(const CoordsArgs& request,
                                     std::span<const Position> coordinates, double box_length) {
    return build_from_coords(request, coordinates, box_length, PresetRule::AsRequested)
        .transform([](CoordsBuild&& build) { return std::move(build.summary); });
}

Result<CoordsFileBuild> build_from_coords_file(const CoordsArgs& request, const CoordsFile& file,
                                               PresetRule preset_rule) {
    BW_TRY(auto inputs, load_and_resolve(request));
    BW_TRY(auto expected, ExpectedAtoms::of(counted_molecules(inputs.active.active)));
    BW_TRY(auto read,
           read_coordinate_file(file.path, expected,
                                CoordinateReadOptions{file.check_names, file.box_length}));
    BW_TRY(auto build,
           write_build(request, std::move(inputs), read.positions, read.box_length, preset_rule));
    return CoordsFileBuild{std::move(build), std::move(read.positions), read.box_length};
}

}  // namespace boxwright
