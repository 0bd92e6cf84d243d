#include "pipeline/system.hpp"

#include <fmt/ranges.h>

#include <string_view>
#include <utility>

#include "lammps/molecule_shape.hpp"

namespace boxwright {
namespace {

// One line per placeholder type, named in the orientation of the first element of that type met.
template <class Registry>
void report_placeholders(const Registry& registry, std::string_view element,
                         std::string_view section, DiagnosticLevel level,
                         Diagnostics& diagnostics) {
    for (const auto& entry : registry.entries()) {
        if (!entry.value.placeholder) continue;
        diagnostics.add(DiagnosticKind::RigidPlaceholder, level,
                        fmt::format("{} {} has no {} entry; defaulted to rigid placeholder (set "
                                    "SHAKE or RIGID in your LAMMPS input)",
                                    element, fmt::join(entry.value.types, "-"), section));
    }
}

// Every pseudo atom of a species with a non-zero count is one the force field declares, checked
// before any bond is resolved, so that a misspelt name is told as that and not as a bond without
// parameters. With `suggest`, the failure names the closest declared name.
Result<void> check_declared_pseudo_atoms(std::span<const Molecule> molecules,
                                         std::span<const std::uint64_t> counts,
                                         const ForceField& force_field, bool suggest) {
    for (std::size_t index = 0; index < std::min(molecules.size(), counts.size()); ++index) {
        if (counts[index] == 0) continue;
        const Molecule& molecule = molecules[index];
        for (const auto& atom : molecule.pseudo_atoms) {
            auto declared = force_field.pseudo_atom_used_by(molecule.name, atom.name);
            if (declared) continue;
            auto failure = std::move(declared).error();
            const auto closest =
                suggest ? force_field.closest_pseudo_atom(atom.name) : std::nullopt;
            if (closest) failure.message += fmt::format("; did you mean '{}'?", *closest);
            return tl::unexpected(std::move(failure));
        }
    }
    return {};
}

}  // namespace

Result<ActiveSpecies> number_types(ActiveList active, const ForceField& force_field,
                                   Diagnostics& diagnostics, DiagnosticLevel placeholders) {
    ActiveSpecies result{std::move(active), {}};
    BW_TRY(result.registries, build_type_registries(result.active, force_field));
    report_placeholders(result.registries.bonds, "bond", "Bonds", placeholders, diagnostics);
    report_placeholders(result.registries.angles, "angle", "Bends", placeholders, diagnostics);
    return result;
}

Result<ActiveSpecies> resolve_active(std::span<const Molecule> molecules,
                                     std::span<const std::uint64_t> counts,
                                     const ForceField& force_field, Diagnostics& diagnostics,
                                     DiagnosticLevel placeholders) {
    ActiveList active;
    std::size_t species = std::min(molecules.size(), counts.size());
    for (std::size_t index = 0; index < species; ++index) {
        if (counts[index] == 0) continue;  // never resolved, so it cannot fail the build
        BW_TRY(auto resolved, resolve_molecule(molecules[index]));
        active.push_back({std::move(resolved), counts[index]});
    }
    if (active.empty()) return fail("all species have count 0; nothing to build");
    return number_types(std::move(active), force_field, diagnostics, placeholders);
}

DiagnosticLevel placeholder_level(const BuildRequest& request) {
    return request.input_script ? DiagnosticLevel::Note : DiagnosticLevel::Warning;
}

std::optional<PairSetup> settle_pair_setup(PresetRule rule, std::optional<PairSetup> requested,
                                           std::span<const ActivePair> active,
                                           const ForceField& force_field) {
    if (rule == PresetRule::AsRequested) return requested;
    if (declares_four_site_water(active)) return PairSetup::Tip4p;
    for (const auto& pair : active) {
        for (const auto& atom : pair.resolved.molecule->pseudo_atoms) {
            const PseudoAtomParams* params = force_field.pseudo_atom(atom.name);
            if (params != nullptr && params->charge != 0) return PairSetup::LjCutCoulLong;
        }
    }
    return PairSetup::LjCut;
}

std::vector<CountedMolecule> ResolvedSystem::counted() const {
    std::vector<CountedMolecule> counted;
    counted.reserve(species.active.size());
    for (const auto& pair : species.active) counted.push_back({pair.resolved.molecule, pair.count});
    return counted;
}

Result<ResolvedSystem> resolve_system(const BuildRequest& request, Diagnostics& diagnostics) {
    BW_TRY(auto loaded, load_molecules(request.force_field, request.species, request.counts,
                                       request.model_force_fields));
    report_unknown_keys(loaded, request.species, diagnostics);
    BW_TRY_VOID(check_declared_pseudo_atoms(loaded.molecules, request.counts, loaded.force_field,
                                            request.suggest_names));
    BW_TRY(auto species, resolve_active(loaded.molecules, request.counts, loaded.force_field,
                                        diagnostics, placeholder_level(request)));
    const auto pair_setup = settle_pair_setup(request.preset_rule, request.pair_setup,
                                              species.active, loaded.force_field);
    return ResolvedSystem{std::move(loaded), std::move(species), pair_setup};
}

}  // namespace boxwright
