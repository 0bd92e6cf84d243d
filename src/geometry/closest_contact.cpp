#include "geometry/closest_contact.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "base/invariant.hpp"

namespace boxwright {
namespace {

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

bool is_finite(const Position& p) {
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

// An atom as the scan reads it: wrapped into the box, with its molecule and its atom number.
struct Slot {
    Position at;
    std::uint64_t molecule = 0;
    std::uint64_t atom = 0;
};

// The caller's atoms, read where they are: wrapped and numbered by molecule when asked, never
// copied, so that the search of a million atoms costs a few bytes per atom beside them.
class Atoms {
  public:
    Atoms(std::span<const Position> positions, double edge, std::span<const MoleculeRun> runs)
        : positions_(positions), edge_(edge) {
        std::uint64_t atom = 0, molecule = 0;
        for (const auto& run : runs) {
            if (run.atoms_per_molecule > 0 && run.molecules > 0) {
                runs_.push_back({atom, molecule, run.atoms_per_molecule});
            }
            atom += run.atoms_per_molecule * run.molecules;
            molecule += run.molecules;
        }
        invariant(atom == positions.size(), "one position per atom of the molecule runs");
        finite_ = static_cast<std::uint64_t>(std::ranges::count_if(positions, is_finite));
    }

    double edge() const { return edge_; }
    std::uint64_t size() const { return positions_.size(); }
    std::uint64_t finite() const { return finite_; }
    bool takes_part(std::uint64_t atom) const { return is_finite(positions_[atom]); }

    Position wrapped(std::uint64_t atom) const {
        const Position& p = positions_[atom];
        return {wrap(p[0], edge_), wrap(p[1], edge_), wrap(p[2], edge_)};
    }

    Slot slot(std::uint64_t atom) const { return {wrapped(atom), molecule_of(atom), atom}; }
    // Asks for an atom's position ahead of its use: the scan reads them in cell order, which
    // for packed or random positions jumps all over memory.
    void prefetch(std::uint64_t atom) const { __builtin_prefetch(positions_.data() + atom); }

  private:
    struct RunStart {
        std::uint64_t first_atom = 0;
        std::uint64_t first_molecule = 0;
        std::uint64_t atoms_per_molecule = 0;
    };

    std::uint64_t molecule_of(std::uint64_t atom) const {
        auto after = std::ranges::upper_bound(runs_, atom, {}, &RunStart::first_atom);
        const RunStart& run = *(after - 1);
        return run.first_molecule + (atom - run.first_atom) / run.atoms_per_molecule;
    }

    std::span<const Position> positions_;
    double edge_;
    std::vector<RunStart> runs_;  // the runs that have atoms, in atom order
    std::uint64_t finite_ = 0;    // atoms with finite positions: those that take part
};

// splitmix64's finaliser: spreads the keys of neighbouring cells over the buckets.
std::uint64_t mix(std::uint64_t key) {
    key = (key ^ (key >> 30)) * 0xbf58476d1ce4e5b9ULL;
    key = (key ^ (key >> 27)) * 0x94d049bb133111ebULL;
    return key ^ (key >> 31);
}

using Cell = std::array<std::uint64_t, 3>;

// The atoms sorted into the cells of an M x M x M grid over the box, held as atom numbers of
// `Index` bits (32 where the atoms allow): the buckets run slab by slab along x, so that the scan
// needs the positions of one slab of cells and the next at a time. When there are far more cells
// than atoms, cells of a slab share its buckets by hash: a bucket then holds atoms of other cells
// too, which costs distance checks but never misses one, as every distance is measured by minimum
// image. Built in two steps: the bucket sizes, which tell the work a scan would take, and, for
// the grid chosen, the atoms in bucket order.
template <class Index>
class CellList {
  public:
    CellList(const Atoms& atoms, std::uint64_t per_axis)
        : per_axis_(per_axis), scale_(static_cast<double>(per_axis) / atoms.edge()) {
        const std::uint64_t atoms_rounded =
            std::bit_ceil(std::max<std::uint64_t>(atoms.finite(), 1));
        hashed_ = per_axis * per_axis * per_axis > 2 * atoms_rounded;
        lay_out_slabs(atoms);
        // Bucket sizes for now; sort_atoms turns them into where each bucket starts.
        start_.assign(slab_first_bucket_.back() + 1, 0);
        for_each_bucket(atoms, Direction::Forwards,
                        [this](std::uint64_t, std::uint64_t b) { ++start_[b]; });
        double pairs = 0;
        for (Index crowd : start_) pairs += static_cast<double>(crowd) * static_cast<double>(crowd);
        work_ = 27 * pairs;
    }

    // Sorts the atoms into their buckets, keeping atom order within each: a counting sort that
    // places them from the back, so that the bucket ends it counts down become the starts.
    void sort_atoms(const Atoms& atoms) {
        const std::size_t buckets = start_.size() - 1;
        for (std::size_t b = 1; b < buckets; ++b) start_[b] += start_[b - 1];
        start_[buckets] = static_cast<Index>(atoms.finite());
        order_.resize(atoms.finite());
        for_each_bucket(atoms, Direction::Backwards, [this](std::uint64_t atom, std::uint64_t b) {
            order_[--start_[b]] = static_cast<Index>(atom);
        });
    }

    double cell_edge(double edge) const { return edge / static_cast<double>(per_axis_); }
    std::uint64_t per_axis() const { return per_axis_; }
    // About how many candidate pairs a scan would measure, counted both ways round: each atom
    // meets the atoms of 27 cells, about as crowded as its own.
    double work() const { return work_; }

    // The slots of slab `x` (of every slab for `x` = per_axis) and the atom of each slot.
    std::array<std::uint64_t, 2> slab_slots(std::uint64_t x) const {
        if (x == per_axis_) return {0, order_.size()};
        return {start_[slab_first_bucket_[x]], start_[slab_first_bucket_[x + 1]]};
    }
    std::uint64_t atom_at(std::uint64_t slot) const { return order_[slot]; }

    // The slot ranges of the buckets that hold a cell (first) and its neighbours. With three
    // cells or more per axis only the 13 neighbours that follow the cell are listed, so that each
    // pair of neighbouring cells is searched from one side, and every range lies in the cell's
    // slab or the next; with fewer every distinct cell is, and a pair must then be taken only
    // from its earlier atom.
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
    enum class Direction { Forwards, Backwards };

    template <class Visit>
    void for_each_atom(const Atoms& atoms, Visit visit) const {
        for (std::uint64_t atom = 0; atom < atoms.size(); ++atom) {
            if (atoms.takes_part(atom)) visit(atom, cell_of(atoms.wrapped(atom)));
        }
    }

    // Calls visit(atom, bucket) for every atom that takes part, in atom order or from the last
    // back. The buckets of a block of atoms are worked out first and visited after: a visit
    // touches memory anywhere in the cell list, and a loop of visits alone lets the processor
    // keep many of them in flight at once.
    template <class Visit>
    void for_each_bucket(const Atoms& atoms, Direction direction, Visit visit) const {
        constexpr std::uint64_t BLOCK = 256;
        std::array<std::array<std::uint64_t, 2>, BLOCK> block;  // atom, bucket
        const std::uint64_t n = atoms.size();
        for (std::uint64_t done = 0; done < n; done += BLOCK) {
            std::size_t size = 0;
            for (std::uint64_t k = done; k < std::min(n, done + BLOCK); ++k) {
                const std::uint64_t atom = direction == Direction::Forwards ? k : n - 1 - k;
                if (atoms.takes_part(atom)) {
                    block[size++] = {atom, bucket(cell_of(atoms.wrapped(atom)))};
                }
            }
            for (std::size_t k = 0; k < size; ++k) visit(block[k][0], block[k][1]);
        }
    }

    // Each slab's first bucket: M x M of them unhashed, else a power of two at least as many as
    // the slab's atoms, so that crowded slabs get room and empty ones cost one bucket.
    void lay_out_slabs(const Atoms& atoms) {
        const std::uint64_t m = per_axis_;
        slab_first_bucket_.assign(m + 1, 0);
        if (!hashed_) {
            for (std::uint64_t x = 0; x <= m; ++x) slab_first_bucket_[x] = x * m * m;
            return;
        }
        for_each_atom(atoms, [this](std::uint64_t, const Cell& c) { ++slab_first_bucket_[c[0]]; });
        std::uint64_t first = 0;
        for (std::uint64_t x = 0; x <= m; ++x) {
            const std::uint64_t crowd = slab_first_bucket_[x];
            slab_first_bucket_[x] = first;
            first += std::bit_ceil(std::max<std::uint64_t>(crowd, 1));
        }
    }

    std::uint64_t bucket(const Cell& cell) const {
        const std::uint64_t first = slab_first_bucket_[cell[0]];
        if (!hashed_) return first + cell[1] * per_axis_ + cell[2];
        const std::uint64_t buckets = slab_first_bucket_[cell[0] + 1] - first;
        return first + (mix((cell[0] * per_axis_ + cell[1]) * per_axis_ + cell[2]) & (buckets - 1));
    }

    std::uint64_t per_axis_;
    double scale_;
    bool hashed_ = false;
    double work_ = 0;
    std::vector<std::uint64_t> slab_first_bucket_;  // slab -> first bucket; one more than slabs
    std::vector<Index> start_;                      // bucket -> first slot; one more than buckets
    std::vector<Index> order_;                      // slot -> atom, by bucket
};

double min_image(double d, double edge) {
    if (d > 0.5 * edge) return d - edge;
    if (d < -0.5 * edge) return d + edge;
    return d;
}

struct Best {
    double squared = std::numeric_limits<double>::infinity();
    Slot a, b;
};

// The slots of one slab (or of all) gathered from the caller's positions, side by side.
struct GatheredSlab {
    std::uint64_t first = 0;  // its first slot in the cell list
    std::vector<Slot> slots;

    template <class Index>
    void gather(const CellList<Index>& cells, const Atoms& atoms, std::uint64_t x) {
        const auto [begin, end] = cells.slab_slots(x);
        first = begin;
        slots.clear();
        constexpr std::uint64_t AHEAD = 16;
        for (std::uint64_t s = begin; s < end; ++s) {
            if (s + AHEAD < end) atoms.prefetch(cells.atom_at(s + AHEAD));
            slots.push_back(atoms.slot(cells.atom_at(s)));
        }
    }
    bool holds(std::uint64_t slot) const { return slot - first < slots.size(); }
};

// Measures the atom at slot `s` of `here` against the slots of its neighbourhood, which lie in
// `here` or `next`.
template <class Index>
void measure(const CellList<Index>& cells, const GatheredSlab& here, const GatheredSlab& next,
             std::uint64_t s, typename CellList<Index>::Neighbourhood& around, double edge,
             Best& best) {
    const Slot& a = here.slots[s - here.first];
    cells.neighbourhood(cells.cell_of(a.at), around);
    for (int n = 0; n < around.size; ++n) {
        const auto [first, last] = around.ranges[n];
        if (first == last) continue;
        const GatheredSlab& slab = here.holds(first) ? here : next;
        const std::uint64_t from = n > 0 && around.one_sided ? first : std::max(first, s + 1);
        for (std::uint64_t t = from; t < last; ++t) {
            const Slot& b = slab.slots[t - slab.first];
            if (b.molecule == a.molecule) continue;
            const double dx = min_image(b.at[0] - a.at[0], edge);
            const double dy = min_image(b.at[1] - a.at[1], edge);
            const double dz = min_image(b.at[2] - a.at[2], edge);
            const double squared = dx * dx + dy * dy + dz * dz;
            if (squared < best.squared) best = {squared, a, b};
        }
    }
}

// The closest pair of different molecules among the candidates: exact for every pair not
// farther apart than one cell edge. Slab by slab, with the next slab gathered beside it; with
// fewer than three cells per axis, all at once.
template <class Index>
std::optional<Best> scan(const CellList<Index>& cells, const Atoms& atoms, const GiveUp& give_up) {
    Best best;
    typename CellList<Index>::Neighbourhood around;
    const std::uint64_t m = cells.per_axis();
    GatheredSlab here, next;
    here.gather(cells, atoms, m < 3 ? m : 0);
    for (std::uint64_t x = 0; x < (m < 3 ? 1 : m); ++x) {
        if (give_up && give_up()) return std::nullopt;
        if (m >= 3) next.gather(cells, atoms, (x + 1) % m);
        for (std::uint64_t s = here.first; s < here.first + here.slots.size(); ++s) {
            measure(cells, here, next, s, around, atoms.edge(), best);
            if (best.squared == 0) return best;  // nothing can be closer
        }
        std::swap(here, next);
    }
    return best;
}

// About one atom per cell, made finer while crowded cells would cost more than the budget. Cells
// of a liquid's mean atomic spacing (some 2.2 Å) hold its closest contacts, so one search is
// usually enough.
template <class Index>
CellList<Index> fitted_cell_list(const Atoms& atoms) {
    auto per_axis = static_cast<std::uint64_t>(std::cbrt(static_cast<double>(atoms.finite())));
    per_axis = std::clamp<std::uint64_t>(per_axis, 1, MAX_CELLS_PER_AXIS);
    const double budget = WORK_PER_ATOM * static_cast<double>(atoms.finite());
    CellList<Index> cells(atoms, per_axis);
    while (cells.work() > budget && cells.per_axis() * 2 <= MAX_CELLS_PER_AXIS) {
        CellList<Index> finer(atoms, cells.per_axis() * 2);
        // Atoms on top of each other stay together in any cell: finer cells would not help.
        if (finer.work() > cells.work() * 0.7) break;
        cells = std::move(finer);
    }
    cells.sort_atoms(atoms);
    return cells;
}

template <class Index>
std::optional<Contact> search(const Atoms& atoms, const GiveUp& give_up) {
    const double edge = atoms.edge();
    CellList<Index> cells = fitted_cell_list<Index>(atoms);
    for (;;) {
        const auto scanned = scan(cells, atoms, give_up);
        if (!scanned) return std::nullopt;
        const Best& best = *scanned;
        const double distance = std::sqrt(best.squared);
        // Every pair within one cell edge was measured, and with two cells or fewer per axis
        // every pair at all.
        if (distance <= cells.cell_edge(edge) || cells.per_axis() <= 2) {
            if (!std::isfinite(distance)) return std::nullopt;  // a single molecule
            const Slot& first = best.a.atom < best.b.atom ? best.a : best.b;
            const Slot& second = best.a.atom < best.b.atom ? best.b : best.a;
            return Contact{distance, {first.atom, second.atom}, {first.molecule, second.molecule}};
        }
        // Cells as large as the closest pair seen hold the closest pair of all; with none seen,
        // twice as large.
        const std::uint64_t coarser =
            std::isfinite(distance)
                ? std::max<std::uint64_t>(1, static_cast<std::uint64_t>(edge / distance))
                : cells.per_axis() / 2;
        cells = CellList<Index>(atoms, coarser);
        cells.sort_atoms(atoms);
    }
}

}  // namespace

std::optional<Contact> closest_contact(std::span<const Position> positions, double box_edge,
                                       std::span<const MoleculeRun> runs, const GiveUp& give_up) {
    if (!(box_edge > 0) || !std::isfinite(box_edge)) return std::nullopt;
    const Atoms atoms(positions, box_edge, runs);
    if (atoms.finite() < 2) return std::nullopt;
    // Atom numbers of 32 bits halve the cell list wherever they suffice.
    if (atoms.size() <= std::numeric_limits<std::uint32_t>::max()) {
        return search<std::uint32_t>(atoms, give_up);
    }
    return search<std::uint64_t>(atoms, give_up);
}

}  // namespace boxwright
