#include "pipeline/system.hpp"

#include <utility>

#include "lammps/molecule_shape.hpp"

namespace boxwright {
namespace {

void report_placeholders(const TypeRegistries& registries, Diagnostics& diagnostics) {
    for (const auto& entry : registries.bonds.entries()) {
        if (!entry.value.placeholder) continue;
        const auto& t = entry.value.types;
        diagnostics.warn(
            DiagnosticKind::RigidPlaceholder,
            fmt::format("bond {}-{} has no Bonds entry; defaulted to rigid placeholder (set SHAKE "
                        "or RIGID in your LAMMPS input)",
                        t[0], t[1]));
    }
    for (const auto& entry : registries.angles.entries()) {
        if (!entry.value.placeholder) continue;
        const auto& t = entry.value.types;
        diagnostics.warn(
            DiagnosticKind::RigidPlaceholder,
            fmt::format("angle {}-{}-{} has no Bends entry; defaulted to rigid placeholder (set "
                        "SHAKE or RIGID in your LAMMPS input)",
                        t[0], t[1], t[2]));
    }
}

}  // namespace

Result<ActiveSpecies> number_types(ActiveList active, const ForceField& force_field,
                                   Diagnostics& diagnostics) {
    ActiveSpecies result{std::move(active), {}};
    auto& registries = result.registries;
    BW_TRY(registries.bonds, build_bond_type_registry(result.active));
    BW_TRY(registries.angles, build_angle_type_registry(result.active));
    BW_TRY(registries.atoms, build_atom_type_registry(result.active, force_field));
    BW_TRY(registries.dihedrals, build_dihedral_type_registry(result.active));
    report_placeholders(registries, diagnostics);
    return result;
}

Result<ActiveSpecies> resolve_active(std::span<const Molecule> molecules,
                                     std::span<const std::uint64_t> counts,
                                     const ForceField& force_field, Diagnostics& diagnostics) {
    ActiveList active;
    std::size_t species = std::min(molecules.size(), counts.size());
    for (std::size_t index = 0; index < species; ++index) {
        if (counts[index] == 0) continue;  // never resolved, so it cannot fail the build
        BW_TRY(auto resolved, resolve_molecule(molecules[index]));
        active.push_back({std::move(resolved), counts[index]});
    }
    if (active.empty()) return fail("all species have count 0; nothing to build");
    return number_types(std::move(active), force_field, diagnostics);
}

std::optional<PairSetup> settle_pair_setup(PresetRule rule, std::optional<PairSetup> requested,
                                           std::span<const ActivePair> active,
                                           const ForceField& force_field) {
    if (rule == PresetRule::AsRequested) return requested;
    for (const auto& pair : active) {
        if (pair.resolved.molecule->m_site && bent_triatomic(pair.resolved)) {
            return PairSetup::Tip4p;
        }
    }
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
    BW_TRY(auto loaded, load_molecules(request.force_field, request.species, request.counts));
    BW_TRY(auto species,
           resolve_active(loaded.molecules, request.counts, loaded.force_field, diagnostics));
    const auto pair_setup = settle_pair_setup(request.preset_rule, request.pair_setup,
                                              species.active, loaded.force_field);
    return ResolvedSystem{std::move(loaded), std::move(species), pair_setup};
}

}  // namespace boxwright
