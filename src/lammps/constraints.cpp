#include "lammps/constraints.hpp"

#include <algorithm>

#include "lammps/molecule_shape.hpp"

namespace boxwright {
namespace {

// SHAKE holds a molecule rigid when it is one bond, or one bent angle cluster with both bonds.
bool shake_holds_rigid(const ResolvedMolecule& resolved) {
    const bool one_bond = resolved.molecule->pseudo_atoms.size() == 2 && resolved.bonds.size() == 1;
    return one_bond || bent_triatomic(resolved).has_value();
}

std::vector<std::size_t> ascending_unique(std::vector<std::size_t> types) {
    std::sort(types.begin(), types.end());
    types.erase(std::unique(types.begin(), types.end()), types.end());
    return types;
}

// SHAKE's clusters: one central atom and at most three bonded to it, which bond to nothing else
// held; a lone bond is a cluster of two.
bool forms_shake_clusters(std::span<const Bond> bonds, std::size_t atoms) {
    std::vector<std::size_t> degree(atoms, 0);
    for (const auto& [i, j] : bonds) ++degree[i], ++degree[j];
    for (const auto& [i, j] : bonds) {
        if (degree[i] > 1 && degree[j] > 1) return false;  // a chain of held bonds
        if (std::max(degree[i], degree[j]) > 3) return false;
    }
    return true;
}

SpeciesHold hold_fixed_bonds(const ResolvedMolecule& resolved, const TypeRegistries& registries,
                             const ForceField& force_field) {
    const Molecule& molecule = *resolved.molecule;
    std::vector<Bond> held;
    SpeciesHold shake{Hold::Shake, {}, {}, {}, false, true};
    for (const auto& bond : resolved.bonds) {
        if (!held_fixed(bond.record, molecule, force_field)) continue;
        held.push_back(bond.atoms);
        const auto& t = bond.record.types;
        shake.bond_types.push_back(registries.bonds.type_number(norm_pair(t[0], t[1])));
    }
    if (held.empty()) return {};
    if (!forms_shake_clusters(held, molecule.pseudo_atoms.size())) {
        return {Hold::Nothing, {}, {}, {}, true, true};
    }
    shake.bond_types = ascending_unique(std::move(shake.bond_types));
    return shake;
}

}  // namespace

bool is_bare_charge(const PseudoAtomParams& params) {
    return params.charge != 0 && (params.epsilon_k == 0 || params.sigma_ang == 0);
}

bool held_fixed(const ResolvedBond& bond, const Molecule& molecule, const ForceField& force_field) {
    const auto& t = bond.types;
    if (is_bare_charge(force_field.checked_pseudo_atom(t[0])) ||
        is_bare_charge(force_field.checked_pseudo_atom(t[1]))) {
        return true;
    }
    return std::any_of(
        molecule.fixed_bonds.begin(), molecule.fixed_bonds.end(),
        [&t](const auto& names) { return norm_pair(names[0], names[1]) == norm_pair(t[0], t[1]); });
}

SpeciesHold hold_for(const ResolvedMolecule& resolved, const TypeRegistries& registries,
                     const ForceField& force_field) {
    const Molecule& molecule = *resolved.molecule;
    if (!molecule.rigid) return hold_fixed_bonds(resolved, registries, force_field);
    if (molecule.pseudo_atoms.size() < 2) return {};
    if (!shake_holds_rigid(resolved)) {
        return {Hold::RigidBody, {}, {}, straight_offsets(molecule, force_field)};
    }
    SpeciesHold shake{Hold::Shake, {}, {}, {}};
    for (const auto& bond : resolved.bonds) {
        const auto& t = bond.record.types;
        shake.bond_types.push_back(registries.bonds.type_number(norm_pair(t[0], t[1])));
    }
    for (const auto& angle : resolved.angles) {
        const auto& t = angle.record.types;
        shake.angle_types.push_back(registries.angles.type_number(norm_triple(t[0], t[1], t[2])));
    }
    shake.bond_types = ascending_unique(std::move(shake.bond_types));
    shake.angle_types = ascending_unique(std::move(shake.angle_types));
    return shake;
}

}  // namespace boxwright
