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

}  // namespace

SpeciesHold hold_for(const ResolvedMolecule& resolved, const TypeRegistries& registries,
                     const ForceField& force_field) {
    const Molecule& molecule = *resolved.molecule;
    if (!molecule.rigid || molecule.pseudo_atoms.size() < 2) return {};
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
