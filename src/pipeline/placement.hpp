// The placement: the third step of every build, where the positions come from. The caller's
// rows, a coordinate file read natively, one Packmol run over the whole box, or the split packing
// run side by side. Packing works in a private temporary directory that never outlives the step;
// a Packmol run that failed yet left a usable structure is reported, and the stop of the watch
// ends every Packmol.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "base/error.hpp"
#include "base/vec3.hpp"
#include "base/watch.hpp"
#include "decomposition/decomposed_pack.hpp"
#include "pipeline/diagnostics.hpp"
#include "pipeline/request.hpp"
#include "pipeline/system.hpp"

namespace boxwright {

struct PlacedAtoms {
    std::vector<Position> owned;                       // the positions read or packed here
    std::optional<std::span<const Position>> given;    // or the caller's, which outlive the build
    double box_length = 0;                             // Å
    std::optional<SplitPacking> split = std::nullopt;  // how the box was split, when it was

    std::span<const Position> positions() const { return given ? *given : owned; }
};

// Everything about a split packing is checked before the working directory is created.
Result<PlacedAtoms> place(const ResolvedSystem& system, const Placement& placement,
                          const Watch& watch, Diagnostics& diagnostics);

}  // namespace boxwright
