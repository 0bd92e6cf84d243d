// Molecule: one species as its molecule file describes it (atoms, reference positions, bonds,
// bonded parameters by pseudo-atom names, rigidity), and the angles and dihedrals derived from its
// bonds. Knows nothing about the force field or LAMMPS.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"
#include "base/vec3.hpp"
#include "ff/unknown_key.hpp"

namespace boxwright {

struct PseudoAtom {
    std::string name;  // the pseudo-atom type, a key of the force field
    Position position;
};

// A Bonds (N=2), Bends (N=3) or Torsions (N=4) entry, exactly as written.
template <std::size_t N>
struct BondedEntry {
    std::array<std::string, N> names;
    std::string potential;
    std::vector<double> parameters;
};

using AtomIndex = std::uint64_t;  // 0-based, in the order of pseudo_atoms
using Bond = std::array<AtomIndex, 2>;
using AngleTriple = std::array<AtomIndex, 3>;   // end, centre, end
using DihedralQuad = std::array<AtomIndex, 4>;  // a, b, c, d with b-c the central bond

struct Molecule {
    std::string name;                      // the species name: the molecule file's stem
    std::vector<PseudoAtom> pseudo_atoms;  // never empty once loaded
    std::vector<Bond> connectivity;        // as written: order and orientation kept, no repeats
    std::vector<BondedEntry<2>> bonds;
    std::vector<BondedEntry<3>> bends;
    std::vector<BondedEntry<4>> torsions;
    bool rigid = false;
    // "MSite": a four-site water's massless charge site, this far from O along the H-O-H
    // bisector, Å. Only the package's builds read it; the TIP4P pair styles place the site.
    std::optional<double> m_site;
    // "FixedBonds": bond types, by pseudo-atom names, that the model holds at their length (a
    // flexible molecule's bonds to sites without a Lennard-Jones core are held without it).
    std::vector<std::array<std::string, 2>> fixed_bonds;
    std::vector<UnknownKey> unknown_keys;  // skipped while reading, in file order

    static Result<Molecule> load(const std::string& path);

    // Every chain of three atoms joined by two bonds, by centre atom then neighbour positions.
    std::vector<AngleTriple> derived_angles() const;
    // Every chain of four atoms joined by three bonds, by central bond as written, then a, then d.
    std::vector<DihedralQuad> derived_dihedrals() const;
};

// The pseudo-atom names of `atoms`, in their order.
template <std::size_t N>
std::array<std::string_view, N> names_of(const Molecule& molecule,
                                         const std::array<AtomIndex, N>& atoms) {
    std::array<std::string_view, N> names;
    for (std::size_t n = 0; n < N; ++n) names[n] = molecule.pseudo_atoms[atoms[n]].name;
    return names;
}

// The first entry, in file order, written for these names forward or reversed; null for none.
template <std::size_t N>
const BondedEntry<N>* find_entry(const std::vector<BondedEntry<N>>& entries,
                                 const std::array<std::string_view, N>& names) {
    for (const auto& entry : entries) {
        if (std::equal(names.begin(), names.end(), entry.names.begin()) ||
            std::equal(names.rbegin(), names.rend(), entry.names.begin())) {
            return &entry;
        }
    }
    return nullptr;
}

// How many angles, and at most how many dihedrals, `connectivity` gives `atom_count` atoms, found
// from each atom's number of bonds without listing them; and the most bonds one atom has.
struct DerivedCounts {
    std::uint64_t angles = 0;
    std::uint64_t dihedrals = 0;  // rings of three would take a few away
    std::uint64_t most_bonds = 0;
};
DerivedCounts derived_counts(std::size_t atom_count, const std::vector<Bond>& connectivity);

// Angles or dihedrals one molecule may derive: far beyond any small molecule, far below what
// would exhaust memory (a centre with k bonds gives k(k-1)/2 angles).
inline constexpr std::uint64_t MAX_DERIVED_PER_MOLECULE = 1000000;

// The species name of a molecule file: its file name without the extension ("molecule" when the
// path has no usable file name).
std::string species_name_from_path(const std::string& path);

}  // namespace boxwright
