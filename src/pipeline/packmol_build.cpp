#include "pipeline/packmol_build.hpp"

#include <utility>

#include "packmol/pack.hpp"
#include "pipeline/active.hpp"
#include "pipeline/species.hpp"
#include "pipeline/temp_dir.hpp"

namespace boxwright {

Result<BuildSummary> run_pack_packmol(const PackCommonArgs& request, double tolerance,
                                      Cancellation& cancel) {
    BW_TRY(auto loaded, load_molecules(request.force_field, request.species, request.counts));
    BW_TRY(auto active, resolve_active(loaded.molecules, request.counts));

    // Removed with everything Packmol left in it when this scope ends, whatever happens below.
    auto work_dir = TempWorkDir::create();
    if (!work_dir) return fail("creating temp directory: {}", work_dir.error());
    BW_TRY(auto packed, pack_system(work_dir->path(), counted_molecules(active.active),
                                    loaded.force_field, request.density, tolerance, cancel));

    OutputRequest outputs{request.out_dir, request.pair_setup, request.explicit_lb};
    return write_lammps_outputs(loaded.force_field, active.active, packed.coordinates, outputs,
                                std::move(loaded.skipped), std::move(active.warnings),
                                std::move(packed.note), packed.box_edge);
}

}  // namespace boxwright
