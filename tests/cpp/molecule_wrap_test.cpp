#include "geometry/molecule_wrap.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "test_support.hpp"

namespace boxwright {
namespace {

// A diatomic of bond length 1 in a box of edge 20: each copy is moved by whole edges until its
// centre is in the box, exactly, and a system whose centres are all inside is not touched at all.
TEST(MoleculesWrappedIntoBox, MovesEachCopyWholeByWholeEdges) {
    const Molecule pair =
        test::make_molecule("pair", {{"A", {0, 0, 0}}, {"A", {1, 0, 0}}}, {{0, 1}});
    const CountedMolecule species[] = {{&pair, 1}};
    const struct {
        const char* name;
        Position first;    // the second atom is 1 Å along x
        Position wrapped;  // where the first atom ends up
    } rows[] = {
        {"image flag 10^6", {20e6 + 3.25, 4, 5}, {3.25, 4, 5}},
        {"image flag -2^20 on every axis",
         {-20971520 + 3.25, -20971520 + 4, -20971520 + 5},
         {3.25, 4, 5}},
        {"straddling the face, centre outside", {19.75, 1, 1}, {-0.25, 1, 1}},
        {"just below the box", {-0.75, 1, 1}, {19.25, 1, 1}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<Position> at = {row.first, row.first + Position{1, 0, 0}};
        const auto wrapped = molecules_wrapped_into_box(species, at, 20);
        ASSERT_TRUE(wrapped);
        EXPECT_EQ((*wrapped)[0], row.wrapped);
        EXPECT_EQ((*wrapped)[1] - (*wrapped)[0], (Position{1, 0, 0}));
    }
    // Centres inside: no copy, nothing rounded, though an atom pokes out.
    const std::vector<Position> inside = {{19.4, 1, 1}, {20.4, 1, 1}};
    EXPECT_EQ(molecules_wrapped_into_box(species, inside, 20), std::nullopt);
    // Fewer positions than atoms are left for the data writer to refuse.
    EXPECT_EQ(molecules_wrapped_into_box(species, std::vector<Position>(1), 20), std::nullopt);
}

}  // namespace
}  // namespace boxwright
