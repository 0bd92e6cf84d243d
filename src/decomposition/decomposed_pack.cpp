#include "decomposition/decomposed_pack.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "base/io.hpp"
#include "base/os_error.hpp"

namespace boxwright {
namespace {

LayoutInput layout_input(std::span<const CountedMolecule> species, double box_edge,
                         double tolerance) {
    LayoutInput input{box_edge, tolerance, 0, 0, {}};
    for (const auto& [molecule, count] : species) {
        input.molecules += count;
        double extent = molecule_extent(*molecule);
        if (input.largest_name.empty() || extent > input.largest_extent) {
            input.largest_extent = extent;
            input.largest_name = molecule->name;
        }
    }
    return input;
}

std::string describe(const SubboxJob& job) {
    return fmt::format("sub-box {} at ({}, {}, {})", job.index, job.cell[0], job.cell[1],
                       job.cell[2]);
}

Result<std::string> make_subbox_dir(const std::string& work_dir, const SubboxJob& job) {
    std::string path = join_path(work_dir, fmt::format("subbox_{}", job.index));
    if (::mkdir(path.c_str(), 0777) != 0) {
        return tl::unexpected(OsError(OsOperation::Creating, errno).about(path));
    }
    return path;
}

Result<PackmolRun> pack_subbox(const std::string& work_dir,
                               std::span<const CountedMolecule> species, const SubboxJob& job,
                               double tolerance, const std::stop_token& stop) {
    BW_TRY(std::string dir, make_subbox_dir(work_dir, job));
    std::vector<CountedMolecule> share;
    share.reserve(species.size());
    for (std::size_t i = 0; i < species.size(); ++i)
        share.push_back({species[i].molecule, job.counts[i]});
    return run_packmol_job(dir, {share, job.low, job.high, tolerance, job.seed}, stop);
}

}  // namespace

Result<DecompositionPlan> plan_decomposition(std::span<const CountedMolecule> species,
                                             const ForceField& force_field, double density,
                                             double tolerance,
                                             const DecompositionRequest& request) {
    if (request.jobs < 0) {
        return fail("jobs must be 0 (one per core) or a positive number, not {}", request.jobs);
    }
    BW_TRY(double box_edge, packing_box_edge(species, force_field, density));
    BW_TRY(GridLayout layout,
           plan_grid(layout_input(species, box_edge, tolerance), request.subboxes));
    std::vector<std::uint64_t> counts;
    for (const auto& counted : species) counts.push_back(counted.count);
    auto jobs = plan_subbox_jobs(layout, box_edge, tolerance, counts, request.seed);
    // More Packmol processes than sub-boxes would idle, and many more than cores only share them.
    const std::uint64_t cores = available_cores();
    const std::uint64_t wanted = request.jobs == 0 ? cores : request.jobs;
    const std::uint64_t most = std::min<std::uint64_t>(jobs.size(), MAX_JOBS_PER_CORE * cores);
    auto concurrency = static_cast<unsigned>(std::clamp<std::uint64_t>(wanted, 1, most));
    return DecompositionPlan{box_edge, {layout, concurrency, tolerance}, std::move(jobs)};
}

Result<PackedBox> pack_decomposed(const std::string& work_dir,
                                  std::span<const CountedMolecule> species,
                                  const DecompositionPlan& plan, const Watch& watch) {
    std::vector<PackmolRun> runs(plan.jobs.size());
    auto pack_one = [&](std::size_t index, const std::stop_token& stop) -> Result<void> {
        const SubboxJob& job = plan.jobs[index];
        auto run = pack_subbox(work_dir, species, job, plan.split.tolerance, stop);
        if (!run) return fail("{} failed: {}", describe(job), run.error().message);
        runs[index] = std::move(*run);  // each worker writes only its own jobs' slots
        return {};
    };
    BW_TRY_VOID(run_side_by_side(plan.jobs.size(), plan.split.concurrency, pack_one, watch));

    PackedBox result;
    std::vector<std::vector<Position>> packed;
    packed.reserve(runs.size());
    for (std::size_t index = 0; index < runs.size(); ++index) {
        if (runs[index].note) {
            result.warnings.push_back(describe(plan.jobs[index]) + ": " + *runs[index].note);
        }
        packed.push_back(std::move(runs[index].coordinates));
    }
    std::vector<std::size_t> atoms_per_molecule;
    for (const auto& counted : species) {
        atoms_per_molecule.push_back(counted.molecule->pseudo_atoms.size());
    }
    result.packed.coordinates = merge_in_species_order(plan.jobs, packed, atoms_per_molecule);
    result.packed.box_edge = plan.box_edge;
    return result;
}

}  // namespace boxwright
