#include "lammps/forcefield_file.hpp"

#include <gtest/gtest.h>

#include "golden.hpp"
#include "lammps_systems.hpp"

namespace boxwright {
namespace {

using test::atom_params;

TypeRegistries atom_types(std::initializer_list<const char*> names) {
    TypeRegistries registries;
    for (const char* name : names) registries.atoms.insert(name, Unit{});
    return registries;
}

// The lines between "# LJ Pair Coefficients" and the empty line that ends the section.
std::string pair_section(const std::string& text) {
    auto begin = text.find("# LJ Pair Coefficients\n");
    auto end = text.find("\n\n", begin);
    return text.substr(begin, end + 1 - begin);
}

ForceField water_like(double o_epsilon = 78.0, double o_sigma = 3.154) {
    ForceField ff;
    ff.pseudo_atoms["O"] = atom_params(15.9994, -0.8476, o_epsilon, o_sigma, {"o"});
    ff.pseudo_atoms["H"] = atom_params(1.008, 0.4238, 30.0, 2.5, {"h"});
    return ff;
}

TEST(ForcefieldFile, CrossPairsOnlyWhenExplicit) {
    ForceField ff = water_like();
    auto registries = atom_types({"O", "H"});
    EXPECT_EQ(pair_section(generate_forcefield_file(ff, registries, PairSetup::LjCut, false)),
              "# LJ Pair Coefficients\n"
              "pair_coeff 1 1 0.1550019 3.1540000 # O-O\n"
              "pair_coeff 2 2 0.0596161 2.5000000 # H-H\n");
    EXPECT_EQ(pair_section(generate_forcefield_file(ff, registries, PairSetup::LjCut, true)),
              "# LJ Pair Coefficients\n"
              "pair_coeff 1 1 0.1550019 3.1540000 # O-O\n"
              "pair_coeff 1 2 0.0961281 2.8270000 # O-H\n"
              "pair_coeff 2 2 0.0596161 2.5000000 # H-H\n");

    ff.pseudo_atoms["H"].epsilon_k = 0;  // a pseudo atom without a self interaction
    EXPECT_NE(generate_forcefield_file(ff, registries, PairSetup::LjCut, true)
                  .find("pair_coeff 1 2 0.0000000 0.0000000 # O-H\n"),
              std::string::npos);
}

TEST(ForcefieldFile, OverridesWithBothFlagsGolden) {
    ForceField ff = test::test_force_field();
    ff.binary_interactions[{"CH3", "O"}] = BinaryParams{85.0, 3.4, "fitted cross term"};
    ff.binary_interactions[{"CH2", "H"}] = BinaryParams{10.0, 2.0, std::nullopt};
    ff.binary_interactions[{"O", "O"}] = BinaryParams{1.0, 1.0, "a like pair: never used"};
    auto registries = atom_types({"O", "H", "CH3", "CH2"});
    EXPECT_TRUE(test::matches_golden(
        "override_explicit_false.forcefield.lmp",
        generate_forcefield_file(ff, registries, PairSetup::LjCutCoulLong, false)));
    EXPECT_TRUE(test::matches_golden(
        "override_explicit_true.forcefield.lmp",
        generate_forcefield_file(ff, registries, PairSetup::LjCutCoulLong, true)));
}

}  // namespace
}  // namespace boxwright
