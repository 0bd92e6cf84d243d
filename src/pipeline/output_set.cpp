#include "pipeline/output_set.hpp"

#include <cerrno>

#include "base/file_set.hpp"
#include "base/io.hpp"
#include "base/utf8.hpp"
#include "lammps/data_file.hpp"
#include "lammps/forcefield_file.hpp"
#include "lammps/input_script.hpp"
#include "lammps/molecule_shape.hpp"

namespace boxwright {
namespace {

// The directory and its missing parents; an empty path is the current directory.
Result<void> create_output_directory(const std::string& out_dir) {
    if (out_dir.empty()) return {};
    return create_directories(out_dir).map_error(about(out_dir));
}

Result<FileSet> lock_output_directory(const std::string& out_dir, const Watch& watch) {
    auto files = FileSet::open(out_dir, [&watch] { return watch.stop_requested(); });
    if (!files && files.error().error_number() == ECANCELED) {
        return fail("the build was interrupted while another build was writing into {}",
                    lossy_utf8(out_dir.empty() ? "." : out_dir));
    }
    return std::move(files).map_error(about(out_dir.empty() ? "." : out_dir));
}

Result<void> write_text(FileSet& files, const std::string& name, std::string_view text) {
    BW_TRY(FileReplacement * file, files.add(name));
    return file->write(text).map_error(about(file->path()));
}

}  // namespace

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
                                  const BuildRequest& request, const Watch& watch) {
    BW_TRY_VOID(create_output_directory(request.out_dir));
    BW_TRY(auto files, lock_output_directory(request.out_dir, watch));
    const auto written = write_members(files, system, placed, request);
    // A member given up for the stop fails for that reason, whatever its own failure says.
    if (watch.stop_requested()) return interrupted_before_replacing(request);
    BW_TRY_VOID(written);
    return files.commit();
}

}  // namespace boxwright
