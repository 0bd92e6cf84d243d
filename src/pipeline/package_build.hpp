// The builds of the boxwright package: the same steps as run_pack_packmol and run_from_coords,
// so data.lmp and forcefield.lmp come out the same, then in.lmp beside them and a BuildReport.
#pragma once

#include <optional>
#include <span>

#include "base/error.hpp"
#include "lammps/input_script.hpp"
#include "pipeline/active.hpp"
#include "pipeline/coords_build.hpp"
#include "pipeline/packmol_build.hpp"
#include "pipeline/report.hpp"

namespace boxwright {

struct PackageOptions {
    PresetRule preset_rule = PresetRule::FromCharges;
    std::optional<RunSettings> input_script = RunSettings{};  // none writes no in.lmp
};

// `packing` as for build_packmol.
Result<BuildReport> package_packmol(const PackCommonArgs& request, double tolerance,
                                    const PackageOptions& options,
                                    const PackingOptions& packing = {});

Result<BuildReport> package_from_coords(const CoordsArgs& request,
                                        std::span<const Position> coordinates, double box_length,
                                        const PackageOptions& options);

// The positions from a coordinate file, read after the inputs and the run settings are checked.
Result<BuildReport> package_from_coords_file(const CoordsArgs& request, const CoordsFile& file,
                                             const PackageOptions& options);

}  // namespace boxwright
