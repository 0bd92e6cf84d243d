#include "base/utf8.hpp"

#include <gtest/gtest.h>

namespace boxwright {
namespace {

TEST(Utf8, ValidationRejectsOverlongSurrogateAndTruncatedForms) {
    EXPECT_TRUE(is_valid_utf8("\xC3\x85ngstr\xC3\xB6m"));
    EXPECT_FALSE(is_valid_utf8("\xC0\xAF"));
    EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));
    EXPECT_FALSE(is_valid_utf8("\xE2\x82"));
    EXPECT_EQ(lossy_utf8("a\xFF"
                         "b"),
              "a\xEF\xBF\xBD"
              "b");
}

}  // namespace
}  // namespace boxwright
