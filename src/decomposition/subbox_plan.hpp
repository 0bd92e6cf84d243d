// The job list of a decomposed packing: what each sub-box packs (its share of every species, the
// region Packmol must keep its atoms in, its random seed), and how the packed sub-boxes are put
// back together. Plain data, so any executor can run the jobs; knows nothing about processes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "decomposition/grid_layout.hpp"
#include "ff/molecule.hpp"

namespace boxwright {

// How far Packmol may leave an atom outside its `inside box` region: it meets the constraint only
// to about 0.1 Å (an atom was seen 0.1004 Å out, with coordinates rounded to 0.001 Å in its
// output), so each sub-box keeps this much more than half the tolerance from each of its faces.
inline constexpr double SUBBOX_SLACK = 0.12;  // Å

// The base seed when the caller gives none: the same files on every run.
inline constexpr std::uint64_t DEFAULT_BASE_SEED = 1;

struct SubboxJob {
    std::size_t index = 0;              // in grid order, x slowest and z fastest
    GridCells cell{};                   // position in the grid
    Position low{}, high{};             // Packmol's inside box, Å
    std::vector<std::uint64_t> counts;  // molecules of each species, in species order
    std::int32_t seed = 0;              // Packmol's seed, positive

    std::uint64_t molecules() const;
};

// Species counts shared out over `subboxes`: each gets the floor of the even share, and the
// remainder goes one by one to consecutive sub-boxes, each species starting where the previous
// one's extras ended, so sub-box totals differ by at most one molecule.
std::vector<std::vector<std::uint64_t>> share_counts(std::span<const std::uint64_t> counts,
                                                     std::size_t subboxes);

// A positive 31-bit seed for sub-box `index`, well mixed so neighbouring sub-boxes and
// neighbouring base seeds get unrelated random streams.
std::int32_t subbox_seed(std::uint64_t base_seed, std::size_t index);

// One job per sub-box that receives at least one molecule, in grid order. Each region is the
// sub-box inset by half the tolerance plus SUBBOX_SLACK on every face, so atoms on either side of
// an inner face, and across the periodic faces of the whole box, stay the tolerance apart.
std::vector<SubboxJob> plan_subbox_jobs(const GridLayout& layout, double box_edge, double tolerance,
                                        std::span<const std::uint64_t> counts,
                                        std::uint64_t base_seed);

// The sub-boxes' positions (each in its job's order: species by species, molecule by molecule,
// atom by atom) merged into the whole system's order: species by species, within a species
// sub-box by sub-box.
std::vector<Position> merge_in_species_order(std::span<const SubboxJob> jobs,
                                             std::span<const std::vector<Position>> packed,
                                             std::span<const std::size_t> atoms_per_molecule);

}  // namespace boxwright
