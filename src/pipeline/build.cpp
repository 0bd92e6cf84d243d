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
#include "pipeline/settings_check.hpp"
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

// The build once the request has its counts and its settings are checked; a composition's counts,
// worked out from it, are reported with the species' names once those are read.
Result<BuildReport> run_counted_build(const BuildRequest& request, const ComposedCounts* composed,
                                      const Watch& watch, Diagnostics diagnostics) {
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

// Every setting is checked before any file is read.
Result<BuildReport> run_build(const BuildRequest& request, const Watch& watch) {
    Diagnostics diagnostics;
    BW_TRY_VOID(check_settings(request, watch, diagnostics));
    if (!request.composition) {
        return run_counted_build(request, nullptr, watch, std::move(diagnostics));
    }
    invariant(request.counts.empty(), "a request gives counts or a composition, not both");
    BW_TRY(const auto composed,
           compose_counts(*request.composition, request.species.size(), request.option_naming));
    BuildRequest counted = request;
    counted.counts = composed.counts;
    return run_counted_build(counted, &composed, watch, std::move(diagnostics));
}

}  // namespace boxwright
