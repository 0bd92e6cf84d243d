#include "lammps/molecule_shape.hpp"

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;

// The examples' linear CO2 (C between two O, 1.16 Å) with a stray digit in one coordinate.
Molecule carbon_dioxide(double stray = 0) {
    return make_molecule("co2", {{"C", {0, 0, 0}}, {"Oc", {1.16, stray, 0}}, {"Oc", {-1.16, 0, 0}}},
                         {{0, 1}, {0, 2}}, true);
}

ForceField with_carbon_dioxide() {
    ForceField ff = test_force_field();
    ff.pseudo_atoms["C"] = {12.011, 0.7, 27.0, 2.8, {}};
    ff.pseudo_atoms["Oc"] = {15.9994, -0.35, 79.0, 3.05, {}};
    return ff;
}

TEST(Tip4pWater, TypesOfTheFirstRigidBentMoleculeWithTwoLikeEnds) {
    const ForceField ff = with_carbon_dioxide();
    const struct {
        const char* name;
        std::vector<std::pair<Molecule, std::uint64_t>> species;
        std::optional<Tip4pTypes> expected;
    } cases[] = {
        {"water first", {{water_molecule(), 2}, {butane_molecule(), 1}}, Tip4pTypes{1, 2, 1, 1}},
        // CH3 1, CH2 2, O 3, H 4; bonds CH3-CH2, CH2-CH2, O-H; angles CH3-CH2-CH2, H-O-H.
        {"water after butane",
         {{butane_molecule(), 1}, {water_molecule(), 2}},
         Tip4pTypes{3, 4, 3, 2}},
        // A straight CO2 has the shape of no water, wherever it stands: C 1, Oc 2, O 3, H 4.
        {"straight CO2 first",
         {{carbon_dioxide(), 1}, {water_molecule(), 1}},
         Tip4pTypes{3, 4, 2, 2}},
        {"no water", {{carbon_dioxide(), 1}, {argon_molecule(), 1}}, std::nullopt},
        {"water without copies", {{argon_molecule(), 1}, {water_molecule(), 0}}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The registries, like a build's, know only the species with copies.
        Species species, counted;
        for (const auto& [molecule, count] : c.species) {
            species.add(molecule, count);
            if (count > 0) counted.add(molecule, count);
        }
        EXPECT_EQ(tip4p_water_types(species.active, *build_type_registries(counted.active, ff)),
                  c.expected);
    }
}

TEST(StraightOffsets, OnlyForAMoleculeOnOneLine) {
    const ForceField ff = with_carbon_dioxide();
    // The centre of mass of a symmetric CO2 is its carbon; the line may point either way.
    const auto offsets = straight_offsets(carbon_dioxide(0.004), ff);
    ASSERT_EQ(offsets.size(), 3u);
    EXPECT_NEAR(offsets[0], 0, 1e-5);
    EXPECT_NEAR(std::fabs(offsets[1]), 1.16, 1e-5);
    EXPECT_NEAR(offsets[2], -offsets[1], 1e-5);
    // Atoms off the line by more than a hundredth of an Å make a bent molecule.
    EXPECT_TRUE(straight_offsets(carbon_dioxide(0.05), ff).empty());
    EXPECT_TRUE(straight_offsets(water_molecule(), ff).empty());
    EXPECT_TRUE(
        straight_offsets(make_molecule("oo", {{"Oc", {0, 0, 0}}, {"Oc", {1, 0, 0}}}), ff).empty());
}

}  // namespace
}  // namespace boxwright
