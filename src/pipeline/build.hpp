// run_build: the one build path that every entry of both modules takes. A composition is turned
// into counts and the request's settings are checked, then: the inputs are loaded and the system
// resolved (types numbered once), the system's size and the input's plausibility checked, the
// positions placed, the report made and the output set written. The first failure ends the build;
// the watch's stop ends it early, with every Packmol stopped and the old files kept.
#pragma once

#include "base/error.hpp"
#include "base/watch.hpp"
#include "pipeline/output_set.hpp"
#include "pipeline/placement.hpp"
#include "pipeline/report.hpp"
#include "pipeline/request.hpp"
#include "pipeline/system.hpp"

namespace boxwright {

// The last steps, once the atoms are placed: the report is made before the files are written, so
// that a strict build with warnings writes nothing. The output directory is claimed here unless
// the caller claimed it before placing the atoms.
Result<BuildReport> finish_build(const BuildRequest& request, const ResolvedSystem& system,
                                 const PlacedAtoms& placed, Diagnostics diagnostics,
                                 const Watch& watch, OutputDirectory* claimed = nullptr);

Result<BuildReport> run_build(const BuildRequest& request, const Watch& watch = {});

// A build's steps up to the placement, and no further: nothing is written. What
// `pack_with_raspa3` returns, positions and box, comes from here.
struct PlacedSystem {
    ResolvedSystem system;
    PlacedAtoms atoms;
    Diagnostics diagnostics;
    std::optional<OutputDirectory> claimed;  // by a build that writes, before the placement
};
Result<PlacedSystem> run_placement(const BuildRequest& request, const Watch& watch = {});

}  // namespace boxwright
