// Molecules moved whole into the box. Positions unwrapped by large image flags lie millions of
// ångström away, where the data file's seven significant digits no longer hold a bond; moved by
// whole box edges the system is the same one, periodically, and every digit is kept. Pure
// geometry over the copies of the molecules.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "base/vec3.hpp"
#include "ff/counted_molecule.hpp"

namespace boxwright {

// The positions with each copy whose centre (the mean of its atoms) lies outside the box [0,
// box_edge) on some axis moved by whole box edges until it lies inside; every atom of a copy
// moves alike, so the molecules keep their shapes. None when every centre is inside already:
// then nothing is moved, not even by rounding. The positions hold every atom of every copy in
// species, copy, atom order.
std::optional<std::vector<Position>> molecules_wrapped_into_box(
    std::span<const CountedMolecule> species, std::span<const Position> positions, double box_edge);

}  // namespace boxwright
