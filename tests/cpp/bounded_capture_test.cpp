#include "base/bounded_capture.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace boxwright {
namespace {

// Four bytes kept at each end; the pieces arrive as a pipe would hand them over.
TEST(BoundedCapture, KeepsHeadAndTailAndCountsWhatLiesBetween) {
    const struct {
        const char* name;
        std::vector<std::string> pieces;
        std::string text;
    } cases[] = {
        {"nothing", {}, ""},
        {"fits", {"ab", "cdefgh"}, "abcdefgh"},
        {"one byte too many", {"abcdefghi"}, "abcd\n... 1 bytes left out ...\nfghi"},
        {"head ends a line",
         {"abc\n", "0123456789", "wxyz"},
         "abc\n... 10 bytes left out ...\nwxyz"},
        {"small pieces",
         {"ab", "cd", "ef", "gh", "ij", "kl", "mn", "op", "qr", "st"},
         "abcd\n... 12 bytes left out ...\nqrst"},
        {"a piece longer than the tail",
         {"abcd", "ef", "0123456789"},
         "abcd\n... 8 bytes left out ...\n6789"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BoundedCapture capture(4, 4);
        for (const auto& piece : c.pieces) capture.append(piece);
        EXPECT_EQ(capture.text(), c.text);
    }
}

}  // namespace
}  // namespace boxwright
