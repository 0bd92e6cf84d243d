#include "pipeline/build.hpp"

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/invariant.hpp"
#include "base/numbers.hpp"
#include "pipeline/composition.hpp"
#include "pipeline/limits.hpp"
#include "pipeline/output_set.hpp"
#include "pipeline/placement.hpp"
#include "pipeline/plausibility.hpp"
#include "pipeline/system.hpp"

namespace boxwright {
namespace {

// LAMMPS's run command takes at most 2^31 - 1 steps.
constexpr std::uint64_t LAMMPS_MAX_STEPS = 2147483647;

Result<void> check_count(std::uint64_t value, std::string_view name, std::string_view what) {
    if (value > LAMMPS_MAX_STEPS) {
        return fail("{} must be at most {}, the most LAMMPS's {} takes, got {}", name,
                    LAMMPS_MAX_STEPS, what, value);
    }
    return {};
}

Result<void> check_time(double value, std::string_view name) {
    if (!(value > 0) || !std::isfinite(value)) {
        return fail("{} must be a positive number of femtoseconds, got {}", name,
                    plain_number(value));
    }
    return {};
}

Result<void> check_run_settings(const RunSettings& run) {
    if (!(run.temperature > 0) || !std::isfinite(run.temperature)) {
        return fail("temperature must be a positive number of kelvin, got {}",
                    plain_number(run.temperature));
    }
    if (run.pressure && !std::isfinite(*run.pressure)) {
        return fail("pressure must be a finite number of {}, got {}",
                    pressure_unit_name(run.pressure_unit), plain_number(*run.pressure));
    }
    BW_TRY_VOID(check_count(run.steps, "steps", "run command"));
    BW_TRY_VOID(check_time(run.timestep, "timestep"));
    BW_TRY_VOID(check_time(run.thermostat_damping, "thermostat_damping"));
    BW_TRY_VOID(check_time(run.barostat_damping, "barostat_damping"));
    if (run.thermo_every == 0) return fail("thermo_every must be at least 1, got 0");
    BW_TRY_VOID(check_count(run.thermo_every, "thermo_every", "thermo command"));
    BW_TRY_VOID(check_count(run.dump_every, "dump_every", "dump command"));
    BW_TRY_VOID(check_count(run.start_steps, "start_steps", "run command"));
    return check_count(run.handover_steps, "handover_steps", "run command");
}

Result<void> check_length(std::optional<double> length, std::string_view name) {
    if (length && (!(*length > 0) || !std::isfinite(*length))) {
        return fail("{} must be a positive number of \u00e5ngstr\u00f6m, got {}", name,
                    plain_number(*length));
    }
    return {};
}

// The first of the pair settings that is set, by its argument name; null when none is.
const char* first_pair_setting(const PairSettings& pair) {
    if (pair.cutoff) return "cutoff";
    if (pair.coulomb_cutoff) return "coulomb_cutoff";
    if (pair.kspace_accuracy) return "kspace_accuracy";
    return nullptr;
}

Result<void> check_pair_settings(const BuildRequest& request) {
    const PairSettings& pair = request.pair_settings;
    BW_TRY_VOID(check_length(pair.cutoff, "cutoff"));
    BW_TRY_VOID(check_length(pair.coulomb_cutoff, "coulomb_cutoff"));
    if (pair.kspace_accuracy && !(*pair.kspace_accuracy > 0 && *pair.kspace_accuracy < 1)) {
        return fail("kspace_accuracy must be a relative error above 0 and below 1, got {}",
                    plain_number(*pair.kspace_accuracy));
    }
    const char* first = first_pair_setting(pair);
    if (first && !request.input_script) {
        return fail("{} is set in in.lmp, but no in.lmp is written", first);
    }
    return {};
}

// What the pair settings need of the preset: one at all, a Coulomb term for the Coulomb cutoff
// and a long-range solver for the PPPM accuracy.
Result<void> check_pair_preset(const BuildRequest& request, std::optional<PairSetup> preset) {
    const PairSettings& pair = request.pair_settings;
    const char* first = first_pair_setting(pair);
    if (!first) return {};
    if (!preset) {
        return fail("{} needs a pair-style preset, not none", first);
    }
    const std::string_view chosen = request.preset_rule == PresetRule::FromCharges
                                        ? " (auto chose it: no atom carries a charge)"
                                        : "";
    if (pair.coulomb_cutoff && !has_coulomb_term(*preset)) {
        return fail("coulomb_cutoff needs a pair style with a Coulomb term; {} has none{}",
                    display_name(*preset), chosen);
    }
    if (pair.kspace_accuracy && !has_long_range_solver(*preset)) {
        return fail("kspace_accuracy needs a pair style with a long-range solver; {} has none{}",
                    display_name(*preset), chosen);
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
    if (!packing) return {};
    if (!packing->jobs && (packing->seed || packing->subboxes)) {
        return fail("seed and subboxes apply to a box split into sub-boxes: give jobs too");
    }
    // Packmol itself crashes on a negative tolerance.
    if (!(packing->tolerance >= 0) || !std::isfinite(packing->tolerance)) {
        return fail("tolerance must be a finite length of at least 0 \u00c5, got {}",
                    plain_number(packing->tolerance));
    }
    return {};
}

// The settings that need no file are checked before anything is read; so is the preset the
// pair settings need, unless the charges settle it.
Result<void> check_settings(const BuildRequest& request, const Watch& watch) {
    if (request.input_script) BW_TRY_VOID(check_run_settings(*request.input_script));
    BW_TRY_VOID(check_pair_settings(request));
    if (request.preset_rule == PresetRule::AsRequested) {
        BW_TRY_VOID(check_pair_preset(request, request.pair_setup));
    }
    BW_TRY_VOID(check_time_limit(watch));
    return check_packing(request.placement);
}

// A strict build stops at its first warnings, all of them in the message.
Result<void> refuse_warnings(const BuildRequest& request, std::span<const Diagnostic> diagnostics) {
    if (!request.strict) return {};
    std::string texts;
    for (const auto& diagnostic : diagnostics) {
        if (diagnostic.level == DiagnosticLevel::Warning) texts += "\n  " + diagnostic.text;
    }
    if (texts.empty()) return {};
    return fail("the build is strict and has warnings; nothing was written:{}", texts);
}

// A package build that fails after the input was found implausible most likely fails for that
// reason (a density in g/m³ leaves no room, a misspelt "Bond" key leaves a bond without
// parameters): the warnings go with the failure, or they would be lost.
FfError with_warnings(FfError error, const Diagnostics& diagnostics, const BuildRequest& request) {
    if (!request.full_report) return error;
    for (const auto& diagnostic : diagnostics.entries()) {
        if (diagnostic.level == DiagnosticLevel::Warning && is_about_input(diagnostic.kind)) {
            error.message += "\nwarning: " + diagnostic.text;
        }
    }
    return error;
}

// Every species' name, in species order, count-0 species included.
std::vector<std::string> species_names(const ResolvedSystem& system) {
    std::vector<std::string> names;
    for (const auto& molecule : system.loaded.molecules) names.push_back(molecule.name);
    return names;
}

}  // namespace

Result<BuildReport> finish_build(const BuildRequest& request, const ResolvedSystem& system,
                                 const PlacedAtoms& placed, Diagnostics diagnostics,
                                 const Watch& watch) {
    BW_TRY(auto report, make_build_report(request, system, placed, output_paths(request),
                                          std::move(diagnostics), watch));
    if (watch.stop.stop_requested()) return interrupted_before_replacing(request);
    BW_TRY_VOID(refuse_warnings(request, report.diagnostics));
    BW_TRY_VOID(write_lammps_outputs(system, placed, request, watch));
    return report;
}

namespace {

// A rebuild from a final.data goes on with the settings of the run that wrote it, where the
// caller gave none.
void take_run_settings_beside(BuildRequest& request, Diagnostics& diagnostics) {
    const auto* file = std::get_if<CoordinateFileSource>(&request.placement);
    if (!file || !request.input_script) return;
    if (const auto beside = settings_beside(file->path)) {
        diagnostics.note(DiagnosticKind::RunSettings,
                         take_settings_beside(*request.input_script, request.run_given, *beside));
    }
}

// The build once the request has its counts; a composition's, worked out from it, are reported
// with the species' names once those are read.
Result<BuildReport> run_counted_build(BuildRequest request, const ComposedCounts* composed,
                                      const Watch& watch) {
    Diagnostics diagnostics;
    take_run_settings_beside(request, diagnostics);
    BW_TRY_VOID(check_settings(request, watch));
    auto resolved = resolve_system(request, diagnostics);
    if (!resolved) {
        return tl::unexpected(with_warnings(std::move(resolved).error(), diagnostics, request));
    }
    auto& system = *resolved;
    if (composed) {
        report_composition(*request.composition, *composed, species_names(system), diagnostics);
    }
    if (request.preset_rule == PresetRule::FromCharges) {
        BW_TRY_VOID(check_pair_preset(request, system.pair_setup));
    }
    BW_TRY_VOID(check_system_size(request, system));
    if (request.full_report) check_input_plausibility(request, system, diagnostics);
    BW_TRY_VOID(refuse_warnings(request, diagnostics.entries()));  // before a long packing
    auto placed = place(system, request, watch, diagnostics);
    if (!placed) {
        return tl::unexpected(with_warnings(std::move(placed).error(), diagnostics, request));
    }
    BW_TRY_VOID(check_given_box(request, placed->box_length));
    return finish_build(request, system, *placed, std::move(diagnostics), watch);
}

}  // namespace

Result<BuildReport> run_build(const BuildRequest& request, const Watch& watch) {
    if (!request.composition) return run_counted_build(request, nullptr, watch);
    invariant(request.counts.empty(), "a request gives counts or a composition, not both");
    BW_TRY(const auto composed, compose_counts(*request.composition, request.species.size()));
    BuildRequest counted = request;
    counted.counts = composed.counts;
    return run_counted_build(std::move(counted), &composed, watch);
}

}  // namespace boxwright
