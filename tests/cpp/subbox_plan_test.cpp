#include "decomposition/subbox_plan.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <set>

#include "decomposition/grid_layout.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

LayoutInput water_box(double box_edge, std::uint64_t molecules) {
    return {box_edge, 2.0, molecules, 1.5139, "water"};
}

TEST(PlanGrid, FollowsTheSystemOrTakesAnExplicitGridThatFits) {
    const struct {
        const char* name;
        LayoutInput input;
        GridCells cells;
        std::optional<GridCells> requested = std::nullopt;
    } cases[] = {
        {"a thousand molecules stay whole", water_box(31.04, 1000), {1, 1, 1}},
        {"8,000 make 2 per axis", water_box(62.09, 8000), {2, 2, 2}},
        {"30,000 make 3 per axis", water_box(96.45, 30000), {3, 3, 3}},
        {"100,000 make 4 per axis", water_box(144.0, 100000), {4, 4, 4}},
        {"a wide molecule keeps sub-boxes wide", {40.0, 2.0, 100000, 8.0, "long"}, {2, 2, 2}},
        {"no room to split at all", {19.0, 2.0, 100000, 8.5, "long"}, {1, 1, 1}},
        {"an explicit grid", water_box(31.04, 1000), {2, 1, 3}, GridCells{2, 1, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto layout = plan_grid(c.input, c.requested);
        ASSERT_TRUE(layout) << layout.error().message;
        EXPECT_EQ(layout->cells, c.cells);
    }
}

TEST(PlanGrid, RefusesWhatCannotWork) {
    constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
    constexpr std::uint32_t huge = 4'000'000'000u;
    const struct {
        const char* name;
        LayoutInput input;
        std::optional<GridCells> requested;
        const char* message;
    } cases[] = {
        {"zero dimension", water_box(31.04, 1000), GridCells{2, 0, 2},
         "sub-box grid 2x0x2 has a zero dimension"},
        {"a product past every integer", water_box(31.04, 7), GridCells{huge, huge, huge},
         "sub-box grid 4000000000x4000000000x4000000000 has more sub-boxes than the 7 molecules "
         "to pack"},
        {"explicit grid too fine",
         {40.0, 2.0, 1000, 8.0, "long"},
         GridCells{1, 3, 1},
         "molecule 'long' is 8.00 Å across and needs sub-boxes at least 18.00 Å wide (twice its "
         "width plus the tolerance); the 1x3x1 grid of the 40.00 Å box makes them 13.33 Å wide"},
        {"box too small for one",
         {17.5, 2.0, 10, 8.0, "long"},
         std::nullopt,
         "molecule 'long' is 8.00 Å across and needs sub-boxes at least 18.00 Å wide (twice its "
         "width plus the tolerance); the whole box is 17.50 Å wide"},
        {"NaN tolerance",
         {40.0, NaN, 10, 1.0, "w"},
         std::nullopt,
         "tolerance must be a finite length of at least 0 to split the box, not nan"},
        {"negative tolerance with a grid given",
         {40.0, -1.0, 10, 1.0, "w"},
         GridCells{1, 1, 1},
         "tolerance must be a finite length of at least 0 to split the box, not -1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(test::error_of(plan_grid(c.input, c.requested)), c.message);
    }
}

TEST(MoleculeExtent, IsTheWidestAtomPair) {
    EXPECT_EQ(molecule_extent(test::argon_molecule()), 0.0);
    auto bent = test::make_molecule("bent", {{"A", {0, 0, 0}}, {"A", {3, 4, 0}}, {"A", {1, 0, 0}}});
    EXPECT_DOUBLE_EQ(molecule_extent(bent), 5.0);
    // A chain of 100,001 atoms 1 Å apart is 100,000 Å long: bounded in one pass (its centroid is
    // its middle), where every pair took a minute.
    std::vector<PseudoAtom> chain(100001);
    for (std::size_t i = 0; i < chain.size(); ++i) chain[i] = {"A", {double(i), 0, 0}};
    Molecule long_chain = test::make_molecule("chain", {});
    long_chain.pseudo_atoms = std::move(chain);
    EXPECT_DOUBLE_EQ(molecule_extent(long_chain), 100000.0);
}

TEST(ShareCounts, KeepsSpeciesAndSubboxTotalsEven) {
    const struct {
        std::vector<std::uint64_t> counts;
        std::size_t subboxes;
    } cases[] = {{{10, 3, 0, 7}, 4}, {{1}, 8}, {{5, 5, 5}, 27}, {{30000, 1}, 27}, {{4, 4}, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.counts) + " over " + std::to_string(c.subboxes));
        auto shares = share_counts(c.counts, c.subboxes);
        ASSERT_EQ(shares.size(), c.subboxes);
        std::vector<std::uint64_t> totals;
        for (const auto& share : shares) {
            totals.push_back(std::accumulate(share.begin(), share.end(), std::uint64_t{0}));
        }
        auto [fewest, most] = std::minmax_element(totals.begin(), totals.end());
        EXPECT_LE(*most - *fewest, 1u);
        for (std::size_t species = 0; species < c.counts.size(); ++species) {
            std::uint64_t sum = 0, low = UINT64_MAX, high = 0;
            for (const auto& share : shares) {
                sum += share[species];
                low = std::min(low, share[species]);
                high = std::max(high, share[species]);
            }
            EXPECT_EQ(sum, c.counts[species]);
            EXPECT_LE(high - low, 1u);
        }
    }
    // The extras of the second species continue where the first one's ended.
    auto shares = share_counts(std::vector<std::uint64_t>{10, 3}, 4);
    EXPECT_EQ(shares, (std::vector<std::vector<std::uint64_t>>{{3, 1}, {3, 0}, {2, 1}, {2, 1}}));
}

TEST(SubboxSeed, IsPositiveDistinctAndPinned) {
    std::set<std::int32_t> seen;
    for (std::size_t index = 0; index < 1000; ++index) {
        std::int32_t seed = subbox_seed(DEFAULT_BASE_SEED, index);
        EXPECT_GT(seed, 0);
        seen.insert(seed);
    }
    EXPECT_EQ(seen.size(), 1000u);
    // The same seed must give the same files in every version: the derivation never changes.
    EXPECT_EQ(subbox_seed(1, 0), 817674033);
}

TEST(PlanSubboxJobs, InsetsEveryFaceAndSkipsEmptySubboxes) {
    auto jobs =
        plan_subbox_jobs(GridLayout{{2, 1, 1}}, 20.0, 2.0, std::vector<std::uint64_t>{3}, 1);
    ASSERT_EQ(jobs.size(), 2u);
    const double inset = 1.0 + SUBBOX_SLACK;
    EXPECT_EQ(jobs[0].low, (Position{inset, inset, inset}));
    EXPECT_EQ(jobs[0].high, (Position{10 - inset, 20 - inset, 20 - inset}));
    EXPECT_EQ(jobs[1].low, (Position{10 + inset, inset, inset}));
    EXPECT_EQ(jobs[1].counts, (std::vector<std::uint64_t>{1}));
    EXPECT_NE(jobs[0].seed, jobs[1].seed);

    auto sparse =
        plan_subbox_jobs(GridLayout{{2, 3, 4}}, 60.0, 2.0, std::vector<std::uint64_t>{6}, 1);
    ASSERT_EQ(sparse.size(), 6u);
    EXPECT_EQ(sparse[5].index, 5u);
    EXPECT_EQ(sparse[5].cell, (GridCells{0, 1, 1}));
}

TEST(MergeInSpeciesOrder, TakesEachSpeciesFromEverySubboxInTurn) {
    std::vector<SubboxJob> jobs(2);
    jobs[0].counts = {1, 1};
    jobs[1].counts = {2, 1};
    auto at = [](double label) { return Position{label, 0, 0}; };
    // Species 0 has one atom, species 1 two; labels say sub-box, then atom.
    std::vector<std::vector<Position>> packed = {
        {at(0.0), at(0.1), at(0.2)},
        {at(1.0), at(1.1), at(1.2), at(1.3)},
    };
    std::vector<std::size_t> atoms = {1, 2};
    auto merged = merge_in_species_order(jobs, packed, atoms);
    std::vector<Position> expected = {at(0.0), at(1.0), at(1.1), at(0.1),
                                      at(0.2), at(1.2), at(1.3)};
    EXPECT_EQ(merged, expected);
}

}  // namespace
}  // namespace boxwright
