#include <gtest/gtest.h>

#include "ff/molecule.hpp"

namespace boxwright {
namespace {

TEST(DerivedTopology, AnglesAndDihedralsFollowTheBondsAsListed) {
    const struct {
        const char* name;
        std::size_t atoms;
        std::vector<Bond> bonds;
        std::vector<AngleTriple> angles;
        std::vector<DihedralQuad> dihedrals;
    } cases[] = {
        {"one atom", 1, {}, {}, {}},
        {"two atoms", 2, {{0, 1}}, {}, {}},
        {"chain", 4, {{0, 1}, {1, 2}, {2, 3}}, {{0, 1, 2}, {1, 2, 3}}, {{0, 1, 2, 3}}},
        {"reversed middle bond",
         4,
         {{0, 1}, {2, 1}, {2, 3}},
         {{0, 1, 2}, {1, 2, 3}},
         {{3, 2, 1, 0}}},
        {"ends in bond order", 3, {{1, 0}, {1, 2}}, {{0, 1, 2}}, {}},
        {"ends in bond order, swapped", 3, {{1, 2}, {1, 0}}, {{2, 1, 0}}, {}},
        {"water-like branch", 3, {{0, 1}, {0, 2}}, {{1, 0, 2}}, {}},
        {"three neighbours", 4, {{0, 1}, {0, 2}, {0, 3}}, {{1, 0, 2}, {1, 0, 3}, {2, 0, 3}}, {}},
        {"three-membered ring", 3, {{0, 1}, {1, 2}, {2, 0}}, {{1, 0, 2}, {0, 1, 2}, {1, 2, 0}}, {}},
        {"four-membered ring",
         4,
         {{0, 1}, {1, 2}, {2, 3}, {3, 0}},
         {{1, 0, 3}, {0, 1, 2}, {1, 2, 3}, {2, 3, 0}},
         {{3, 0, 1, 2}, {0, 1, 2, 3}, {1, 2, 3, 0}, {2, 3, 0, 1}}},
        {"bond listed twice",
         4,
         {{0, 1}, {1, 2}, {1, 2}, {2, 3}},
         {{0, 1, 2}, {0, 1, 2}, {2, 1, 2}, {1, 2, 1}, {1, 2, 3}, {1, 2, 3}},
         {{0, 1, 2, 3}, {0, 1, 2, 3}}},
        {"bond listed both ways",
         4,
         {{0, 1}, {1, 2}, {2, 1}, {2, 3}},
         {{0, 1, 2}, {0, 1, 2}, {2, 1, 2}, {1, 2, 1}, {1, 2, 3}, {1, 2, 3}},
         {{0, 1, 2, 3}, {3, 2, 1, 0}}},
        {"self bond", 1, {{0, 0}}, {{0, 0, 0}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Molecule molecule;
        molecule.pseudo_atoms.assign(c.atoms, PseudoAtom{"X", {0, 0, 0}});
        molecule.connectivity = c.bonds;
        EXPECT_EQ(molecule.derived_angles(), c.angles);
        EXPECT_EQ(molecule.derived_dihedrals(), c.dihedrals);
        EXPECT_EQ(molecule.derived_dihedrals(), c.dihedrals);  // nothing cached or consumed
    }
}

}  // namespace
}  // namespace boxwright
