#include "ff/numbers.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace boxwright {
namespace {

std::string exp6(double value, int width = 0) {
    fmt::memory_buffer out;
    append_exp6(out, value, width);
    return fmt::to_string(out);
}

std::string fixed(double value, int decimals, int width = 0) {
    fmt::memory_buffer out;
    append_fixed(out, value, decimals, width);
    return fmt::to_string(out);
}

TEST(Numbers, PlainFormIsShortestAndNeverExponential) {
    const std::pair<double, const char*> cases[] = {
        {16.0, "16"},
        {15.9994, "15.9994"},
        {-0.8476, "-0.8476"},
        {0.0, "0"},
        {1e-7, "0.0000001"},
        {1.5e17, "150000000000000000"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1e21, "1000000000000000000000"},
        {-2.5, "-2.5"},
    };
    for (auto [value, text] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(plain_number(value), text);
    }
}

TEST(Numbers, ListFormAlwaysHasAFraction) {
    const std::pair<double, const char*> cases[] = {
        {2.0, "2.0"},           {0.5, "0.5"},     {1e-5, "1e-5"}, {1.5e16, "1.5e16"},
        {2.5e20, "2.5e20"},     {1e-4, "0.0001"}, {-3.0, "-3.0"}, {1e15, "1000000000000000.0"},
        {-1.25e-9, "-1.25e-9"},
    };
    for (auto [value, text] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(list_number(value), text);
    }
    const double three[] = {1, 2, 3};
    EXPECT_EQ(number_list(three), "[1.0, 2.0, 3.0]");
    EXPECT_EQ(number_list({}), "[]");
}

TEST(Numbers, NameListQuotesAndEscapes) {
    const std::string names[] = {"A", "say \"hi\"", "back\\slash", "tab\t"};
    EXPECT_EQ(name_list(std::span(names, 1)), R"(["A"])");
    EXPECT_EQ(name_list(names), R"(["A", "say \"hi\"", "back\\slash", "tab\t"])");
    EXPECT_EQ(name_list({}), "[]");
}

TEST(Numbers, DataFileExponentForm) {
    const std::pair<double, const char*> cases[] = {
        {1.5, "1.500000e0"},
        {-0.25, "-2.500000e-1"},
        {10, "1.000000e1"},
        {0, "0.000000e0"},
        {-0.0, "-0.000000e0"},
        {9.9999999, "1.000000e1"},
        {1.234567e-12, "1.234567e-12"},
        {6.02e23, "6.020000e23"},
    };
    for (auto [value, text] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(exp6(value), text);
    }
    EXPECT_EQ(exp6(1.5, 13), "   1.500000e0");
    EXPECT_EQ(exp6(-1.234567e-12, 13), "-1.234567e-12");
}

TEST(Numbers, FixedDecimalsRoundCorrectly) {
    EXPECT_EQ(fixed(30, 6), "30.000000");
    EXPECT_EQ(fixed(0, 6, 10), "  0.000000");
    EXPECT_EQ(fixed(95.88259782, 4), "95.8826");
    EXPECT_EQ(fixed(0.125, 2), "0.12");  // exact binary tie rounds to even
    EXPECT_EQ(fixed(2.675, 2), "2.67");  // 2.675 is really 2.67499999...
}

TEST(Numbers, LossyUtf8ReplacesInvalidBytes) {
    EXPECT_EQ(lossy_utf8("plain/path.json"), "plain/path.json");
    EXPECT_EQ(lossy_utf8("a\xff"
                         "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_TRUE(is_valid_utf8("\xC3\x85ngstr\xC3\xB6m"));
    EXPECT_FALSE(is_valid_utf8("\xC0\xAF"));      // overlong slash
    EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));  // surrogate
    EXPECT_FALSE(is_valid_utf8("\xE2\x82"));      // truncated
}

}  // namespace
}  // namespace boxwright
