// The output set: data.lmp, forcefield.lmp and, when asked for, in.lmp, written into the output
// directory as one set. The directory is claimed before the positions are placed (created,
// locked, cleared of what a killed build left); each file goes to a temporary file beside its
// target, and all are put in place together once complete. A failure, an interrupt or a second
// build into the same directory never leaves a mix of old and new files.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "base/file_set.hpp"
#include "base/watch.hpp"
#include "pipeline/diagnostics.hpp"
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

// The output directory of one build, held until its set is written. Claiming creates it and
// locks it, waiting while another build writes into it (the watch's stop ends the wait); a build
// started into a directory its own thread is writing (from a signal handler) is refused. Where
// the directory cannot be locked (a file system without locks, a folder that may be written but
// not read) the build goes on with a warning; where it is locked, temporary files that a killed
// build left beside the set are removed, with a note.
// A build that fails before its files are written removes the directories its claim created.
class OutputDirectory {
  public:
    static Result<OutputDirectory> claim(const BuildRequest& request, const Watch& watch,
                                         Diagnostics& diagnostics);
    OutputDirectory(OutputDirectory&&) noexcept = default;
    OutputDirectory& operator=(OutputDirectory&&) = delete;
    OutputDirectory(const OutputDirectory&) = delete;
    OutputDirectory& operator=(const OutputDirectory&) = delete;
    ~OutputDirectory();

    // Writing has begun: the directories stay, whatever becomes of the build.
    void keep() { created_.clear(); }

  private:
    OutputDirectory(std::optional<DirectoryLock> lock, std::vector<std::string> created)
        : lock_(std::move(lock)), created_(std::move(created)) {}
    std::optional<DirectoryLock> lock_;  // none where the directory cannot be locked
    std::vector<std::string> created_;   // the output directory first, then its parents
};

// Writes the set into the claimed directory. The watch's stop is looked at while the files are
// written and once more before they are put in place; a stop before that leaves the old files as
// they were. A note tells of an earlier build's in.lmp that the set removed.
Result<void> write_lammps_outputs(const ResolvedSystem& system, const PlacedAtoms& placed,
                                  const BuildRequest& request, const Watch& watch,
                                  OutputDirectory& claimed, Diagnostics& diagnostics);

// The same, claiming the directory first.
Result<void> write_lammps_outputs(const ResolvedSystem& system, const PlacedAtoms& placed,
                                  const BuildRequest& request, const Watch& watch);

}  // namespace boxwright
