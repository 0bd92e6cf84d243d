#include "pipeline/report.hpp"

#include <iterator>

#include "base/units.hpp"
#include "base/utf8.hpp"
#include "lammps/system_totals.hpp"
#include "pipeline/build_checks.hpp"
#include "pipeline/contact.hpp"

namespace boxwright {
namespace {

std::vector<SpeciesReport> species_reports(const FinishedBuild& build) {
    std::vector<SpeciesReport> reports;
    for (const auto& pair : build.active) {
        const Molecule& molecule = *pair.resolved.molecule;
        SpeciesReport report{molecule.name, pair.count, molecule.pseudo_atoms.size(), 0, 0};
        for (const auto& atom : molecule.pseudo_atoms) {
            const auto& params = build.force_field.checked_pseudo_atom(atom.name);
            report.molecular_mass += params.mass;
            report.charge += params.charge;
        }
        reports.push_back(std::move(report));
    }
    return reports;
}

std::vector<AtomTypeReport> atom_type_reports(const FinishedBuild& build) {
    const AtomTypeRegistry& registry = build.registries.atoms;
    std::vector<AtomTypeReport> types;
    types.reserve(registry.size());
    for (const auto& entry : registry.entries()) {
        types.push_back({types.size() + 1, entry.key, {}});
    }
    for (const auto& pair : build.active) {
        const Molecule& molecule = *pair.resolved.molecule;
        for (const auto& atom : molecule.pseudo_atoms) {
            auto& users = types[registry.type_number(atom.name) - 1].species;
            // Species come one after another, so a species already listed is the last one.
            if (users.empty() || users.back() != molecule.name) users.push_back(molecule.name);
        }
    }
    return types;
}

// "3x3x3 sub-boxes, 2 Packmol processes at a time; closest atoms of different molecules 2.041 Å"
std::string packing_line(const SplitPacking& split, const std::optional<Contact>& contact) {
    const auto& cells = split.layout.cells;
    std::string line =
        fmt::format("{}x{}x{} sub-boxes, {} Packmol process{} at a time", cells[0], cells[1],
                    cells[2], split.concurrency, split.concurrency == 1 ? "" : "es");
    if (contact) {
        line +=
            fmt::format("; closest atoms of different molecules {:.3f} \u00c5", contact->distance);
    }
    return line;
}

Result<BuildSummary> build_summary(const ResolvedSystem& system, const PlacedAtoms& placed,
                                   const WrittenFiles& files) {
    // The data file has already checked these totals against the 64-bit range.
    BW_TRY(auto totals, system_totals(system.active()));
    const auto& registries = system.species.registries;
    BuildSummary summary;
    summary.data_path = files.data;
    summary.forcefield_path = files.forcefield;
    summary.skipped = system.loaded.skipped;
    summary.box_length = placed.box_length;
    summary.atom_count = totals.atoms;
    summary.bond_count = totals.bonds;
    summary.angle_count = totals.angles;
    summary.dihedral_count = totals.dihedrals;
    summary.atom_type_count = registries.atoms.size();
    summary.bond_type_count = registries.bonds.size();
    summary.angle_type_count = registries.angles.size();
    summary.dihedral_type_count = registries.dihedrals.size();
    return summary;
}

// Each species' numbers, the density, the net charge and the closest contact; then the checks.
void complete_report(BuildReport& report, const FinishedBuild& build, Diagnostics& diagnostics) {
    report.species = species_reports(build);
    report.atom_types = atom_type_reports(build);
    double mass = 0;
    for (const auto& s : report.species) {
        mass += s.molecular_mass * static_cast<double>(s.count);
        report.net_charge += s.charge * static_cast<double>(s.count);
    }
    const double edge = report.summary.box_length;
    report.density = density_of(mass, edge);
    report.closest_contact =
        build.packing_tolerance
            ? build.packed_contact
            : closest_between_molecules(build.active, build.coordinates, edge, build.give_up);
    if (build.split) report.summary.packing = packing_line(*build.split, report.closest_contact);
    check_finished_build(build, report, diagnostics);
}

}  // namespace

Result<BuildReport> make_build_report(const BuildRequest& request, const ResolvedSystem& system,
                                      const PlacedAtoms& placed, WrittenFiles files,
                                      Diagnostics diagnostics, const Watch& watch) {
    if (has_long_range_solver(system.pair_setup) && !request.pair_settings.kspace_accuracy) {
        diagnostics.add(DiagnosticKind::LongRangeSolver, DiagnosticLevel::Note,
                        "Long-range Coulomb interaction solver in forcefield file might be "
                        "adjusted to user preference.");
    }
    BuildReport report;
    BW_TRY(report.summary, build_summary(system, placed, files));
    report.pair_setup = system.pair_setup;
    report.split = placed.split;
    report.files = {std::move(files.data), std::move(files.forcefield)};
    if (files.input_script) report.files.push_back(std::move(*files.input_script));
    if (request.full_report) {
        const auto& packing = placed.packing;
        const FinishedBuild build{
            .force_field = system.force_field(),
            .active = system.active(),
            .registries = system.species.registries,
            .coordinates = placed.positions(),
            .pair_setup = system.pair_setup,
            .given_coordinates = !packing,
            .input_script = request.input_script.has_value(),
            .pair_settings = request.pair_settings,
            .split = placed.split,
            .packing_tolerance = packing ? std::optional(packing->tolerance) : std::nullopt,
            .packed_contact = packing ? packing->closest : std::nullopt,
            .timestep_fs =
                request.input_script ? std::optional(request.input_script->timestep) : std::nullopt,
            .give_up = [&watch] { return watch.stop_requested(); }};
        complete_report(report, build, diagnostics);
    }
    report.diagnostics = diagnostics.entries();
    return report;
}

std::string BuildReport::summary_text() const {
    const BuildSummary& s = summary;
    fmt::memory_buffer out;
    auto to = std::back_inserter(out);
    fmt::format_to(to, "Wrote {}\n", lossy_utf8(s.data_path));
    fmt::format_to(to, "Wrote {}\n", lossy_utf8(s.forcefield_path));
    fmt::format_to(to,
                   "box: {:.3f} \u00c5 cube  |  atoms: {} ({} types)  bonds: {} ({} types)  "
                   "angles: {} ({} types)  dihedrals: {} ({} types)\n",
                   s.box_length, s.atom_count, s.atom_type_count, s.bond_count, s.bond_type_count,
                   s.angle_count, s.angle_type_count, s.dihedral_count, s.dihedral_type_count);
    if (s.packing) fmt::format_to(to, "packing: {}\n", *s.packing);
    if (!s.skipped.empty()) {
        fmt::format_to(to, "skipped (count 0): {}\n", fmt::join(s.skipped, ", "));
    }
    for (const auto& diagnostic : diagnostics) {
        if (shown_in_summary(diagnostic.kind)) fmt::format_to(to, "warning: {}\n", diagnostic.text);
    }
    return fmt::to_string(out);
}

std::vector<std::string> BuildReport::warnings() const {
    std::vector<std::string> texts;
    for (const auto& diagnostic : diagnostics) {
        if (diagnostic.level == DiagnosticLevel::Warning) texts.push_back(diagnostic.text);
    }
    return texts;
}

}  // namespace boxwright
