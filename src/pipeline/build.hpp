// run_build: the one build path that every entry of both modules takes. The request's settings
// are checked, then: the inputs are loaded and the system resolved (types numbered once), the
// positions placed, the output set written, and the report made. The first failure ends the
// build; the watch's stop ends it early, with every Packmol stopped and the old files kept.
#pragma once

#include "base/error.hpp"
#include "base/watch.hpp"
#include "pipeline/report.hpp"
#include "pipeline/request.hpp"

namespace boxwright {

Result<BuildReport> run_build(const BuildRequest& request, const Watch& watch = {});

}  // namespace boxwright
