#include "pipeline/active.hpp"

#include <algorithm>

#include "lammps/type_registry.hpp"

namespace boxwright {

Result<ActiveSpecies> resolve_active(std::span<const Molecule> molecules,
                                     std::span<const std::uint64_t> counts) {
    ActiveSpecies result;
    std::size_t species = std::min(molecules.size(), counts.size());
    for (std::size_t index = 0; index < species; ++index) {
        if (counts[index] == 0) continue;  // never resolved, so it cannot fail the build
        BW_TRY(auto resolved, resolve_molecule(molecules[index]));
        result.active.push_back({std::move(resolved), counts[index]});
    }
    if (result.active.empty()) return fail("all species have count 0; nothing to build");

    // Built here only to report conflicts and placeholders before anything is packed or written.
    BW_TRY(auto bonds, build_bond_type_registry(result.active));
    BW_TRY(auto angles, build_angle_type_registry(result.active));

    for (const auto& entry : bonds.entries()) {
        if (!entry.value.placeholder) continue;
        const auto& t = entry.value.types;
        result.warnings.push_back(fmt::format(
            "bond {}-{} has no Bonds entry; defaulted to rigid placeholder (set SHAKE or RIGID in "
            "your LAMMPS input)",
            t[0], t[1]));
    }
    for (const auto& entry : angles.entries()) {
        if (!entry.value.placeholder) continue;
        const auto& t = entry.value.types;
        result.warnings.push_back(fmt::format(
            "angle {}-{}-{} has no Bends entry; defaulted to rigid placeholder (set SHAKE or "
            "RIGID in your LAMMPS input)",
            t[0], t[1], t[2]));
    }
    return result;
}

std::optional<PairSetup> settle_pair_setup(PresetRule rule, std::optional<PairSetup> requested,
                                           std::span<const ActivePair> active,
                                           const ForceField& force_field) {
    if (rule == PresetRule::AsRequested) return requested;
    for (const auto& pair : active) {
        for (const auto& atom : pair.resolved.molecule->pseudo_atoms) {
            const PseudoAtomParams* params = force_field.pseudo_atom(atom.name);
            if (params != nullptr && params->charge != 0) return PairSetup::LjCutCoulLong;
        }
    }
    return PairSetup::LjCut;
}

std::vector<CountedMolecule> counted_molecules(std::span<const ActivePair> active) {
    std::vector<CountedMolecule> species;
    species.reserve(active.size());
    for (const auto& pair : active) species.push_back({pair.resolved.molecule, pair.count});
    return species;
}

}  // namespace boxwright
