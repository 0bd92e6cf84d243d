#include "pipeline/composition.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace boxwright {
namespace {

TEST(RoundShares, GivesTheMissingMoleculesToTheLargestRemaindersEarlierFirst) {
    const struct {
        const char* name;
        std::vector<double> shares;
        std::uint64_t total;
        std::vector<std::uint64_t> counts;
    } cases[] = {
        {"three equal thirds, the first wins",
         {100.0 / 3, 100.0 / 3, 100.0 / 3},
         100,
         {34, 33, 33}},
        {"a tie goes to the earlier", {1.5, 1.5}, 3, {2, 1}},
        // 25 × 0.58 and 25 × 0.42 in binary: 14.499999999999998 and 10.5, still a tie.
        {"a tie through binary rounding", {25 * 0.58, 25 * 0.42}, 25, {15, 10}},
        {"a share just under a whole number", {10 * 0.3 - 4e-16, 10 * 0.7}, 10, {3, 7}},
        {"a small share rounds to 0", {0.4, 9.6}, 10, {0, 10}},
        {"the largest remainder, not the largest share", {2.6, 6.2, 1.2}, 10, {3, 6, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(round_shares(c.shares, c.total), c.counts);
    }
}

// Fractions given to two decimals are scaled by their sum: the counts still sum to the total.
TEST(ComposeCounts, ScalesTheFractionsByTheirSum) {
    const auto composed = compose_counts({{0.33, 0.33, 0.33}, 100}, 3);
    ASSERT_TRUE(composed) << composed.error().message;
    Diagnostics diagnostics;
    report_composition({{0.33, 0.33, 0.33}, 100}, *composed, std::vector<std::string>(3, "x"),
                       diagnostics);
    ASSERT_EQ(diagnostics.entries().size(), 1u);
    EXPECT_EQ(diagnostics.entries()[0].text,
              "mole fractions 0.33, 0.33, 0.33 (sum 0.99, scaled to 1) of 100 molecules give "
              "counts 34, 33, 33 (100 \u00d7 x = 33.33, 33.33, 33.33, rounded to whole molecules "
              "that sum to 100)");
}

}  // namespace
}  // namespace boxwright
