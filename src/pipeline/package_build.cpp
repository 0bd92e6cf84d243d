#include "pipeline/package_build.hpp"

#include <cmath>
#include <utility>

#include "base/io.hpp"
#include "base/numbers.hpp"
#include "base/utf8.hpp"

namespace boxwright {
namespace {

// The run settings are checked before anything is read.
Result<void> check_run_settings(const std::optional<RunSettings>& run) {
    if (!run) return {};
    if (!(run->temperature > 0) || !std::isfinite(run->temperature)) {
        return fail("temperature must be a positive number of kelvin, got {}",
                    plain_number(run->temperature));
    }
    if (run->pressure && !std::isfinite(*run->pressure)) {
        return fail("pressure must be a finite number of atm, got {}",
                    plain_number(*run->pressure));
    }
    if (!(run->timestep > 0) || !std::isfinite(run->timestep)) {
        return fail("timestep must be a positive number of femtoseconds, got {}",
                    plain_number(run->timestep));
    }
    return {};
}

// in.lmp when asked for, then the report on the whole build.
Result<BuildReport> finish(const ForceField& force_field, std::span<const ActivePair> active,
                           std::span<const Position> coordinates,
                           std::optional<PairSetup> pair_setup, BuildSummary summary,
                           const std::string& out_dir, const PackageOptions& options,
                           bool given_coordinates, std::optional<SplitPacking> split) {
    // Numbered as the files just written: the registries are cheap to build again (one entry
    // per species and type, never per copy) and come out the same.
    BW_TRY(const auto registries, build_type_registries(active, force_field));
    std::vector<std::string> files{summary.data_path, summary.forcefield_path};
    if (options.input_script) {
        const auto plan =
            plan_input_script(active, registries, force_field, pair_setup, *options.input_script);
        std::string path = join_path(out_dir, "in.lmp");
        BW_TRY_VOID(replace_file(path, input_script_text(plan)).map_error(about(path)));
        files.push_back(std::move(path));
    }
    const FinishedBuild build{force_field,
                              active,
                              registries,
                              coordinates,
                              pair_setup,
                              given_coordinates,
                              options.input_script.has_value(),
                              split};
    return make_build_report(build, std::move(summary), std::move(files));
}

}  // namespace

Result<BuildReport> package_packmol(const PackCommonArgs& request, double tolerance,
                                    const PackageOptions& options, const PackingOptions& packing) {
    BW_TRY_VOID(check_run_settings(options.input_script));
    BW_TRY(auto built, build_packmol(request, tolerance, options.preset_rule, packing));
    return finish(built.loaded.force_field, built.active.active, built.packed.coordinates,
                  built.pair_setup, std::move(built.summary), request.out_dir, options, false,
                  built.split);
}

Result<BuildReport> package_from_coords(const CoordsArgs& request,
                                        std::span<const Position> coordinates, double box_length,
                                        const PackageOptions& options) {
    BW_TRY_VOID(check_run_settings(options.input_script));
    BW_TRY(auto built, build_from_coords(request, coordinates, box_length, options.preset_rule));
    return finish(built.loaded.force_field, built.active.active, coordinates, built.pair_setup,
                  std::move(built.summary), request.out_dir, options, true, std::nullopt);
}

Result<BuildReport> package_from_coords_file(const CoordsArgs& request, const CoordsFile& file,
                                             const PackageOptions& options) {
    BW_TRY_VOID(check_run_settings(options.input_script));
    BW_TRY(auto read, build_from_coords_file(request, file, options.preset_rule));
    CoordsBuild& built = read.build;
    return finish(built.loaded.force_field, built.active.active, read.positions, built.pair_setup,
                  std::move(built.summary), request.out_dir, options, true, std::nullopt);
}

}  // namespace boxwright
