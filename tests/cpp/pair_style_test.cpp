#include "lammps/pair_style.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "golden.hpp"

namespace boxwright {
namespace {

TEST(PairStyle, EveryPresetAndNoPresetWithBothFlags) {
    std::string all;
    const std::optional<PairSetup> setups[] = {PairSetup::Tip4p, PairSetup::LjCut,
                                               PairSetup::LjCutCoulLong, std::nullopt};
    for (auto setup : setups) {
        for (bool explicit_lb : {false, true}) {
            all += fmt::format("=== {} explicit={}\n", setup ? display_name(*setup) : "None",
                               explicit_lb);
            all += gen_pair_style_setup(setup, explicit_lb);
        }
    }
    EXPECT_TRUE(test::matches_golden("pair_styles.txt", all));
}

TEST(PairStyle, NoPresetIgnoresTheFlag) {
    EXPECT_EQ(gen_pair_style_setup(std::nullopt, false).size(), 111u);
    EXPECT_EQ(gen_pair_style_setup(std::nullopt, false), gen_pair_style_setup(std::nullopt, true));
}

TEST(PairStyle, LongRangeSolverOnlyWithKspace) {
    EXPECT_TRUE(has_long_range_solver(PairSetup::Tip4p));
    EXPECT_TRUE(has_long_range_solver(PairSetup::LjCutCoulLong));
    EXPECT_FALSE(has_long_range_solver(PairSetup::LjCut));
    EXPECT_FALSE(has_long_range_solver(std::nullopt));
}

}  // namespace
}  // namespace boxwright
