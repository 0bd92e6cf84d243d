// ResolvedMolecule: a molecule's bonds, angles and dihedrals with atom indices, pseudo-atom names
// and parameters already in LAMMPS real units and functional forms; and resolve_molecule, which
// makes it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "ff/molecule.hpp"

namespace boxwright {

struct ResolvedBond {
    std::array<std::string, 2> types;  // names of atom i, atom j
    double k = 0;                      // bond_style harmonic K, kcal/(mol Å²)
    double r0 = 0;                     // Å
    bool placeholder = false;          // rigid placeholder: no Bonds entry matched
    bool operator==(const ResolvedBond&) const = default;
};

struct ResolvedAngle {
    std::array<std::string, 3> types;  // names of atoms i, j (vertex), k
    double k = 0;                      // angle_style harmonic K, kcal/(mol rad²)
    double angle0 = 0;                 // degrees
    bool placeholder = false;
    bool operator==(const ResolvedAngle&) const = default;
};

struct ResolvedDihedral {
    std::array<std::string, 4> types;       // names of atoms i, j, k, l
    double k1 = 0, k2 = 0, k3 = 0, k4 = 0;  // dihedral_style opls, kcal/mol; k4 is always 0
    bool operator==(const ResolvedDihedral&) const = default;
};

// One element of a molecule: its atom indices (0-based into the molecule) and its record.
template <class Record, std::size_t N>
struct Placed {
    std::array<AtomIndex, N> atoms;
    Record record;
};

struct ResolvedMolecule {
    std::vector<Placed<ResolvedBond, 2>> bonds;          // one per Connectivity pair
    std::vector<Placed<ResolvedAngle, 3>> angles;        // one per derived angle
    std::vector<Placed<ResolvedDihedral, 4>> dihedrals;  // derived dihedrals with a Torsions entry
    const Molecule* molecule = nullptr;                  // the source; must outlive this
};

// A species that takes part in a build, with its number of copies: what the type registries, the
// totals and the data file are built from, so it lives beside them (resolve_active makes the list).
struct ActivePair {
    ResolvedMolecule resolved;
    std::uint64_t count = 0;
};
using ActiveList = std::vector<ActivePair>;

Result<ResolvedMolecule> resolve_molecule(const Molecule& molecule);

}  // namespace boxwright
