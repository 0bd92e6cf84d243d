#include "pipeline/outputs.hpp"

#include <iterator>

#include "base/io.hpp"
#include "base/utf8.hpp"
#include "lammps/data_file.hpp"
#include "lammps/forcefield_file.hpp"
#include "lammps/molecule_shape.hpp"
#include "lammps/system_totals.hpp"
#include "lammps/type_registry.hpp"

namespace boxwright {
namespace {

// The directory and its missing parents; an empty path is the current directory.
Result<void> create_output_directory(const std::string& out_dir) {
    if (out_dir.empty()) return {};
    return create_directories(out_dir).map_error(about(out_dir));
}

}  // namespace

Result<BuildSummary> write_lammps_outputs(
    const ForceField& force_field, std::span<const ActivePair> active,
    std::span<const Position> coordinates, const OutputRequest& request,
    std::vector<std::string> skipped, std::vector<std::string> warnings,
    std::optional<std::string> extra_warning, double box_length) {
    BW_TRY_VOID(create_output_directory(request.out_dir));
    BW_TRY(auto registries, build_type_registries(active, force_field));

    BuildSummary summary;
    summary.data_path = join_path(request.out_dir, "data.lmp");
    summary.forcefield_path = join_path(request.out_dir, "forcefield.lmp");

    BW_TRY_VOID(write_data_file(summary.data_path, active, coordinates, registries, force_field,
                                box_length));

    // Without a water the Tip4p block keeps the types of water listed first.
    const Tip4pTypes water = tip4p_water_types(active, registries).value_or(Tip4pTypes{});
    auto text = generate_forcefield_file(force_field, registries, request.pair_setup,
                                         request.explicit_lb, water);
    BW_TRY_VOID(
        replace_file(summary.forcefield_path, text).map_error(about(summary.forcefield_path)));

    // The data file has already checked these totals against the 64-bit range.
    BW_TRY(auto totals, system_totals(active));
    summary.skipped = std::move(skipped);
    summary.warnings = std::move(warnings);
    summary.extra_warning = std::move(extra_warning);
    summary.box_length = box_length;
    summary.atom_count = totals.atoms;
    summary.bond_count = totals.bonds;
    summary.angle_count = totals.angles;
    summary.dihedral_count = totals.dihedrals;
    summary.atom_type_count = registries.atoms.size();
    summary.bond_type_count = registries.bonds.size();
    summary.angle_type_count = registries.angles.size();
    summary.dihedral_type_count = registries.dihedrals.size();
    summary.long_range_warning = has_long_range_solver(request.pair_setup);
    return summary;
}

std::vector<std::string> BuildSummary::all_warnings() const {
    std::vector<std::string> all = warnings;
    if (extra_warning) all.push_back(*extra_warning);
    if (long_range_warning) {
        all.push_back(
            "Long-range Coulomb interaction solver in forcefield file might be adjusted to user "
            "preference.");
    }
    return all;
}

std::string BuildSummary::display() const {
    fmt::memory_buffer out;
    auto to = std::back_inserter(out);
    fmt::format_to(to, "Wrote {}\n", lossy_utf8(data_path));
    fmt::format_to(to, "Wrote {}\n", lossy_utf8(forcefield_path));
    fmt::format_to(to,
                   "box: {:.3f} \u00c5 cube  |  atoms: {} ({} types)  bonds: {} ({} types)  "
                   "angles: {} ({} types)  dihedrals: {} ({} types)\n",
                   box_length, atom_count, atom_type_count, bond_count, bond_type_count,
                   angle_count, angle_type_count, dihedral_count, dihedral_type_count);
    if (packing) fmt::format_to(to, "packing: {}\n", *packing);
    if (!skipped.empty()) fmt::format_to(to, "skipped (count 0): {}\n", fmt::join(skipped, ", "));
    for (const auto& warning : all_warnings()) fmt::format_to(to, "warning: {}\n", warning);
    return fmt::to_string(out);
}

}  // namespace boxwright
