#include "packmol/pdb.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "test_support.hpp"

namespace boxwright {
namespace {

// An atom record as packmol writes it: the coordinates in columns 31-54, then occupancy etc.
std::string record(std::string_view x, std::string_view y, std::string_view z,
                   std::string_view head = "HETATM") {
    return fmt::format("{:<6}    1 O    wat     1    {:>8}{:>8}{:>8}  1.00  0.00", head, x, y, z);
}

TEST(Coordinate, AcceptsTheNumberGrammarAndNothingElse) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::pair<const char*, double> cases[] = {
        {"-1.250", -1.25}, {"1e1", 10},        {"+3", 3},       {"5.", 5},
        {".5", 0.5},       {"-.5E-1", -0.05},  {"1.5e+2", 150}, {"007", 7},
        {"inf", inf},      {"+Infinity", inf}, {"-INF", -inf},  {"1e400", inf},
        {"-1e400", -inf},  {"4e-320", 4e-320}, {"-1e-400", 0.0}};
    for (auto [text, value] : cases) EXPECT_EQ(parse_coordinate(text), value) << text;
    EXPECT_TRUE(std::isnan(parse_coordinate("NaN").value()));
    EXPECT_TRUE(std::signbit(parse_coordinate("-nan").value()));
    EXPECT_TRUE(std::signbit(parse_coordinate("-1e-400").value()));
    for (const char* text : {"", "+", "-", ".", "e5", "1e", "1e+", "+-1", "--1", "nan(1)", "infin",
                             "0x10", "1.2.3", "1 2", "1,5", "inf5", "1e5.0"}) {
        EXPECT_EQ(parse_coordinate(text), std::nullopt) << text;
    }
}

// CRLF or LF line ends, a last line without one, anything after column 54, and only "ATOM  " or
// "HETATM" as record names, byte for byte.
TEST(PackedPdb, ReadsAtomRecordsOnlyInFileOrder) {
    test::TempDir dir;
    auto path =
        dir.write("simbox.pdb",
                  "REMARK packed\r\nCRYST1   40.000\r\n" + record("-1.250", "1e1", "+3") +
                      "\r\nATOM 1  not a record, one blank\nTER\natom    lower case\n" +
                      record("4", "5", "6", "ATOM") + " anything goes here\n" +
                      record("1", "2", "3").substr(0, 54) + "\nEND\n" + record(".5", "5.", "7"));
    auto positions = parse_packed_pdb(path);
    ASSERT_TRUE(positions) << positions.error().message;
    EXPECT_EQ(*positions,
              (std::vector<Position>{{-1.25, 10, 3}, {4, 5, 6}, {1, 2, 3}, {0.5, 5, 7}}));
    EXPECT_EQ(parse_packed_pdb(dir.write("none.pdb", "REMARK x\nTER\nEND\n")),
              std::vector<Position>{});
}

// Without text, no file is written.
TEST(PackedPdb, FirstBadLineEndsTheRead) {
    test::TempDir dir;
    auto path = dir.file("simbox.pdb");
    auto short_line = record("1", "2", "3").substr(0, 53);
    auto bad_y = record("1.0", "1.0.0", "zzz");
    const struct {
        const char* name;
        std::optional<std::string> text;
        std::string message;
    } cases[] = {
        {"missing", std::nullopt,
         "reading packmol output " + path + ": No such file or directory (os error 2)"},
        {"not UTF-8", record("1", "2", "3") + "\n\xff\n",
         "reading packmol output " + path + ": stream did not contain valid UTF-8"},
        {"53 bytes", short_line + "\r\n" + bad_y + "\n",
         "malformed PDB line in " + path + ": " + short_line},
        {"blank x", record("", "2", "3") + "\n",
         "bad x coordinate in " + path + ": " + record("", "2", "3")},
        {"bad y, good x", record("1", "2", "3") + "\n" + bad_y + "\n" + short_line,
         "bad y coordinate in " + path + ": " + bad_y},
        {"bad z", record("1", "2", "1e") + "\r\n",
         "bad z coordinate in " + path + ": " + record("1", "2", "1e")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.text) test::write_file(path, *c.text);
        EXPECT_EQ(test::error_of(parse_packed_pdb(path)), c.message);
    }
}

}  // namespace
}  // namespace boxwright
