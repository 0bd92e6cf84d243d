// The placement: the third step of every build, where the positions come from. The caller's
// rows, a coordinate file read natively (with the velocities of a data file that has them), one
// Packmol run over the whole box, or the split packing run side by side. Packing works in a
// private temporary directory that never outlives the step; a Packmol run that failed yet left a
// usable structure is reported, and the stop of the watch ends every Packmol.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "base/error.hpp"
#include "base/vec3.hpp"
#include "base/watch.hpp"
#include "decomposition/decomposed_pack.hpp"
#include "geometry/closest_contact.hpp"
#include "pipeline/diagnostics.hpp"
#include "pipeline/request.hpp"
#include "pipeline/system.hpp"
#include "raspa/run.hpp"

namespace boxwright {

// What a packing left to judge it by.
struct PackingOutcome {
    double tolerance = 0;            // Å, asked of Packmol
    std::optional<Contact> closest;  // between atoms of different molecules, periodic
};

struct PlacedAtoms {
    std::vector<Position> owned;                       // the positions read or packed here
    std::optional<std::span<const Position>> given;    // or the caller's, which outlive the build
    double box_length = 0;                             // Å
    std::optional<SplitPacking> split = std::nullopt;  // how the box was split, when it was
    std::optional<PackingOutcome> packing = std::nullopt;  // for a packed box
    // Read with the positions from a data file that has them, one per atom in the same order.
    std::optional<std::vector<Velocity>> velocities = std::nullopt;
    // What RASPA3 reported, when it placed the atoms.
    std::optional<RaspaOutcome> raspa = std::nullopt;

    std::span<const Position> positions() const { return given ? *given : owned; }
};

// Everything about a split packing is checked before the working directory is created. A packing
// that Packmol reports as failed, or whose closest contact is under the tolerance (less
// PACKING_TOLERANCE_SLACK_ANG), fails the build when the request says so; else each Packmol's
// status is a warning. Given positions and a coordinate file are checked against the molecules'
// bond lengths when the request asks for it (first_misfit_bond), before anything is written.
Result<PlacedAtoms> place(const ResolvedSystem& system, const BuildRequest& request,
                          const Watch& watch, Diagnostics& diagnostics);

}  // namespace boxwright
