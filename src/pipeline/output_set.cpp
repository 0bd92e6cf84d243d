#include "pipeline/output_set.hpp"

#include <fmt/ranges.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "base/file_set.hpp"
#include "base/io.hpp"
#include "base/utf8.hpp"
#include "lammps/data_file.hpp"
#include "lammps/forcefield_file.hpp"
#include "lammps/input_script.hpp"
#include "lammps/molecule_shape.hpp"

namespace boxwright {
namespace {

// The directory and its missing parents; an empty path is the current directory. Returns the
// directories created, the deepest first.
Result<std::vector<std::string>> create_output_directory(const std::string& out_dir) {
    std::vector<std::string> missing;
    if (out_dir.empty()) return missing;
    std::error_code error;
    for (auto dir = std::filesystem::path(out_dir); !dir.empty() && dir != dir.root_path();
         dir = dir.parent_path()) {
        if (dir.filename().empty()) continue;  // the trailing "/" of "a/b/"
        if (std::filesystem::exists(dir, error) || error) break;
        missing.push_back(dir.string());
    }
    BW_TRY_VOID(create_directories(out_dir).map_error(about(out_dir)));
    return missing;
}

std::string shown_directory(const std::string& out_dir) {
    return lossy_utf8(out_dir.empty() ? "." : out_dir);
}

// The names of the set's members, whose leftover temporaries a locked directory is cleared of.
constexpr std::string_view SET_MEMBERS[] = {"data.lmp", "forcefield.lmp", "in.lmp"};

void note_removed_temporaries(const std::string& out_dir, Diagnostics& diagnostics) {
    const auto removed = remove_leftover_temporaries(out_dir, SET_MEMBERS);
    if (removed.empty()) return;
    diagnostics.note(DiagnosticKind::OutputDirectory,
                     "removed {} temporary file{} that an interrupted build left in {}: {}",
                     removed.size(), removed.size() == 1 ? "" : "s", shown_directory(out_dir),
                     fmt::join(removed, ", "));
}

Result<void> write_text(FileSet& files, const std::string& name, std::string_view text) {
    BW_TRY(FileReplacement * file, files.add(name));
    return file->write(text).map_error(about(file->path()));
}

}  // namespace

OutputDirectory::~OutputDirectory() {
    // rmdir removes only an empty directory: nothing of anyone's is lost.
    for (const auto& dir : created_) {
        if (::rmdir(dir.c_str()) != 0) break;
    }
}

Result<OutputDirectory> OutputDirectory::claim(const BuildRequest& request, const Watch& watch,
                                               Diagnostics& diagnostics) {
    const std::string& out_dir = request.out_dir;
    BW_TRY(auto created, create_output_directory(out_dir));
    // Removes what it created should the lock fail.
    OutputDirectory claimed(std::nullopt, std::move(created));
    auto lock = DirectoryLock::acquire(out_dir, [&watch] { return watch.stop_requested(); });
    if (lock) {
        note_removed_temporaries(out_dir, diagnostics);
        claimed.lock_.emplace(std::move(*lock));
        return claimed;
    }
    switch (lock.error().error_number()) {
        case ECANCELED:
            return fail("the build was interrupted while another build was writing into {}",
                        shown_directory(out_dir));
        case EDEADLK:
            return fail(
                "locking {}: a build of this process is writing into it already and waits for "
                "this one to end (a build started from a signal handler or a callback?); give "
                "this build another directory",
                shown_directory(out_dir));
        case ENOLCK:
        case EACCES:
            diagnostics.warn(DiagnosticKind::OutputDirectory,
                             "{}; the files are written unlocked, so a build writing into the "
                             "same directory at the same time could mix its files with these",
                             lock.error().about(out_dir.empty() ? "." : out_dir).message);
            return claimed;
        default:
            return tl::unexpected(lock.error().about(out_dir.empty() ? "." : out_dir));
    }
}

tl::unexpected<FfError> interrupted_before_replacing(const BuildRequest& request) {
    return fail(
        "the build was interrupted before its files were replaced; those in {} are "
        "unchanged",
        lossy_utf8(request.out_dir.empty() ? "." : request.out_dir));
}

WrittenFiles output_paths(const BuildRequest& request) {
    WrittenFiles paths{join_path(request.out_dir, "data.lmp"),
                       join_path(request.out_dir, "forcefield.lmp"), std::nullopt};
    if (request.input_script) paths.input_script = join_path(request.out_dir, "in.lmp");
    return paths;
}

namespace {

// Every member of the set, written to its temporary file.
Result<void> write_members(FileSet& files, const ResolvedSystem& system, const PlacedAtoms& placed,
                           const BuildRequest& request) {
    const auto& registries = system.species.registries;

    BW_TRY(FileReplacement * data, files.add("data.lmp"));
    BW_TRY_VOID(write_data_file(*data, system.active(), placed.positions(), registries,
                                system.force_field(), placed.box_length,
                                placed.velocities ? Velocities(*placed.velocities) : std::nullopt));

    // Without a water the Tip4p block keeps the types of water listed first.
    Tip4pTypes water = tip4p_water_types(system.active(), registries).value_or(Tip4pTypes{});
    if (!request.declared_m_site) water.m_site = DEFAULT_M_SITE_ANG;
    BW_TRY(FileReplacement * forcefield, files.add("forcefield.lmp"));
    BW_TRY_VOID(write_forcefield_file(*forcefield, system.force_field(), registries,
                                      system.pair_setup, request.explicit_lb, water));
    if (request.input_script) {
        auto plan =
            plan_input_script(system.active(), registries, system.force_field(), system.pair_setup,
                              *request.input_script, request.pair_settings);
        plan.velocities_kept = placed.velocities.has_value();
        BW_TRY_VOID(write_text(files, "in.lmp", input_script_text(plan)));
    }
    return {};
}

}  // namespace

Result<void> write_lammps_outputs(const ResolvedSystem& system, const PlacedAtoms& placed,
                                  const BuildRequest& request, const Watch& watch,
                                  OutputDirectory& claimed, Diagnostics& diagnostics) {
    claimed.keep();
    FileSet files(request.out_dir, [&watch] { return watch.stop_requested(); });
    if (!request.input_script && request.input_script_in_set) files.leave_out("in.lmp");
    const auto written = write_members(files, system, placed, request);
    // A member given up for the stop fails for that reason, whatever its own failure says.
    if (watch.stop_requested()) return interrupted_before_replacing(request);
    BW_TRY_VOID(written);
    BW_TRY(const auto removed, files.commit());
    for (const auto& path : removed) {
        diagnostics.note(DiagnosticKind::OutputDirectory,
                         "removed {}, left by an earlier build: this build writes no in.lmp, and "
                         "that one would run the new data.lmp with its own settings",
                         lossy_utf8(path));
    }
    return {};
}

Result<void> write_lammps_outputs(const ResolvedSystem& system, const PlacedAtoms& placed,
                                  const BuildRequest& request, const Watch& watch) {
    Diagnostics diagnostics;
    BW_TRY(auto claimed, OutputDirectory::claim(request, watch, diagnostics));
    return write_lammps_outputs(system, placed, request, watch, claimed, diagnostics);
}

}  // namespace boxwright
