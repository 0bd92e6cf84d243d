#include "lammps/forcefield_file.hpp"

#include <gtest/gtest.h>

#include "lammps/pair_style.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

TypeRegistries atom_types(std::initializer_list<const char*> names) {
    TypeRegistries registries;
    for (const char* name : names) registries.atoms.insert(name, Unit{});
    return registries;
}

// The lines between "# LJ Pair Coefficients" and the empty line that ends the section.
std::string pair_section(const std::string& text) {
    auto begin = text.find("# LJ Pair Coefficients\n");
    return text.substr(begin, text.find("\n\n", begin) + 1 - begin);
}

TEST(ForcefieldFile, CrossPairsOnlyWhenExplicit) {
    ForceField ff;
    ff.pseudo_atoms["O"] = {15.9994, -0.8476, 78.0, 3.154, {}};
    ff.pseudo_atoms["H"] = {1.008, 0.4238, 30.0, 2.5, {}};
    auto registries = atom_types({"O", "H"});
    EXPECT_EQ(pair_section(generate_forcefield_file(ff, registries, PairSetup::LjCut, false, {})),
              "# LJ Pair Coefficients\n"
              "pair_coeff 1 1 0.1550019 3.1540000 # O-O\n"
              "pair_coeff 2 2 0.0596161 2.5000000 # H-H\n");
    EXPECT_EQ(pair_section(generate_forcefield_file(ff, registries, PairSetup::LjCut, true, {})),
              "# LJ Pair Coefficients\n"
              "pair_coeff 1 1 0.1550019 3.1540000 # O-O\n"
              "pair_coeff 1 2 0.0961281 2.8270000 # O-H\n"
              "pair_coeff 2 2 0.0596161 2.5000000 # H-H\n");
}

// Overrides apply whatever the flag, in type order (O-CH3 for the key (CH3, O)), add their sources
// in row order, and never replace a like pair. H has no self interaction: its mixed pairs are 0.
TEST(ForcefieldFile, OverridesWithBothFlagsGolden) {
    ForceField ff = test::test_force_field();
    ff.binary_interactions[{"CH3", "O"}] = BinaryParams{85.0, 3.4, "fitted cross term"};
    ff.binary_interactions[{"CH2", "H"}] = BinaryParams{10.0, 2.0, std::nullopt};
    ff.binary_interactions[{"O", "O"}] = BinaryParams{1.0, 1.0, "a like pair: never used"};
    auto registries = atom_types({"O", "H", "CH3", "CH2"});
    test::expect_golden(
        "override_explicit_false.forcefield.lmp",
        generate_forcefield_file(ff, registries, PairSetup::LjCutCoulLong, false, {}));
    test::expect_golden(
        "override_explicit_true.forcefield.lmp",
        generate_forcefield_file(ff, registries, PairSetup::LjCutCoulLong, true, {}));
}

TEST(PairStyle, EveryPresetAndNoPresetWithBothFlagsGolden) {
    std::string all;
    for (auto setup : {std::optional(PairSetup::Tip4p), std::optional(PairSetup::LjCut),
                       std::optional(PairSetup::LjCutCoulLong), std::optional<PairSetup>()}) {
        for (bool explicit_lb : {false, true}) {
            all += fmt::format("=== {} explicit={}\n", setup ? display_name(*setup) : "None",
                               explicit_lb);
            all += gen_pair_style_setup(setup, explicit_lb, {});
        }
    }
    test::expect_golden("pair_styles.txt", all);
}

TEST(PairStyle, CommandNamesTheWaterAndBothCutoffs) {
    const Tip4pTypes water{3, 4, 3, 2};
    const struct {
        PairSetup setup;
        double lj, coulomb;
        const char* expected;
    } cases[] = {
        {PairSetup::Tip4p, 10, 10, "pair_style lj/cut/tip4p/long 3 4 3 2 0.1546 10.0\n"},
        {PairSetup::Tip4p, 12, 10, "pair_style lj/cut/tip4p/long 3 4 3 2 0.1546 12.0 10.0\n"},
        {PairSetup::LjCut, 12.5, 10, "pair_style lj/cut 12.5\n"},
        {PairSetup::LjCutCoulLong, 9.75, 10, "pair_style lj/cut/coul/long 9.75 10.0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(pair_style_command(c.setup, water, c.lj, c.coulomb), c.expected);
    }
    EXPECT_NE(gen_pair_style_setup(PairSetup::Tip4p, false, water)
                  .find("\npair_style lj/cut/tip4p/long 3 4 3 2 0.1546 10.0\n\nkspace_style"),
              std::string::npos);
}

}  // namespace
}  // namespace boxwright
