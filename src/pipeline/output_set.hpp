// write_lammps_outputs: the last step of every build, after the report. Creates the output
// directory and writes data.lmp, forcefield.lmp and, when asked for, in.lmp as one set: each to a
// temporary file beside its target, renamed only once all are complete, under a lock on the
// directory. A failure, an interrupt or a second build into the same directory never leaves a mix
// of old and new files.
#pragma once

#include <optional>
#include <string>

#include "base/error.hpp"
#include "base/watch.hpp"
#include "pipeline/placement.hpp"
#include "pipeline/request.hpp"
#include "pipeline/system.hpp"

namespace boxwright {

struct WrittenFiles {
    std::string data;
    std::string forcefield;
    std::optional<std::string> input_script;
};

// "the build was interrupted before its files were replaced; those in {out_dir} are unchanged"
tl::unexpected<FfError> interrupted_before_replacing(const BuildRequest& request);

// The paths write_lammps_outputs writes to.
WrittenFiles output_paths(const BuildRequest& request);

// The watch's stop is looked at while another build holds the directory and once more before the
// files are renamed; a stop before the renames leaves the old files as they were.
Result<void> write_lammps_outputs(const ResolvedSystem& system, const PlacedAtoms& placed,
                                  const BuildRequest& request, const Watch& watch);

}  // namespace boxwright
