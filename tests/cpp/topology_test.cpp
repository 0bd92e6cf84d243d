#include <gtest/gtest.h>

#include "ff/molecule.hpp"

namespace boxwright {
namespace {

// A molecule of `atoms` anonymous atoms with these bonds; only the count and the bonds matter.
Molecule graph(std::size_t atoms, std::vector<Bond> bonds) {
    Molecule molecule;
    molecule.name = "graph";
    molecule.pseudo_atoms.assign(atoms, PseudoAtom{"X", {0, 0, 0}});
    molecule.connectivity = std::move(bonds);
    return molecule;
}

using Angles = std::vector<AngleTriple>;
using Dihedrals = std::vector<DihedralQuad>;

TEST(DerivedTopology, Chain) {
    auto chain = graph(4, {{0, 1}, {1, 2}, {2, 3}});
    EXPECT_EQ(chain.derived_angles(), (Angles{{0, 1, 2}, {1, 2, 3}}));
    EXPECT_EQ(chain.derived_dihedrals(), (Dihedrals{{0, 1, 2, 3}}));
    // The same again: nothing is cached or consumed.
    EXPECT_EQ(chain.derived_dihedrals(), (Dihedrals{{0, 1, 2, 3}}));
}

TEST(DerivedTopology, ReversedMiddleBondReversesTheDihedralOnly) {
    auto chain = graph(4, {{0, 1}, {2, 1}, {2, 3}});
    EXPECT_EQ(chain.derived_angles(), (Angles{{0, 1, 2}, {1, 2, 3}}));
    EXPECT_EQ(chain.derived_dihedrals(), (Dihedrals{{3, 2, 1, 0}}));
}

TEST(DerivedTopology, EndAtomsFollowTheBondOrder) {
    EXPECT_EQ(graph(3, {{1, 0}, {1, 2}}).derived_angles(), (Angles{{0, 1, 2}}));
    EXPECT_EQ(graph(3, {{1, 2}, {1, 0}}).derived_angles(), (Angles{{2, 1, 0}}));
}

TEST(DerivedTopology, Branches) {
    auto water = graph(3, {{0, 1}, {0, 2}});
    EXPECT_EQ(water.derived_angles(), (Angles{{1, 0, 2}}));
    EXPECT_TRUE(water.derived_dihedrals().empty());
    auto centre = graph(4, {{0, 1}, {0, 2}, {0, 3}});
    EXPECT_EQ(centre.derived_angles(), (Angles{{1, 0, 2}, {1, 0, 3}, {2, 0, 3}}));
    EXPECT_TRUE(centre.derived_dihedrals().empty());
}

TEST(DerivedTopology, SmallMoleculesHaveNone) {
    for (const auto& molecule : {graph(1, {}), graph(2, {{0, 1}})}) {
        EXPECT_TRUE(molecule.derived_angles().empty());
        EXPECT_TRUE(molecule.derived_dihedrals().empty());
    }
}

TEST(DerivedTopology, Rings) {
    auto three = graph(3, {{0, 1}, {1, 2}, {2, 0}});
    EXPECT_EQ(three.derived_angles(), (Angles{{1, 0, 2}, {0, 1, 2}, {1, 2, 0}}));
    EXPECT_TRUE(three.derived_dihedrals().empty());
    auto four = graph(4, {{0, 1}, {1, 2}, {2, 3}, {3, 0}});
    EXPECT_EQ(four.derived_angles(), (Angles{{1, 0, 3}, {0, 1, 2}, {1, 2, 3}, {2, 3, 0}}));
    EXPECT_EQ(four.derived_dihedrals(),
              (Dihedrals{{3, 0, 1, 2}, {0, 1, 2, 3}, {1, 2, 3, 0}, {2, 3, 0, 1}}));
}

TEST(DerivedTopology, ABondListedTwiceCountsTwice) {
    auto doubled = graph(4, {{0, 1}, {1, 2}, {1, 2}, {2, 3}});
    EXPECT_EQ(doubled.derived_angles(),
              (Angles{{0, 1, 2}, {0, 1, 2}, {2, 1, 2}, {1, 2, 1}, {1, 2, 3}, {1, 2, 3}}));
    EXPECT_EQ(doubled.derived_dihedrals(), (Dihedrals{{0, 1, 2, 3}, {0, 1, 2, 3}}));
    // Listed once each way, the central bond gives its dihedral in both orientations.
    auto both_ways = graph(4, {{0, 1}, {1, 2}, {2, 1}, {2, 3}});
    EXPECT_EQ(both_ways.derived_dihedrals(), (Dihedrals{{0, 1, 2, 3}, {3, 2, 1, 0}}));
}

TEST(DerivedTopology, SelfBondPutsTheAtomTwiceInItsOwnList) {
    EXPECT_EQ(graph(1, {{0, 0}}).derived_angles(), (Angles{{0, 0, 0}}));
}

}  // namespace
}  // namespace boxwright
