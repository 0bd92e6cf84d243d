#include "pipeline/build.hpp"

#include <cmath>
#include <utility>

#include "base/numbers.hpp"
#include "pipeline/output_set.hpp"
#include "pipeline/placement.hpp"
#include "pipeline/system.hpp"

namespace boxwright {
namespace {

Result<void> check_run_settings(const RunSettings& run) {
    if (!(run.temperature > 0) || !std::isfinite(run.temperature)) {
        return fail("temperature must be a positive number of kelvin, got {}",
                    plain_number(run.temperature));
    }
    if (run.pressure && !std::isfinite(*run.pressure)) {
        return fail("pressure must be a finite number of atm, got {}", plain_number(*run.pressure));
    }
    if (!(run.timestep > 0) || !std::isfinite(run.timestep)) {
        return fail("timestep must be a positive number of femtoseconds, got {}",
                    plain_number(run.timestep));
    }
    return {};
}

Result<void> check_time_limit(const Watch& watch) {
    if (!watch.time_limit) return {};
    const double seconds = watch.time_limit->count();
    if (!(seconds > 0) || !std::isfinite(seconds)) {
        return fail("timeout must be a positive number of seconds, got {}", plain_number(seconds));
    }
    return {};
}

Result<void> check_packing(const Placement& placement) {
    const auto* packing = std::get_if<PackmolPlacement>(&placement);
    if (packing && !packing->jobs && (packing->seed || packing->subboxes)) {
        return fail("seed and subboxes apply to a box split into sub-boxes: give jobs too");
    }
    return {};
}

// The settings that need no file are checked before anything is read.
Result<void> check_settings(const BuildRequest& request, const Watch& watch) {
    if (request.input_script) BW_TRY_VOID(check_run_settings(*request.input_script));
    BW_TRY_VOID(check_time_limit(watch));
    return check_packing(request.placement);
}

}  // namespace

Result<BuildReport> run_build(const BuildRequest& request, const Watch& watch) {
    BW_TRY_VOID(check_settings(request, watch));
    Diagnostics diagnostics;
    BW_TRY(auto system, resolve_system(request, diagnostics));
    BW_TRY(auto placed, place(system, request, watch, diagnostics));
    BW_TRY(auto files, write_lammps_outputs(system, placed, request, watch));
    return make_build_report(request, system, placed, std::move(files), std::move(diagnostics));
}

}  // namespace boxwright
