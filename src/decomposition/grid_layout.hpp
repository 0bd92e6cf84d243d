// GridLayout: how the cubic box is cut into equal sub-boxes that are packed independently. The grid
// follows from the system alone (box edge, tolerance, largest molecule, number of molecules) and
// never from the number of cores, so the same inputs always give the same sub-boxes and the same
// files however many of them run at once. Knows nothing about Packmol or processes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/error.hpp"
#include "ff/molecule.hpp"

namespace boxwright {

using GridCells = std::array<std::uint32_t, 3>;  // sub-boxes along x, y and z

struct GridLayout {
    GridCells cells{1, 1, 1};

    std::size_t subbox_count() const {
        return std::size_t{cells[0]} * std::size_t{cells[1]} * std::size_t{cells[2]};
    }
    bool operator==(const GridLayout&) const = default;
};

// What the grid depends on.
struct LayoutInput {
    double box_edge = 0;          // Å
    double tolerance = 0;         // Å
    std::uint64_t molecules = 0;  // of every species together
    double largest_extent = 0;    // Å, of the widest molecule
    std::string largest_name;     // its species, for the message when it cannot fit
};

// The widest distance between two atoms of the molecule's reference geometry: the room it takes in
// its widest orientation. 0 for a single atom. For a molecule of more than 4096 atoms, twice the
// largest distance from its centroid, a bound found in one pass (at most twice the width).
double molecule_extent(const Molecule& molecule);

// The smallest sub-box edge that still leaves room for the widest molecule in any orientation on
// both sides of the tolerance kept from the sub-box walls.
double minimum_subbox_edge(const LayoutInput& input);

// An explicit grid when `requested` is given, else the same number of sub-boxes along each axis,
// chosen so that each holds about 1,500 molecules and then shrunk until every sub-box is at least
// minimum_subbox_edge wide. Fails for a zero grid dimension, a tolerance that is no length, or a
// molecule too wide for any sub-box.
Result<GridLayout> plan_grid(const LayoutInput& input, std::optional<GridCells> requested);

}  // namespace boxwright
