// How a LAMMPS run holds each species' molecules in shape. A rigid species of two bonded atoms,
// or a bent one of three, is held by SHAKE on its bond and angle types; any other rigid species,
// a straight CO2 among them, is integrated as rigid bodies; a flexible species is left to its
// bonded terms (the SHAKE clusters of a chain such as n-butane connect, which LAMMPS refuses).
#pragma once

#include <cstddef>
#include <vector>

#include "ff/force_field.hpp"
#include "lammps/resolved.hpp"
#include "lammps/type_registry.hpp"

namespace boxwright {

enum class Hold {
    Nothing,    // a flexible molecule, or a rigid one of a single atom
    Shake,      // SHAKE on bond_types and angle_types
    RigidBody,  // fix rigid/small, one body per molecule
};

struct SpeciesHold {
    Hold hold = Hold::Nothing;
    std::vector<std::size_t> bond_types, angle_types;  // SHAKE's type numbers, ascending
    // A rigid body whose atoms lie on one line: each atom's offset along it from the centre of
    // mass (see straight_offsets). Empty for every other species.
    std::vector<double> straight_offsets;
};

SpeciesHold hold_for(const ResolvedMolecule& resolved, const TypeRegistries& registries,
                     const ForceField& force_field);

}  // namespace boxwright
