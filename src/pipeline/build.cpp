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
#include "pipeline/four_site_water.hpp"
#include "pipeline/kept_velocities.hpp"
#include "pipeline/limits.hpp"
#include "pipeline/output_set.hpp"
#include "pipeline/placement.hpp"
#include "pipeline/plausibility.hpp"
#include "pipeline/settings_beside.hpp"
#include "pipeline/settings_check.hpp"
#include "pipeline/shown_paths.hpp"
#include "pipeline/system.hpp"

namespace boxwright {
namespace {

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
    names.reserve(system.loaded.molecules.size());
    for (const auto& molecule : system.loaded.molecules) names.push_back(molecule.name);
    return names;
}

}  // namespace

Result<BuildReport> finish_build(const BuildRequest& request, const ResolvedSystem& system,
                                 const PlacedAtoms& placed, Diagnostics diagnostics,
                                 const Watch& watch, OutputDirectory* claimed) {
    BW_TRY(auto report, make_build_report(request, system, placed, output_paths(request),
                                          std::move(diagnostics), watch));
    if (watch.stop.stop_requested()) return interrupted_before_replacing(request);
    BW_TRY_VOID(refuse_warnings(request, report.diagnostics));
    Diagnostics written;
    std::optional<OutputDirectory> claimed_here;
    if (!claimed) {
        BW_TRY(auto directory, OutputDirectory::claim(request, watch, written));
        claimed = &claimed_here.emplace(std::move(directory));
    }
    BW_TRY_VOID(write_lammps_outputs(system, placed, request, watch, *claimed, written));
    report.diagnostics.insert(report.diagnostics.end(), written.entries().begin(),
                              written.entries().end());
    return report;
}

namespace {

// A rebuild from a final.data goes on with the settings of the run that wrote it, where the
// caller gave none: the request with them, or none when there is no in.lmp of ours beside.
std::optional<BuildRequest> with_run_settings_beside(const BuildRequest& request,
                                                     Diagnostics& diagnostics) {
    const auto* file = std::get_if<CoordinateFileSource>(&request.placement);
    if (!file || !request.input_script) return std::nullopt;
    const auto beside = settings_beside(file->path);
    if (!beside) return std::nullopt;
    BuildRequest taken = request;
    diagnostics.note(DiagnosticKind::RunSettings,
                     take_settings_beside(*taken.input_script, taken.run_given, *beside));
    return taken;
}

// The build up to its placement, once the request has its counts and its settings are checked; a
// composition's counts, worked out from it, are reported with the species' names once those are
// read. A build that writes claims its output directory before the placement; a placement alone
// writes nothing and claims nothing.
Result<PlacedSystem> place_counted(const BuildRequest& request, const ComposedCounts* composed,
                                   const Watch& watch, Diagnostics diagnostics, bool claim) {
    auto resolved = resolve_system(request, diagnostics);
    if (!resolved) {
        return tl::unexpected(with_warnings(std::move(resolved).error(), diagnostics, request));
    }
    auto& system = *resolved;
    if (composed) {
        report_composition(*request.composition, *composed, species_names(system), diagnostics);
    }
    BW_TRY_VOID(check_settings_against(request, system, diagnostics));
    BW_TRY_VOID(check_system_size(request, system));
    BW_TRY_VOID(check_four_site_waters(request, system, diagnostics));
    if (request.full_report) check_input_plausibility(request, system, diagnostics);
    // Claimed before the packing, so that a directory the build cannot write into, or one that
    // this very thread is writing, is told before the long work rather than after it.
    std::optional<OutputDirectory> claimed;
    if (claim) {
        BW_TRY(auto directory, OutputDirectory::claim(request, watch, diagnostics));
        claimed.emplace(std::move(directory));
    }
    BW_TRY_VOID(refuse_warnings(request, diagnostics.entries()));  // before a long packing
    auto placed = place(system, request, watch, diagnostics);
    if (!placed) {
        return tl::unexpected(with_warnings(std::move(placed).error(), diagnostics, request));
    }
    BW_TRY_VOID(check_given_box(request, placed->box_length));
    if (placed->velocities) {
        const auto run_temperature =
            request.input_script ? std::optional(request.input_script->temperature) : std::nullopt;
        BW_TRY_VOID(
            check_kept_velocities(*placed->velocities, system, run_temperature, diagnostics));
    }
    return PlacedSystem{std::move(system), std::move(*placed), std::move(diagnostics),
                        std::move(claimed)};
}

// Every setting is checked before any file is read; a composition becomes counts.
Result<PlacedSystem> checked_placement(const BuildRequest& request, const Watch& watch, bool claim,
                                       Diagnostics diagnostics = {}) {
    BW_TRY_VOID(check_settings(request, watch, diagnostics));
    if (!request.composition) {
        return place_counted(request, nullptr, watch, std::move(diagnostics), claim);
    }
    invariant(request.counts.empty(), "a request gives counts or a composition, not both");
    BW_TRY(const auto composed,
           compose_counts(*request.composition, request.species.size(), request.option_naming));
    BuildRequest counted = request;
    counted.counts = composed.counts;
    return place_counted(counted, &composed, watch, std::move(diagnostics), claim);
}

Result<BuildReport> run_requested_build(const BuildRequest& given, const Watch& watch) {
    Diagnostics diagnostics;
    const auto taken = with_run_settings_beside(given, diagnostics);
    const BuildRequest& request = taken ? *taken : given;
    BW_TRY(auto placed, checked_placement(request, watch, true, std::move(diagnostics)));
    return finish_build(request, placed.system, placed.atoms, std::move(placed.diagnostics), watch,
                        placed.claimed ? &*placed.claimed : nullptr);
}

// The failure's message and every diagnostic with the paths shown escaped where they need it.
Result<BuildReport> with_paths_shown(Result<BuildReport> built, const ShownPaths& paths) {
    if (!built) {
        built.error().message = paths.in(std::move(built.error().message));
        return built;
    }
    for (auto& diagnostic : built->diagnostics)
        diagnostic.text = paths.in(std::move(diagnostic.text));
    return built;
}

}  // namespace

Result<BuildReport> run_build(const BuildRequest& request, const Watch& watch) {
    auto built = run_requested_build(request, watch);
    if (!request.escape_paths) return built;
    const ShownPaths paths(request);
    return paths.any() ? with_paths_shown(std::move(built), paths) : built;
}

// A strict placement fails on the warnings of the placement itself too, as the build would.
Result<PlacedSystem> run_placement(const BuildRequest& request, const Watch& watch) {
    BW_TRY(auto placed, checked_placement(request, watch, false));
    BW_TRY_VOID(refuse_warnings(request, placed.diagnostics.entries()));
    return placed;
}

}  // namespace boxwright
