#include "geometry/closest_contact.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace boxwright {
namespace {

using Vec = std::array<double, 3>;

// Every pair, measured by minimum image: what the cell list must agree with.
std::optional<double> brute_force(const std::vector<Vec>& positions, double edge,
                                  std::uint64_t atoms_per_molecule) {
    std::optional<double> best;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        for (std::size_t j = i + 1; j < positions.size(); ++j) {
            if (i / atoms_per_molecule == j / atoms_per_molecule) continue;
            double squared = 0;
            for (int a = 0; a < 3; ++a) {
                double d = positions[j][a] - positions[i][a];
                d -= edge * std::nearbyint(d / edge);
                squared += d * d;
            }
            if (!std::isfinite(squared)) continue;
            if (!best || std::sqrt(squared) < *best) best = std::sqrt(squared);
        }
    }
    return best;
}

struct RandomCase {
    const char* name;
    std::uint64_t molecules, atoms_per_molecule;
    double edge;
    double low, high;  // positions drawn in [low, high) on each axis
};

TEST(ClosestContact, AgreesWithEveryPairMeasured) {
    const RandomCase cases[] = {
        {"a liquid", 300, 3, 15, 0, 15},
        {"a dilute gas", 40, 1, 100, 0, 100},
        {"positions far outside the box", 200, 2, 12, -30, 42},
        // Coordinates in nm where Å belong: all atoms crowd into a corner of the box.
        {"a clump in one corner", 1000, 3, 40, 0, 2},
        {"one molecule of many atoms and one atom", 2, 500, 20, 0, 20},
    };
    std::mt19937_64 random(20240917);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::uniform_real_distribution<double> axis(c.low, c.high);
        std::vector<Vec> positions(c.molecules * c.atoms_per_molecule);
        for (auto& p : positions) p = {axis(random), axis(random), axis(random)};
        std::vector<MoleculeRun> runs{{c.atoms_per_molecule, c.molecules}};
        if (c.molecules == 2 && c.atoms_per_molecule == 500) {
            positions.resize(501);
            runs = {{500, 1}, {1, 1}};
        }
        auto found = closest_contact(positions, c.edge, runs);
        auto expected = brute_force(positions, c.edge, c.atoms_per_molecule);
        ASSERT_TRUE(found.has_value());
        EXPECT_NEAR(found->distance, *expected, 1e-9);
    }
}

TEST(ClosestContact, NamesThePairAcrossTheBoundaryAndSkipsItsOwnMolecule) {
    // Molecule 0 is atoms 0-1, molecule 1 atoms 2-3. Atoms 0 and 1 touch but are one molecule;
    // atoms 1 and 2 are 1.5 Å apart through the wall at x = 10.
    const std::vector<Vec> positions{{9.0, 5, 5}, {9.5, 5, 5}, {1.0, 5, 5}, {4.0, 5, 5}};
    const std::vector<MoleculeRun> runs{{2, 2}};
    auto found = closest_contact(positions, 10.0, runs);
    ASSERT_TRUE(found.has_value());
    EXPECT_DOUBLE_EQ(found->distance, 1.5);
    EXPECT_EQ(found->atoms, (std::array<std::uint64_t, 2>{1, 2}));
    EXPECT_EQ(found->molecules, (std::array<std::uint64_t, 2>{0, 1}));
}

TEST(ClosestContact, NoneWithoutTwoMoleculesOrABox) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Vec> three{{0, 0, 0}, {1, 0, 0}, {nan, 0, 0}};
    const struct {
        const char* name;
        double edge;
        std::vector<MoleculeRun> runs;
    } cases[] = {
        {"one molecule", 10, {{3, 1}}},
        {"box edge zero", 0, {{1, 3}}},
        {"box edge not a number", nan, {{1, 3}}},
        {"the other molecule has no finite position", 10, {{2, 1}, {1, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(closest_contact(three, c.edge, c.runs).has_value());
    }
    // Atoms on top of each other are a contact of zero.
    const std::vector<Vec> stacked(1000, Vec{3, 3, 3});
    const std::vector<MoleculeRun> runs{{1, 1000}};
    EXPECT_EQ(closest_contact(stacked, 10, runs)->distance, 0);
    // A search told to give up (Ctrl-C) ends without a contact.
    EXPECT_FALSE(closest_contact(stacked, 10, runs, [] { return true; }).has_value());
}

}  // namespace
}  // namespace boxwright
