// bond_fit: given positions against the bonds of the molecules they are copies of. Each bond's
// length is taken under the minimum image (its molecule made whole) and compared with the distance
// of the same two atoms in the molecule file's reference geometry, so that coordinates in another
// atom order, another unit or with atoms swapped between molecules are found before anything is
// written. Pure geometry over the molecules' connectivity: one pass, linear in the bonds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "base/vec3.hpp"
#include "ff/counted_molecule.hpp"

namespace boxwright {

// A bond fits when its length is within this fraction of its reference length: an equilibrated
// flexible molecule stretches its bonds by a few per cent, a wrong order, unit or partner by far
// more.
inline constexpr double BOND_LENGTH_TOLERANCE = 0.25;

struct MisfitBond {
    std::size_t species = 0;               // index into the species given
    std::uint64_t molecule = 0;            // 0-based within its species
    Bond in_molecule{};                    // the two atoms, 0-based in the molecule file's order
    std::array<std::uint64_t, 2> atoms{};  // the same two, 0-based in the positions
    double length = 0;                     // Å, under the minimum image
    double reference = 0;                  // Å, in the molecule file
};

// The first bond, in species, molecule and Connectivity order, whose minimum-image length is off
// its reference by more than BOND_LENGTH_TOLERANCE of it, or is longer than half the box edge (no
// image then makes the molecule whole). The positions hold every atom of every copy in that
// order; the box spans `box_edge` on every axis.
std::optional<MisfitBond> first_misfit_bond(std::span<const CountedMolecule> species,
                                            std::span<const Position> positions, double box_edge);

}  // namespace boxwright
