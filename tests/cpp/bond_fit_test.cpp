#include "geometry/bond_fit.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "test_support.hpp"

namespace boxwright {
namespace {

// A diatomic of bond length 1, then a bent triatomic of bond lengths 3 and 1, in a box of edge 5.
TEST(FirstMisfitBond, ComparesMinimumImageLengthsWithTheReference) {
    const Molecule pair =
        test::make_molecule("pair", {{"A", {0, 0, 0}}, {"A", {1, 0, 0}}}, {{0, 1}});
    const Molecule bent = test::make_molecule(
        "bent", {{"B", {0, 0, 0}}, {"C", {3, 0, 0}}, {"B", {3, 1, 0}}}, {{0, 1}, {1, 2}});
    const CountedMolecule species[] = {{&pair, 1}, {&bent, 2}};
    const std::vector<Position> fitting = {
        {4.6, 0, 0}, {0.4, 0.1, 0},                 // whole only across the boundary: 0.81
        {1, 1, 1},   {3.4, 1, 1},   {3.4, 1.8, 1},  // 2.4 and 0.8: within a quarter
        {1, 3, 3},   {1, 3, 0.4},   {1, 3.9, 0.4},  // 2.4 across z (2.6 inside the box)
    };
    EXPECT_EQ(first_misfit_bond(species, fitting, 5), std::nullopt);

    const struct {
        const char* name;
        std::size_t atom;  // moved to `to`
        Position to;
        std::size_t species;
        std::uint64_t molecule;
        Bond in_molecule;
        double length;
    } cases[] = {
        {"stretched by more than a quarter", 1, {0.9, 0, 0}, 0, 0, {0, 1}, 1.3},
        {"shortened by more than a quarter", 1, {0.3, 0, 0}, 0, 0, {0, 1}, 0.7},
        {"second bond of the second copy", 7, {1, 3, 0.4}, 1, 1, {1, 2}, 0},
        // Within a quarter of 3, but more than half the edge: another image is as near.
        {"longer than half the box", 6, {3.6, 5, 3}, 1, 1, {0, 1}, std::sqrt(2.4 * 2.4 + 4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto positions = fitting;
        positions[c.atom] = c.to;
        auto misfit = first_misfit_bond(species, positions, 5);
        ASSERT_TRUE(misfit);
        EXPECT_EQ(misfit->species, c.species);
        EXPECT_EQ(misfit->molecule, c.molecule);
        EXPECT_EQ(misfit->in_molecule, c.in_molecule);
        const std::uint64_t first = c.species == 0 ? 0 : 2 + 3 * c.molecule;
        EXPECT_EQ(misfit->atoms, (std::array<std::uint64_t, 2>{first + c.in_molecule[0],
                                                               first + c.in_molecule[1]}));
        EXPECT_NEAR(misfit->length, c.length, 1e-12);
        EXPECT_NEAR(misfit->reference, c.species == 0 || c.in_molecule[0] == 1 ? 1 : 3, 1e-12);
    }
}

}  // namespace
}  // namespace boxwright
