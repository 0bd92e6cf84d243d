#include "decomposition/subbox_plan.hpp"

#include <numeric>

#include "base/invariant.hpp"

namespace boxwright {
namespace {

// The finaliser of the SplitMix64 generator: a bijection on 64 bits that spreads every input bit
// over the whole output, so consecutive indices give unrelated seeds.
std::uint64_t mix64(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

constexpr std::uint64_t LARGEST_SEED = 0x7FFFFFFF;  // Packmol reads a 32-bit integer

GridCells cell_of(const GridLayout& layout, std::size_t index) {
    const GridCells& n = layout.cells;
    return {static_cast<std::uint32_t>(index / (std::size_t{n[1]} * n[2])),
            static_cast<std::uint32_t>(index / n[2] % n[1]),
            static_cast<std::uint32_t>(index % n[2])};
}

}  // namespace

std::uint64_t SubboxJob::molecules() const {
    return std::accumulate(counts.begin(), counts.end(), std::uint64_t{0});
}

std::vector<std::vector<std::uint64_t>> share_counts(std::span<const std::uint64_t> counts,
                                                     std::size_t subboxes) {
    invariant(subboxes > 0, "at least one sub-box");
    std::vector<std::vector<std::uint64_t>> shares(subboxes,
                                                   std::vector<std::uint64_t>(counts.size()));
    std::size_t next_extra = 0;  // the sub-box that receives the next remainder molecule
    for (std::size_t species = 0; species < counts.size(); ++species) {
        std::uint64_t even = counts[species] / subboxes;
        std::uint64_t remainder = counts[species] % subboxes;
        for (auto& share : shares) share[species] = even;
        for (std::uint64_t extra = 0; extra < remainder; ++extra) {
            ++shares[next_extra][species];
            next_extra = (next_extra + 1) % subboxes;
        }
    }
    return shares;
}

std::int32_t subbox_seed(std::uint64_t base_seed, std::size_t index) {
    std::uint64_t mixed = mix64(mix64(base_seed) + index);
    return static_cast<std::int32_t>(mixed % LARGEST_SEED + 1);
}

std::vector<SubboxJob> plan_subbox_jobs(const GridLayout& layout, double box_edge, double tolerance,
                                        std::span<const std::uint64_t> counts,
                                        std::uint64_t base_seed) {
    const double inset = tolerance / 2 + SUBBOX_SLACK;
    auto shares = share_counts(counts, layout.subbox_count());
    std::vector<SubboxJob> jobs;
    jobs.reserve(shares.size());
    for (std::size_t index = 0; index < shares.size(); ++index) {
        SubboxJob job{
            .index = index, .cell = cell_of(layout, index), .counts = std::move(shares[index])};
        if (job.molecules() == 0) continue;
        for (int axis = 0; axis < 3; ++axis) {
            double edge = box_edge / layout.cells[axis];
            job.low[axis] = job.cell[axis] * edge + inset;
            job.high[axis] = (job.cell[axis] + 1) * edge - inset;
        }
        job.seed = subbox_seed(base_seed, index);
        jobs.push_back(std::move(job));
    }
    return jobs;
}

std::vector<Position> merge_in_species_order(std::span<const SubboxJob> jobs,
                                             std::span<const std::vector<Position>> packed,
                                             std::span<const std::size_t> atoms_per_molecule) {
    invariant(jobs.size() == packed.size(), "one packed structure per job");
    std::size_t total = 0;
    for (const auto& positions : packed) total += positions.size();
    std::vector<Position> merged;
    merged.reserve(total);
    // Where the next species starts in each sub-box's structure.
    std::vector<std::size_t> cursor(jobs.size(), 0);
    for (std::size_t species = 0; species < atoms_per_molecule.size(); ++species) {
        for (std::size_t job = 0; job < jobs.size(); ++job) {
            std::size_t atoms = jobs[job].counts[species] * atoms_per_molecule[species];
            invariant(cursor[job] + atoms <= packed[job].size(), "sub-box structure complete");
            auto first = packed[job].begin() + static_cast<std::ptrdiff_t>(cursor[job]);
            merged.insert(merged.end(), first, first + static_cast<std::ptrdiff_t>(atoms));
            cursor[job] += atoms;
        }
    }
    return merged;
}

}  // namespace boxwright
