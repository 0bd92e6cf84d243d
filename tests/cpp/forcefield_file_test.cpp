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

// Pairs of unlike types are written only when explicit, mixed by Lorentz-Berthelot; overrides apply
// whatever the flag, in type order (O-CH3 for the key (CH3, O)), add their sources in row order,
// and never replace a like pair. H has no self interaction: its mixed pairs are 0.
TEST(ForcefieldFile, OverridesWithBothFlagsGolden) {
    ForceField ff = test::test_force_field();
    ff.binary_interactions[{"CH3", "O"}] = BinaryParams{85.0, 3.4, "fitted cross term"};
    ff.binary_interactions[{"CH2", "H"}] = BinaryParams{10.0, 2.0, std::nullopt};
    ff.binary_interactions[{"O", "O"}] = BinaryParams{1.0, 1.0, "a like pair: never used"};
    auto registries = atom_types({"O", "H", "CH3", "CH2"});
    for (bool explicit_lb : {false, true}) {
        test::expect_golden(
            fmt::format("override_explicit_{}.forcefield.lmp", explicit_lb),
            generate_forcefield_file(ff, registries, PairSetup::LjCutCoulLong, explicit_lb, {}));
    }
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
}

}  // namespace
}  // namespace boxwright
