// The closest contact between atoms of different molecules of a build, and how it is told: atoms
// numbered as data.lmp numbers them, each with its species and its molecule within that species.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "base/vec3.hpp"
#include "geometry/closest_contact.hpp"
#include "lammps/resolved.hpp"

namespace boxwright {

// Packmol keeps its tolerance only to a few thousandths of an ångström: a contact this much
// closer than the tolerance is still a packing that kept it.
inline constexpr double PACKING_TOLERANCE_SLACK_ANG = 0.01;

// Under periodic boundaries in the cube of edge `box_edge`; none with fewer than two molecules.
std::optional<Contact> closest_between_molecules(std::span<const ActivePair> active,
                                                 std::span<const Position> positions,
                                                 double box_edge, const GiveUp& give_up = {});

// "atoms 5 and 9 (of water 2 and butane 1) are 0.512 Å apart"
std::string contact_text(const Contact& contact, std::span<const ActivePair> active);

}  // namespace boxwright
