// The shapes of a molecule that LAMMPS treats specially: a bent three-atom molecule (two bonds
// meeting at one atom at an angle, as in water), which SHAKE can hold rigid and which the TIP4P
// pair styles take for their water; and a straight rigid molecule (CO2), which only a rigid-body
// integrator can hold and only when its atoms lie exactly on one line.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ff/force_field.hpp"
#include "lammps/pair_style.hpp"
#include "lammps/resolved.hpp"
#include "lammps/type_registry.hpp"

namespace boxwright {

// Angles from here to 180° count as straight: SHAKE's angle constraint degenerates there.
inline constexpr double STRAIGHT_ANGLE_DEGREES = 175.0;

struct BentTriatomic {
    AtomIndex centre = 0;
    std::array<AtomIndex, 2> ends{};
    const ResolvedAngle* angle = nullptr;  // the molecule's one angle, at the centre
};

// Three atoms, two bonds that meet at one of them, and an angle between them under 175°.
std::optional<BentTriatomic> bent_triatomic(const ResolvedMolecule& resolved);

// The type numbers of the TIP4P water: among the rigid bent three-atom species with copies whose
// two end atoms are of one pseudo-atom type, the first that declares its M site, else the first;
// and the M site it declares (else TIP4P/2005's). None when no species is such a water.
std::optional<Tip4pTypes> tip4p_water_types(std::span<const ActivePair> active,
                                            const TypeRegistries& registries);

// Why lj/cut/tip4p/long cannot run `water` as its water, or none when it can. The pair style
// and its PPPM take every atom of the oxygen type for a water's O, look for that water's two H
// atoms at the next two atom IDs, and refuse a Lennard-Jones well on the hydrogen type; the
// M site sits at a fixed place of a rigid H-O-H. So the water must be rigid, bent, its O listed
// first, its two H of one pseudo atom without a well, and its O's pseudo atom used by no other
// species. The text completes "molecule 'NAME' ...".
std::optional<std::string> tip4p_refusal(const ActivePair& water,
                                         std::span<const ActivePair> active,
                                         const ForceField& force_field);

// A species that declares its M site ("MSite") and that lj/cut/tip4p/long can run (no
// tip4p_refusal): a four-site water.
bool declares_four_site_water(std::span<const ActivePair> active, const ForceField& force_field);

// For a molecule whose reference atoms lie on one straight line (within 0.01 Å) and number at
// least three: each atom's signed offset along that line from the centre of mass, Å. Empty for
// any other molecule. Its pseudo atoms must be checked against the force field already.
std::vector<double> straight_offsets(const Molecule& molecule, const ForceField& force_field);

}  // namespace boxwright
