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

TEST(ForcefieldFile, OverrideIsWrittenWhateverTheFlagAndNamesFollowTypeOrder) {
    ForceField ff = water_like();
    ff.binary_interactions[{"H", "O"}] = BinaryParams{50.0, 2.9, "cross fit"};
    ff.binary_interactions[{"O", "O"}] = BinaryParams{1.0, 1.0, "never used"};
    auto registries = atom_types({"O", "H"});
    for (bool explicit_lb : {false, true}) {
        SCOPED_TRACE(explicit_lb);
        auto text = generate_forcefield_file(ff, registries, std::nullopt, explicit_lb);
        EXPECT_EQ(pair_section(text),
                  "# LJ Pair Coefficients\n"
                  "pair_coeff 1 1 0.1550019 3.1540000 # O-O\n"
                  "pair_coeff 1 2 0.0993602 2.9000000 # O-H  (non-ideal mixing override)\n"
                  "pair_coeff 2 2 0.0596161 2.5000000 # H-H\n");
        // The override's source sits between the sources of its row's type and later types.
        EXPECT_NE(text.find("#   o\n#\n#   cross fit\n#\n#   h\n#\n"), std::string::npos);
        EXPECT_EQ(text.find("never used"), std::string::npos);
    }
}

TEST(ForcefieldFile, OverridesWithBothFlagsGolden) {
    ForceField ff = test::test_force_field();
    ff.binary_interactions[{"CH3", "O"}] = BinaryParams{85.0, 3.4, "fitted cross term"};
    ff.binary_interactions[{"CH2", "H"}] = BinaryParams{10.0, 2.0, std::nullopt};
    auto registries = atom_types({"O", "H", "CH3", "CH2"});
    EXPECT_TRUE(test::matches_golden(
        "override_explicit_false.forcefield.lmp",
        generate_forcefield_file(ff, registries, PairSetup::LjCutCoulLong, false)));
    EXPECT_TRUE(test::matches_golden(
        "override_explicit_true.forcefield.lmp",
        generate_forcefield_file(ff, registries, PairSetup::LjCutCoulLong, true)));
}

TEST(ForcefieldFile, SourceTextsAreSplitIntoCommentLines) {
    ForceField ff;
    ff.pseudo_atoms["A"] =
        atom_params(1, 0, 1, 1, {"one\r\ntwo\r\n", "", "a\n\nb", "one\r\ntwo\r\n"});
    ff.pseudo_atoms["B"] = atom_params(2, 0, 1, 1, {"", "last"});
    auto text = generate_forcefield_file(ff, atom_types({"A", "B"}), PairSetup::LjCut, false);
    EXPECT_NE(text.find("# SOURCES\n#\n"
                        "#   one\n#   two\n#\n"
                        "#\n"
                        "#   a\n#   \n#   b\n#\n"
                        "#   last\n#\n# \u2501"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace boxwright
