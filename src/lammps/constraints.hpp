// How a LAMMPS run holds each species' molecules in shape. A rigid species of two bonded atoms,
// or a bent one of three, is held by SHAKE on its bond and angle types; any other rigid species,
// a straight CO2 among them, is integrated as rigid bodies; a flexible species is left to its
// bonded terms (the SHAKE clusters of a chain such as n-butane connect, which LAMMPS refuses),
// except the bonds its model holds fixed: those to a site with a charge but no Lennard-Jones core
// (the hydroxyl H of an alcohol, which a flexible bond lets fall onto a neighbouring O) and those
// its molecule file names in "FixedBonds". SHAKE holds them where they form clusters of one atom
// and at most three bonded to it.
#pragma once

#include <cstddef>
#include <vector>

#include "ff/force_field.hpp"
#include "lammps/resolved.hpp"
#include "lammps/type_registry.hpp"

namespace boxwright {

enum class Hold {
    Nothing,    // a flexible molecule, or a rigid one of a single atom
    Shake,      // SHAKE on bond_types and angle_types (a flexible molecule: bond_types only)
    RigidBody,  // fix rigid/small, one body per molecule
};

struct SpeciesHold {
    Hold hold = Hold::Nothing;
    std::vector<std::size_t> bond_types, angle_types;  // SHAKE's type numbers, ascending
    // A rigid body whose atoms lie on one line: each atom's offset along it from the centre of
    // mass (see straight_offsets). Empty for every other species.
    std::vector<double> straight_offsets;
    // A flexible molecule whose fixed bonds form clusters SHAKE cannot hold: they stay flexible.
    bool fixed_bonds_unheld = false;
    bool flexible = false;  // SHAKE holds only the fixed bonds of a flexible molecule
};

// A charge without a Lennard-Jones core (ε or σ zero): nothing keeps it off an opposite charge.
bool is_bare_charge(const PseudoAtomParams& params);

// A bond the model holds at its length: one to a bare charge, or one the molecule file names in
// "FixedBonds". Its pseudo atoms must be checked against the force field already.
bool held_fixed(const ResolvedBond& bond, const Molecule& molecule, const ForceField& force_field);

SpeciesHold hold_for(const ResolvedMolecule& resolved, const TypeRegistries& registries,
                     const ForceField& force_field);

}  // namespace boxwright
