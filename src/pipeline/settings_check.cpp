#include "pipeline/settings_check.hpp"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/numbers.hpp"
#include "base/quoted.hpp"
#include "base/units.hpp"
#include "base/utf8.hpp"
#include "pipeline/system.hpp"

namespace boxwright {
namespace {

// A value as a message shows it: plainly unless that would take hundreds of digits.
std::string shown(double value) {
    const double size = std::abs(value);
    return size == 0 || (size >= 1e-6 && size < 1e16) ? plain_number(value) : list_number(value);
}

// One option the caller gave, as its row checks it.
struct GivenSetting {
    const OptionSpec* spec;
    double value;      // in the row's unit
    std::string text;  // the value as given: whole numbers whole
    // A value in another unit than the row's: that unit, and the given unit per row's unit.
    std::string_view unit = spec->unit;
    double given_per_row = 1;
};

GivenSetting number(std::string_view name, double value) {
    return {find_option(name), value, shown(value)};
}

// A pressure in its unit, checked in atm against the pressure's row.
GivenSetting pressure(double value, PressureUnit unit) {
    return {.spec = find_option("pressure"),
            .value = value * atm_per(unit),
            .text = shown(value),
            .unit = pressure_unit_name(unit),
            .given_per_row = PASCAL_PER_ATM / pascal_per(unit)};
}

GivenSetting whole(std::string_view name, std::int64_t value) {
    return {find_option(name), static_cast<double>(value), std::to_string(value)};
}

GivenSetting whole(std::string_view name, std::uint64_t value) {
    return {find_option(name), static_cast<double>(value), std::to_string(value)};
}

// The options of the table the request gives, in the table's order.
std::vector<GivenSetting> given_settings(const BuildRequest& request, const Watch& watch) {
    std::vector<GivenSetting> given;
    if (request.input_script) {
        const RunSettings& run = *request.input_script;
        given.push_back(number("temperature", run.temperature));
        if (run.pressure) given.push_back(pressure(*run.pressure, run.pressure_unit));
        given.push_back(number("timestep", run.timestep));
        given.push_back(whole("steps", run.steps));
        given.push_back(number("thermostat_damping", run.thermostat_damping));
        given.push_back(number("barostat_damping", run.barostat_damping));
        given.push_back(whole("thermo_every", run.thermo_every));
        given.push_back(whole("dump_every", run.dump_every));
        given.push_back(whole("start_steps", run.start_steps));
        given.push_back(whole("handover_steps", run.handover_steps));
    }
    const PairSettings& pair = request.pair_settings;
    if (pair.cutoff) given.push_back(number("cutoff", *pair.cutoff));
    if (pair.coulomb_cutoff) given.push_back(number("coulomb_cutoff", *pair.coulomb_cutoff));
    if (pair.kspace_accuracy) given.push_back(number("kspace_accuracy", *pair.kspace_accuracy));
    if (const auto* packing = std::get_if<PackmolPlacement>(&request.placement)) {
        // The specified module's density is its packing's to check, in its own words.
        if (request.full_report) given.push_back(number("density", packing->density));
        given.push_back(number("tolerance", packing->tolerance));
        if (packing->jobs) given.push_back(whole("jobs", *packing->jobs));
        if (packing->seed) given.push_back(whole("seed", *packing->seed));
    }
    if (const auto* raspa = std::get_if<RaspaPlacement>(&request.placement)) {
        if (raspa->density) given.push_back(number("density", *raspa->density));
    }
    if (watch.time_limit) given.push_back(number("timeout", watch.time_limit->count()));
    if (const auto* file = std::get_if<CoordinateFileSource>(&request.placement)) {
        if (file->frame) given.push_back(whole("frame", *file->frame));
    }
    return given;
}

// A range's test, with infinities and NaN outside every bounded range.
bool within(const ValueRange& range, double value) {
    return std::isfinite(value) && range.contains(value);
}

bool is_everything(const ValueRange& range) {
    return std::isinf(range.low) && std::isinf(range.high);
}

// An end of a range in the caller's unit. Converted, it is shown to 12 digits, which drops the
// conversion's last bit of rounding (101325, not 101325.00000000001).
std::string shown_end(double end, const GivenSetting& setting) {
    if (setting.given_per_row == 1) return shown(end);
    return fmt::format("{:.12g}", end * setting.given_per_row);
}

// A row's words with {low}, {high} and {unit} filled in the caller's unit.
std::string filled(std::string_view words, const ValueRange& range, const GivenSetting& setting) {
    std::string text(words);
    const auto fill = [&](std::string_view field, const std::string& value) {
        for (auto at = text.find(field); at != std::string::npos; at = text.find(field, at)) {
            text.replace(at, field.size(), value);
            at += value.size();
        }
    };
    fill("{low}", shown_end(range.low, setting));
    fill("{high}", shown_end(range.high, setting));
    fill("{unit}", std::string(setting.unit));
    return text;
}

Result<void> check_setting(const GivenSetting& setting, OptionNaming naming,
                           Diagnostics& diagnostics) {
    const OptionSpec& spec = *setting.spec;
    if (!is_everything(spec.runnable) && !within(spec.runnable, setting.value)) {
        return tl::unexpected(setting_error(
            spec.name,
            fmt::format("{} must be {}, got {}", option_name(spec, naming),
                        filled(spec.runnable_words, spec.runnable, setting), setting.text)));
    }
    if (!is_everything(spec.plausible) && !within(spec.plausible, setting.value)) {
        diagnostics.warn(DiagnosticKind::Setting, "{} {}{}{}: {}", option_name(spec, naming),
                         setting.text, setting.unit.empty() ? "" : " ", setting.unit,
                         filled(spec.implausible_words, spec.plausible, setting));
    }
    return {};
}

// A failure of an argument the caller passed (the amounts, a unit of none), not of a file.
FfError bad_argument(std::string_view option, std::string message) {
    FfError error = setting_error(option, std::move(message));
    error.bad_argument = true;
    return error;
}

// species against counts; a composition's fractions and total are the composition's to check.
Result<void> check_amounts(const BuildRequest& request) {
    const OptionNaming naming = request.option_naming;
    if (request.species.empty()) {
        return tl::unexpected(
            bad_argument("species", fmt::format("{} must name at least one molecule file",
                                                option_name("species", naming))));
    }
    if (request.composition || request.species.size() == request.counts.size()) return {};
    const auto entries = [](std::size_t n) { return n == 1 ? "entry" : "entries"; };
    return tl::unexpected(bad_argument(
        "counts", fmt::format("{} has {} {} but {} has {} {} (one count per species)",
                              option_name("species", naming), request.species.size(),
                              entries(request.species.size()), option_name("counts", naming),
                              request.counts.size(), entries(request.counts.size()))));
}

// The first of the pair settings that is set, by its keyword; null when none is.
const char* first_pair_setting(const PairSettings& pair) {
    if (pair.cutoff) return "cutoff";
    if (pair.coulomb_cutoff) return "coulomb_cutoff";
    if (pair.kspace_accuracy) return "kspace_accuracy";
    return nullptr;
}

// What the pair settings need of the preset: one at all, a Coulomb term for the Coulomb cutoff
// and a long-range solver for the PPPM accuracy.
Result<void> check_pair_preset(const BuildRequest& request, std::optional<PairSetup> preset) {
    const PairSettings& pair = request.pair_settings;
    const char* first = first_pair_setting(pair);
    if (!first) return {};
    const auto name = [&](std::string_view option) {
        return option_name(option, request.option_naming);
    };
    if (!preset) {
        return tl::unexpected(setting_error(
            first, fmt::format("{} needs a pair-style preset, not none", name(first))));
    }
    const std::string_view chosen = request.preset_rule == PresetRule::FromCharges
                                        ? " (auto chose it: no atom carries a charge)"
                                        : "";
    if (pair.coulomb_cutoff && !has_coulomb_term(*preset)) {
        return tl::unexpected(
            setting_error("coulomb_cutoff",
                          fmt::format("{} needs a pair style with a Coulomb term; {} has none{}",
                                      name("coulomb_cutoff"), display_name(*preset), chosen)));
    }
    if (pair.kspace_accuracy && !has_long_range_solver(*preset)) {
        return tl::unexpected(setting_error(
            "kspace_accuracy",
            fmt::format("{} needs a pair style with a long-range solver; {} has none{}",
                        name("kspace_accuracy"), display_name(*preset), chosen)));
    }
    return {};
}

// RASPA3 starts from a cube of a density or an edge, and runs at least one production cycle.
Result<void> check_raspa(const RaspaPlacement& raspa, OptionNaming naming) {
    if (raspa.density.has_value() == raspa.box_length.has_value()) {
        return tl::unexpected(setting_error(
            "density", fmt::format("RASPA3 starts from a cube of a density or a box edge: give "
                                   "{} or box_len, not both or neither",
                                   option_name("density", naming))));
    }
    if (raspa.box_length && !(*raspa.box_length > 0 && std::isfinite(*raspa.box_length))) {
        return fail("box_len must be a positive number of \u00e5ngstr\u00f6m, got {}",
                    shown(*raspa.box_length));
    }
    if (raspa.cycles == 0) return fail("cycles must be at least 1 (RASPA3's production)");
    return {};
}

// LAMMPS's Langevin thermostat loses atoms when its damping time is two timesteps or less (the
// friction of one step outweighs the velocity), and the Nose-Hoover barostat means nothing then.
constexpr double LEAST_DAMPING_STEPS = 2;

Result<void> check_damping(const RunSettings& run, OptionNaming naming) {
    for (const auto& [option, damping] : {std::pair{"thermostat_damping", run.thermostat_damping},
                                          std::pair{"barostat_damping", run.barostat_damping}}) {
        if (damping > LEAST_DAMPING_STEPS * run.timestep) continue;
        return tl::unexpected(setting_error(
            option, fmt::format("{} must be more than twice {} ({} fs), got {}",
                                option_name(option, naming), option_name("timestep", naming),
                                shown(run.timestep), shown(damping))));
    }
    return {};
}

// The rules between options.
Result<void> check_combinations(const BuildRequest& request) {
    const auto name = [&](std::string_view option) {
        return option_name(option, request.option_naming);
    };
    if (request.input_script)
        BW_TRY_VOID(check_damping(*request.input_script, request.option_naming));
    const char* first = first_pair_setting(request.pair_settings);
    if (first && !request.input_script) {
        return tl::unexpected(setting_error(
            first, fmt::format("{} is set in in.lmp, but no in.lmp is written", name(first))));
    }
    if (request.preset_rule == PresetRule::AsRequested) {
        BW_TRY_VOID(check_pair_preset(request, request.pair_setup));
    }
    if (const auto* raspa = std::get_if<RaspaPlacement>(&request.placement)) {
        BW_TRY_VOID(check_raspa(*raspa, request.option_naming));
    }
    // Frames count from 1 at the start and from -1 at the end: no count reaches 0.
    const auto* file = std::get_if<CoordinateFileSource>(&request.placement);
    if (file && file->frame == 0) {
        return tl::unexpected(
            setting_error("frame", fmt::format("{} must be {}, got 0", name("frame"),
                                               find_option("frame")->runnable_words)));
    }
    const auto* packing = std::get_if<PackmolPlacement>(&request.placement);
    if (packing && !packing->jobs && (packing->seed || packing->subboxes)) {
        return tl::unexpected(
            setting_error(packing->seed ? "seed" : "subboxes",
                          fmt::format("{} and {} apply to a box split into sub-boxes: give {} too",
                                      name("seed"), name("subboxes"), name("jobs"))));
    }
    return {};
}

// The largest σ of the pseudo atoms the build's molecules use, and one that has it.
std::pair<double, std::string_view> largest_sigma(const ResolvedSystem& system) {
    std::pair<double, std::string_view> largest{0, ""};
    for (const auto& species : system.counted()) {
        for (const auto& atom : species.molecule->pseudo_atoms) {
            const auto* params = system.force_field().pseudo_atom(atom.name);
            if (params && params->sigma_ang > largest.first) {
                largest = {params->sigma_ang, atom.name};
            }
        }
    }
    return largest;
}

// A Lennard-Jones cutoff under σ cuts the potential inside its repulsive wall.
void check_cutoff_against_sigma(const BuildRequest& request, const ResolvedSystem& system,
                                Diagnostics& diagnostics) {
    if (!request.full_report || !request.input_script || !system.pair_setup) return;
    const auto [sigma, atom] = largest_sigma(system);
    const auto& asked = request.pair_settings.cutoff;
    const double cutoff = asked.value_or(system.force_field().cutoff_vdw);
    if (cutoff >= sigma) return;
    diagnostics.warn(DiagnosticKind::Setting,
                     "{} {} \u00c5: under the largest \u03c3 of the build, {} \u00c5 ({}), so "
                     "the cutoff falls inside the atoms' repulsive wall",
                     asked ? option_name("cutoff", request.option_naming) : "CutOffVDW",
                     shown(cutoff), shown(sigma), atom);
}

}  // namespace

Result<PressureUnit> pressure_unit_option(std::string_view name, OptionNaming naming) {
    if (const auto unit = pressure_unit_named(name)) return *unit;
    const OptionSpec& spec = *find_option("pressure_unit");
    return tl::unexpected(
        bad_argument(spec.name, fmt::format("{} must be {}, got {}", option_name(spec, naming),
                                            spec.runnable_words, quoted(name))));
}

FfError setting_error(std::string_view python_name, std::string message) {
    return FfError{.message = std::move(message), .option = std::string(python_name)};
}

Result<void> check_settings(const BuildRequest& request, const Watch& watch,
                            Diagnostics& diagnostics) {
    if (request.full_report) BW_TRY_VOID(check_amounts(request));
    for (const auto& setting : given_settings(request, watch)) {
        BW_TRY_VOID(check_setting(setting, request.option_naming, diagnostics));
    }
    return check_combinations(request);
}

Result<void> check_settings_against(const BuildRequest& request, const ResolvedSystem& system,
                                    Diagnostics& diagnostics) {
    if (request.preset_rule == PresetRule::FromCharges) {
        BW_TRY_VOID(check_pair_preset(request, system.pair_setup));
    }
    // The force field's cutoff is the cutoff option's default: the same range holds for it.
    const OptionSpec& cutoff = *find_option("cutoff");
    const double cutoff_vdw = system.force_field().cutoff_vdw;
    if (request.full_report && !within(cutoff.runnable, cutoff_vdw)) {
        if (request.force_field.empty()) {
            return fail("CutOffVDW of the force field must be {}, got {}", cutoff.runnable_words,
                        shown(cutoff_vdw));
        }
        return fail_in(request.force_field, "CutOffVDW in {} must be {}, got {}",
                       lossy_utf8(request.force_field), cutoff.runnable_words, shown(cutoff_vdw));
    }
    check_cutoff_against_sigma(request, system, diagnostics);
    return {};
}

}  // namespace boxwright
