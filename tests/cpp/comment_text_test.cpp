#include "lammps/comment_text.hpp"

#include <gtest/gtest.h>

#include <string>

namespace boxwright {
namespace {

// A run of n double quotes keeps n quote characters, none three in a row. Runs of 5, 8 and 11 take
// a second pass; the others read as one pass has always written them.
TEST(LammpsCommentText, NoRunOfQuotesLeavesThreeInARow) {
    const char* shown[] = {
        R"("'")",      R"("'"")",      R"("'"'")",      R"("'""'")",      R"("'""'"")",
        R"("'""'"'")", R"("'""'""'")", R"("'""'""'"")", R"("'""'""'"'")", R"("'""'""'""'")",
    };
    for (std::size_t quotes = 3; quotes <= 12; ++quotes) {
        SCOPED_TRACE(quotes);
        const std::string text = "Smith " + std::string(quotes, '"') + "quoted note";
        EXPECT_EQ(lammps_comment_text(text),
                  "Smith " + std::string(shown[quotes - 3]) + "quoted note");
    }
    EXPECT_EQ(lammps_comment_text(R"(""" a """""" b """"")"), R"("'" a "'""'" b "'"'")");
}

// An '&' that ends the line, white space as LAMMPS sees it after it, continues a LAMMPS line.
TEST(LammpsCommentText, AnAmpersandThatWouldEndTheLineIsFollowedByAFullStop) {
    const struct {
        const char* text;
        const char* shown;
    } cases[] = {
        {"Abascal &", "Abascal &."},
        {"&", "&."},
        {"Abascal & \t", "Abascal &. \t"},
        {"Abascal &\r", "Abascal &.\r"},
        {"Abascal &\v", "Abascal &.\v"},
        {"Abascal &\f", "Abascal &.\f"},
        {"Abascal &\v \f\t", "Abascal &.\v \f\t"},
        {"Abascal & Vega", "Abascal & Vega"},
        {"Abascal &\x1f", "Abascal &\x1f"},  // no white space to LAMMPS: the line ends there
        {"Abascal &\u00a0", "Abascal &\u00a0"},
        {" \v", " \v"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(lammps_comment_text(c.text), c.shown);
    }
}

}  // namespace
}  // namespace boxwright
