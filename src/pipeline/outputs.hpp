// write_lammps_outputs: the last step of both builds. Creates the output directory, numbers the
// types, writes data.lmp and forcefield.lmp and returns the BuildSummary shown to the caller.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "ff/force_field.hpp"
#include "lammps/pair_style.hpp"
#include "lammps/resolved.hpp"

namespace boxwright {

struct BuildSummary {
    std::string data_path;
    std::string forcefield_path;
    std::vector<std::string> skipped;
    std::vector<std::string> warnings;
    std::optional<std::string> extra_warning;
    double box_length = 0;
    std::uint64_t atom_count = 0, bond_count = 0, angle_count = 0, dihedral_count = 0;
    std::uint64_t atom_type_count = 0, bond_type_count = 0, angle_type_count = 0,
                  dihedral_type_count = 0;
    bool long_range_warning = false;
    // How a packing split into sub-boxes ran, shown after the box line; never set by the builds
    // of the specified module, whose summary it leaves as it is.
    std::optional<std::string> packing;

    // The few lines returned to the caller: files written, system size, every warning.
    std::string display() const;
    // Every warning of the build in the order display() shows them, without "warning: ".
    std::vector<std::string> all_warnings() const;
};

struct OutputRequest {
    std::string out_dir;
    std::optional<PairSetup> pair_setup;
    bool explicit_lb = false;
};

Result<BuildSummary> write_lammps_outputs(
    const ForceField& force_field, std::span<const ActivePair> active,
    std::span<const Position> coordinates, const OutputRequest& request,
    std::vector<std::string> skipped, std::vector<std::string> warnings,
    std::optional<std::string> extra_warning, double box_length);

}  // namespace boxwright
