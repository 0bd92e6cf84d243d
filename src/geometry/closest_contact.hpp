// closest_contact: the closest pair of atoms that belong to different molecules in a periodic cubic
// box, found with a cell list in time linear in the number of atoms, reading the positions where
// they are: beside them it takes some 8 bytes per atom (4 + 4 below 2^32 atoms). Pure geometry: it
// knows positions, the box edge and which atoms form a molecule, nothing about force fields or
// files.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "base/vec3.hpp"

namespace boxwright {

// `molecules` consecutive molecules of `atoms_per_molecule` atoms each, in atom order.
struct MoleculeRun {
    std::uint64_t atoms_per_molecule = 0;
    std::uint64_t molecules = 0;
};

struct Contact {
    double distance = 0;                   // Å, under the minimum-image convention
    std::array<std::uint64_t, 2> atoms{};  // 0-based positions in the atom order, first < second
    std::array<std::uint64_t, 2> molecules{};  // 0-based, in the same order
};

// Asked between slabs of the search whether to give up (Ctrl-C on millions of atoms).
using GiveUp = std::function<bool()>;

// The closest contact between atoms of different molecules, the box spanning 0 to `box_edge` on
// every axis with periodic images. Positions may lie outside the box. None when fewer than two
// molecules take part, when the box edge is not a positive finite number, when no pair of
// different molecules has finite positions, or when `give_up` said so. The runs must account for
// every position.
std::optional<Contact> closest_contact(std::span<const Position> positions, double box_edge,
                                       std::span<const MoleculeRun> runs,
                                       const GiveUp& give_up = {});

}  // namespace boxwright
