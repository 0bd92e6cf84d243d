// Packing split into sub-boxes: the plan (box edge, grid, one job per sub-box, how many run at
// once), checked completely before anything is created; and pack_decomposed, which runs one Packmol
// per sub-box side by side in private directories and merges the sub-boxes into one system. The
// same plan gives the same positions however many jobs run at once.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "decomposition/executor.hpp"
#include "decomposition/grid_layout.hpp"
#include "decomposition/subbox_plan.hpp"
#include "ff/counted_molecule.hpp"
#include "ff/force_field.hpp"
#include "packmol/pack.hpp"

namespace boxwright {

struct DecompositionRequest {
    std::optional<GridCells> subboxes;       // an explicit grid; else chosen from the system
    std::uint64_t seed = DEFAULT_BASE_SEED;  // every sub-box's seed derives from it
    std::int64_t jobs = 0;                   // Packmol processes at once; 0 for one per core
};

// Packmol processes at once per core, at most: the rest would only share the cores.
inline constexpr unsigned MAX_JOBS_PER_CORE = 4;

// How a split packing runs, as its report tells it.
struct SplitPacking {
    GridLayout layout;
    // Packmol processes at once: never more than there are jobs, nor MAX_JOBS_PER_CORE per core
    unsigned concurrency = 1;
    double tolerance = 0;  // Å, kept across every face of every sub-box
};

struct DecompositionPlan {
    double box_edge = 0;  // Å
    SplitPacking split;
    std::vector<SubboxJob> jobs;  // sub-boxes with at least one molecule, in grid order
};

// A packed box and the warnings of its packing: one per sub-box whose Packmol reported a failure
// but left a usable structure (one run over the whole box keeps its note in `packed` instead).
struct PackedBox {
    PackedSystem packed;  // the whole system in species order
    std::vector<std::string> warnings;
};

// Fails, before anything is written, for a negative number of jobs, an unusable grid or a
// molecule too wide for any sub-box, besides the failures of packing_box_edge.
Result<DecompositionPlan> plan_decomposition(std::span<const CountedMolecule> species,
                                             const ForceField& force_field, double density,
                                             double tolerance, const DecompositionRequest& request);

// Runs the plan's jobs in directories of their own under `work_dir`. A failing sub-box fails the
// whole packing with its index and grid position, after every other Packmol has been stopped.
Result<PackedBox> pack_decomposed(const std::string& work_dir,
                                  std::span<const CountedMolecule> species,
                                  const DecompositionPlan& plan, const Watch& watch);

}  // namespace boxwright
