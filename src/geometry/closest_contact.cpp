#include "geometry/closest_contact.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <ranges>
#include <vector>

#include "base/invariant.hpp"

namespace boxwright {
namespace {

// An atom as the cell list holds it: wrapped into the box, with its molecule and its atom number.
struct Slot {
    Position at;
    std::uint64_t molecule = 0;
    std::uint64_t atom = 0;
};

// Cells per axis never exceed this, so a cell's key (ix * M + iy) * M + iz fits 64 bits.
constexpr std::uint64_t MAX_CELLS_PER_AXIS = std::uint64_t{1} << 20;
// Candidate pairs per atom the search accepts before it makes the cells smaller: a liquid at the
// starting size of about one atom per cell needs some 54.
constexpr double WORK_PER_ATOM = 128;

// x in [0, edge). Rounding can bring a tiny negative x to exactly `edge`, which is 0 again.
double wrap(double x, double edge) {
    double wrapped = x - edge * std::floor(x / edge);
    return wrapped >= 0 && wrapped < edge ? wrapped : 0;
}

// The atoms with finite positions, wrapped, with their molecule numbers from the runs.
std::vector<Slot> wrapped_slots(std::span<const Position> positions, double edge,
                                std::span<const MoleculeRun> runs) {
    std::uint64_t atom_count = 0;
    for (const auto& run : runs) atom_count += run.atoms_per_molecule * run.molecules;
    invariant(atom_count == positions.size(), "one position per atom of the molecule runs");
    std::vector<Slot> slots;
    slots.reserve(positions.size());
    std::uint64_t atom = 0, molecule = 0;
    for (const auto& run : runs) {
        for (std::uint64_t copy = 0; copy < run.molecules; ++copy, ++molecule) {
            for (std::uint64_t k = 0; k < run.atoms_per_molecule; ++k, ++atom) {
                const Position& p = positions[atom];
                if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
                slots.push_back(
                    {{wrap(p[0], edge), wrap(p[1], edge), wrap(p[2], edge)}, molecule, atom});
            }
        }
    }
    return slots;
}

// splitmix64's finaliser: spreads the keys of neighbouring cells over the buckets.
std::uint64_t mix(std::uint64_t key) {
    key = (key ^ (key >> 30)) * 0xbf58476d1ce4e5b9ULL;
    key = (key ^ (key >> 27)) * 0x94d049bb133111ebULL;
    return key ^ (key >> 31);
}

// Atoms sorted into the cells of an M x M x M grid over the box. When there are far more cells
// than atoms, cells share buckets by hash: a bucket then holds atoms of other cells too, which
// costs distance checks but never misses one, as every distance is measured by minimum image.
class CellList {
  public:
    CellList(std::span<const Slot> atoms, double edge, std::uint64_t per_axis)
        : edge_(edge), per_axis_(per_axis), scale_(static_cast<double>(per_axis) / edge) {
        const std::uint64_t cells = per_axis * per_axis * per_axis;
        const std::uint64_t atoms_rounded = std::bit_ceil(std::max<std::uint64_t>(atoms.size(), 1));
        hashed_ = cells > 2 * atoms_rounded;
        const std::uint64_t buckets = hashed_ ? atoms_rounded : cells;
        std::vector<std::uint64_t> bucket_of_atom(atoms.size());
        start_.assign(buckets + 1, 0);
        for (std::size_t i = 0; i < atoms.size(); ++i) {
            bucket_of_atom[i] = bucket(cell_of(atoms[i].at));
            ++start_[bucket_of_atom[i] + 1];
        }
        for (std::uint64_t b = 0; b < buckets; ++b) start_[b + 1] += start_[b];
        slots_.resize(atoms.size());
        std::vector<std::uint64_t> next(start_.begin(), start_.end() - 1);
        for (std::size_t i = 0; i < atoms.size(); ++i) slots_[next[bucket_of_atom[i]]++] = atoms[i];
    }

    double cell_edge() const { return edge_ / static_cast<double>(per_axis_); }
    std::uint64_t per_axis() const { return per_axis_; }
    const std::vector<Slot>& slots() const { return slots_; }
    // The number of atoms in each bucket, in bucket order.
    auto bucket_sizes() const {
        return std::views::iota(std::size_t{0}, start_.size() - 1) |
               std::views::transform([this](std::size_t b) {
                   return static_cast<double>(start_[b + 1] - start_[b]);
               });
    }

    using Cell = std::array<std::uint64_t, 3>;
    // The slot ranges of the buckets that hold a cell (first) and its neighbours. With three
    // cells or more per axis only the 13 neighbours that follow the cell are listed, so that each
    // pair of neighbouring cells is searched from one side; with fewer every distinct cell is,
    // and a pair must then be taken only from its earlier atom.
    struct Neighbourhood {
        Cell cell{};
        std::array<std::array<std::uint64_t, 2>, 27> ranges{};
        int size = 0;
        bool one_sided = false;
    };

    Cell cell_of(const Position& at) const {
        Cell cell{};
        for (int a = 0; a < 3; ++a) {
            cell[a] = std::min(static_cast<std::uint64_t>(at[a] * scale_), per_axis_ - 1);
        }
        return cell;
    }

    // Fills `around` for `cell` unless it already holds that cell: atoms of one cell sit next to
    // each other, so most atoms reuse their predecessor's neighbourhood.
    void neighbourhood(const Cell& cell, Neighbourhood& around) const {
        if (around.size > 0 && around.cell == cell) return;
        around.cell = cell;
        around.size = 0;
        around.one_sided = per_axis_ >= 3;
        const auto add = [&](const Cell& c) {
            const std::uint64_t b = bucket(c);
            around.ranges[around.size++] = {start_[b], start_[b + 1]};
        };
        add(cell);
        const std::uint64_t m = per_axis_;
        const auto shifted = [m](std::uint64_t c, int by) { return (c + m + by) % m; };
        if (around.one_sided) {
            for (int dx = -1; dx <= 1; ++dx) {
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dz = -1; dz <= 1; ++dz) {
                        const bool follows = dx > 0 || (dx == 0 && (dy > 0 || (dy == 0 && dz > 0)));
                        if (!follows) continue;
                        add({shifted(cell[0], dx), shifted(cell[1], dy), shifted(cell[2], dz)});
                    }
                }
            }
            return;
        }
        // One or two cells per axis: the other cell, if any, is the only distinct neighbour.
        const int others = m == 2 ? 1 : 0;
        for (int dx = 0; dx <= others; ++dx) {
            for (int dy = 0; dy <= others; ++dy) {
                for (int dz = 0; dz <= others; ++dz) {
                    if (dx == 0 && dy == 0 && dz == 0) continue;
                    add({shifted(cell[0], dx), shifted(cell[1], dy), shifted(cell[2], dz)});
                }
            }
        }
    }

  private:
    std::uint64_t bucket(const Cell& cell) const {
        const std::uint64_t key = (cell[0] * per_axis_ + cell[1]) * per_axis_ + cell[2];
        return hashed_ ? mix(key) & (start_.size() - 2) : key;
    }

    double edge_;
    std::uint64_t per_axis_;
    double scale_;
    bool hashed_ = false;
    std::vector<std::uint64_t> start_;  // bucket -> first slot; one more entry than buckets
    std::vector<Slot> slots_;           // by bucket
};

// About how many candidate pairs a search would measure, counted both ways round: each atom meets
// the atoms of 27 cells, about as crowded as its own.
double candidate_pairs(const CellList& cells) {
    double pairs = 0;
    for (double crowd : cells.bucket_sizes()) pairs += crowd * crowd;
    return 27 * pairs;
}

double min_image(double d, double edge) {
    if (d > 0.5 * edge) return d - edge;
    if (d < -0.5 * edge) return d + edge;
    return d;
}

struct Best {
    double squared = std::numeric_limits<double>::infinity();
    const Slot* a = nullptr;
    const Slot* b = nullptr;
};

// The closest pair of different molecules among the candidates: exact for every pair not
// farther apart than one cell edge.
Best scan(const CellList& cells, double edge) {
    Best best;
    const auto& slots = cells.slots();
    CellList::Neighbourhood around;
    for (std::uint64_t s = 0; s < slots.size(); ++s) {
        const Slot& a = slots[s];
        cells.neighbourhood(cells.cell_of(a.at), around);
        for (int n = 0; n < around.size; ++n) {
            const auto [first, last] = around.ranges[n];
            for (std::uint64_t t = n > 0 && around.one_sided ? first : std::max(first, s + 1);
                 t < last; ++t) {
                const Slot& b = slots[t];
                if (b.molecule == a.molecule) continue;
                const double dx = min_image(b.at[0] - a.at[0], edge);
                const double dy = min_image(b.at[1] - a.at[1], edge);
                const double dz = min_image(b.at[2] - a.at[2], edge);
                const double squared = dx * dx + dy * dy + dz * dz;
                if (squared < best.squared) best = {squared, &a, &b};
            }
        }
        if (best.squared == 0) break;  // nothing can be closer
    }
    return best;
}

// About one atom per cell, made finer while crowded cells would cost more than the budget. Cells
// of a liquid's mean atomic spacing (some 2.2 Å) hold its closest contacts, so one search is
// usually enough.
CellList fitted_cell_list(std::span<const Slot> atoms, double edge) {
    auto per_axis = static_cast<std::uint64_t>(std::cbrt(static_cast<double>(atoms.size())));
    per_axis = std::clamp<std::uint64_t>(per_axis, 1, MAX_CELLS_PER_AXIS);
    const double budget = WORK_PER_ATOM * static_cast<double>(atoms.size());
    CellList cells(atoms, edge, per_axis);
    double work = candidate_pairs(cells);
    while (work > budget && cells.per_axis() * 2 <= MAX_CELLS_PER_AXIS) {
        CellList finer(atoms, edge, cells.per_axis() * 2);
        const double finer_work = candidate_pairs(finer);
        // Atoms on top of each other stay together in any cell: finer cells would not help.
        if (finer_work > work * 0.7) break;
        cells = std::move(finer);
        work = finer_work;
    }
    return cells;
}

}  // namespace

std::optional<Contact> closest_contact(std::span<const Position> positions, double box_edge,
                                       std::span<const MoleculeRun> runs) {
    if (!(box_edge > 0) || !std::isfinite(box_edge)) return std::nullopt;
    const std::vector<Slot> atoms = wrapped_slots(positions, box_edge, runs);
    if (atoms.size() < 2) return std::nullopt;

    CellList cells = fitted_cell_list(atoms, box_edge);
    for (;;) {
        const Best best = scan(cells, box_edge);
        const double distance = std::sqrt(best.squared);
        // Every pair within one cell edge was measured, and with two cells or fewer per axis
        // every pair at all.
        if (distance <= cells.cell_edge() || cells.per_axis() <= 2) {
            if (best.a == nullptr) return std::nullopt;  // a single molecule
            const Slot* first = best.a->atom < best.b->atom ? best.a : best.b;
            const Slot* second = first == best.a ? best.b : best.a;
            return Contact{
                distance, {first->atom, second->atom}, {first->molecule, second->molecule}};
        }
        // Cells as large as the closest pair seen hold the closest pair of all; with none seen,
        // twice as large.
        const std::uint64_t coarser =
            std::isfinite(distance)
                ? std::max<std::uint64_t>(1, static_cast<std::uint64_t>(box_edge / distance))
                : cells.per_axis() / 2;
        cells = CellList(atoms, box_edge, coarser);
    }
}

}  // namespace boxwright
