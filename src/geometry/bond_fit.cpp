#include "geometry/bond_fit.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/invariant.hpp"

namespace boxwright {
namespace {

// A bond of a molecule and the squared lengths it may have, so that the pass takes no root.
struct BondLimits {
    Bond atoms;
    double reference = 0;
    double shortest_squared = 0;
    double longest_squared = 0;
};

std::vector<BondLimits> limits_of(const Molecule& molecule, double box_edge) {
    std::vector<BondLimits> limits;
    limits.reserve(molecule.connectivity.size());
    for (const Bond& bond : molecule.connectivity) {
        const double reference = distance(molecule.pseudo_atoms[bond[0]].position,
                                          molecule.pseudo_atoms[bond[1]].position);
        const double shortest = reference * (1 - BOND_LENGTH_TOLERANCE);
        const double longest = std::min(reference * (1 + BOND_LENGTH_TOLERANCE), box_edge / 2);
        limits.push_back({bond, reference, shortest * shortest, longest * longest});
    }
    return limits;
}

// The shortest of b - a and its periodic images. Most molecules are whole as given: a component
// within half the edge is kept without the rounding, which is a library call on most machines.
Position minimum_image(const Position& a, const Position& b, double edge, double inverse_edge) {
    Position d = b - a;
    for (double& component : d) {
        if (std::abs(component) > edge / 2) {
            component -= edge * std::nearbyint(component * inverse_edge);
        }
    }
    return d;
}

}  // namespace

std::optional<MisfitBond> first_misfit_bond(std::span<const CountedMolecule> species,
                                            std::span<const Position> positions, double box_edge) {
    const double inverse_edge = 1 / box_edge;
    std::uint64_t first_atom = 0;  // of the copy being checked
    for (std::size_t index = 0; index < species.size(); ++index) {
        const Molecule& molecule = *species[index].molecule;
        const std::uint64_t atoms = molecule.pseudo_atoms.size();
        invariant(species[index].count <= (positions.size() - first_atom) / atoms,
                  "one position per atom of every copy");
        const auto limits = limits_of(molecule, box_edge);
        for (std::uint64_t copy = 0; copy < species[index].count; ++copy, first_atom += atoms) {
            for (const auto& bond : limits) {
                const std::uint64_t a = first_atom + bond.atoms[0], b = first_atom + bond.atoms[1];
                const Position d =
                    minimum_image(positions[a], positions[b], box_edge, inverse_edge);
                const double squared = dot(d, d);
                if (squared >= bond.shortest_squared && squared <= bond.longest_squared) continue;
                return MisfitBond{index,         copy, bond.atoms, {a, b}, std::sqrt(squared),
                                  bond.reference};
            }
        }
    }
    return std::nullopt;
}

}  // namespace boxwright
