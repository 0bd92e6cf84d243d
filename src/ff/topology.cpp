// Angles and dihedrals derived from a molecule's bonds. The orders here decide the order of the
// Angles and Dihedrals sections of the data file, so nothing is sorted or deduplicated.
#include <algorithm>
#include <vector>

#include "ff/molecule.hpp"

namespace boxwright {
namespace {

using Neighbours = std::vector<std::vector<AtomIndex>>;

// Each atom's neighbours in the order its bonds are listed.
Neighbours neighbour_lists(const Molecule& molecule) {
    Neighbours neighbours(molecule.pseudo_atoms.size());
    for (const auto& [i, j] : molecule.connectivity) {
        neighbours[i].push_back(j);
        neighbours[j].push_back(i);
    }
    return neighbours;
}

}  // namespace

DerivedCounts derived_counts(std::size_t atom_count, const std::vector<Bond>& connectivity) {
    std::vector<std::uint64_t> bonds(atom_count);
    for (const auto& [i, j] : connectivity) {
        ++bonds[i];
        ++bonds[j];
    }
    DerivedCounts counts;
    for (std::uint64_t k : bonds) {
        counts.angles += k * (k - 1) / 2;  // 0 for k = 0, the product wrapping to 0
        counts.most_bonds = std::max(counts.most_bonds, k);
    }
    for (const auto& [b, c] : connectivity) counts.dihedrals += (bonds[b] - 1) * (bonds[c] - 1);
    return counts;
}

std::vector<AngleTriple> Molecule::derived_angles() const {
    const auto neighbours = neighbour_lists(*this);
    std::vector<AngleTriple> angles;
    for (AtomIndex centre = 0; centre < neighbours.size(); ++centre) {
        const auto& around = neighbours[centre];
        for (std::size_t p = 0; p < around.size(); ++p) {
            for (std::size_t q = p + 1; q < around.size(); ++q) {
                angles.push_back({around[p], centre, around[q]});
            }
        }
    }
    return angles;
}

std::vector<DihedralQuad> Molecule::derived_dihedrals() const {
    const auto neighbours = neighbour_lists(*this);
    std::vector<DihedralQuad> dihedrals;
    for (const auto& [b, c] : connectivity) {
        for (AtomIndex a : neighbours[b]) {
            if (a == c) continue;
            for (AtomIndex d : neighbours[c]) {
                // d == a would close a three-membered ring.
                if (d == b || d == a) continue;
                dihedrals.push_back({a, b, c, d});
            }
        }
    }
    return dihedrals;
}

}  // namespace boxwright
