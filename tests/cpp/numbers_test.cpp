// The renderings the messages and files share; lists in messages and the data file's exponent form
// are also proven by the message tests and the golden files.
#include "base/numbers.hpp"

#include <gtest/gtest.h>

namespace boxwright {
namespace {

// Integral values such as charge 0 print without a point in the golden files.
TEST(Numbers, PlainFormIsShortestAndNeverExponential) {
    EXPECT_EQ(plain_number(16.0), "16");
    EXPECT_EQ(plain_number(1e-7), "0.0000001");
    EXPECT_EQ(plain_number(1.5e17), "150000000000000000");
    EXPECT_EQ(plain_number(0.1 + 0.2), "0.30000000000000004");
}

// [1.0, 2.0, 3.0], [1e-5] and [] are in the messages tests.
TEST(Numbers, ListFormHasAFractionAndAnExponentOnlyOutsideItsRange) {
    const std::pair<double, const char*> cases[] = {
        {1e-4, "0.0001"}, {1e15, "1000000000000000.0"}, {1.5e16, "1.5e16"}, {-1.25e-9, "-1.25e-9"}};
    for (auto [value, text] : cases) EXPECT_EQ(list_number(value), text);
}

// Fixed-point output is {fmt}'s; the writers rely on it rounding as correctly as std::to_chars.
TEST(Numbers, FixedAndExponentFormsRoundCorrectlyAndAlign) {
    EXPECT_EQ(fmt::format("{:.2f}", 0.125), "0.12");  // an exact tie rounds to even
    EXPECT_EQ(fmt::format("{:.2f}", 2.675), "2.67");  // 2.675 is really 2.67499999...
    const auto exp6 = [](double value, int width) {
        fmt::memory_buffer out;
        append_exp6(out, value, width);
        return fmt::to_string(out);
    };
    EXPECT_EQ(exp6(6.02e23, 13), "  6.020000e23");
    EXPECT_EQ(exp6(-1.234567e-12, 13), "-1.234567e-12");
    EXPECT_EQ(exp6(9.9999999, 0), "1.000000e1");
}

}  // namespace
}  // namespace boxwright
