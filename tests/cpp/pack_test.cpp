#include "packmol/pack.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <variant>

#include "coords/coordinate_text.hpp"
#include "packmol/pdb.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using test::make_molecule;

// Packing reads only the molecules' names, atoms and reference positions, and the masses.
ForceField masses() {
    ForceField ff;
    ff.pseudo_atoms["O_w"].mass = 15.9994;
    ff.pseudo_atoms["H_w"].mass = 1.008;
    ff.pseudo_atoms["CH4_sp3"].mass = 16.043;
    ff.pseudo_atoms["\xC3\x85_xyz"].mass = 1.0;
    ff.pseudo_atoms["Ghost"].mass = 0.0;
    return ff;
}

const Molecule water = make_molecule(
    "water", {{"O_w", {0, 0, 0}}, {"H_w", {0.9572, 0, 0}}, {"H_w", {-0.24, 0.9266, 0}}});

using Species = std::vector<CountedMolecule>;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

TEST(PackSystem, ChecksComeFirstAndWriteNothing) {
    const Molecule odd = make_molecule("odd", {{"O_w", {}}, {"Zz", {}}});
    const Molecule ghost = make_molecule("ghost", {{"Ghost", {}}});
    const struct {
        const char* name;
        Species species;
        double density;
        const char* message;
    } cases[] = {
        {"empty list before density", {}, -1, "no species with count > 0 to pack"},
        {"density NaN", Species{{&water, 1}}, NaN, "density must be positive"},
        {"unknown pseudo atom", Species{{&water, 1}, {&odd, 2}}, 1000,
         "molecule 'odd' uses pseudo-atom type 'Zz' not present in the force field"},
        {"massless", Species{{&ghost, 10}, {&water, 0}}, 1000,
         "total system mass is zero; nothing to pack"},
        {"atoms beyond 64 bits", Species{{&water, std::uint64_t{1} << 63}}, 1000,
         "system too large: the total number of atoms exceeds the 64-bit range at "
         "9223372036854775808 copies of molecule 'water'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir work;
        EXPECT_EQ(test::error_of(pack_system(work.path(), c.species, masses(), c.density, 2)),
                  c.message);
        EXPECT_TRUE(std::filesystem::is_empty(work.path()));
    }
}

// With no packmol to run, the job stays behind as packmol would have read it. The count-0 methane
// gets no file but keeps its place (ab is species 2); names are cut by characters, each beyond
// ASCII written as one '_' so that Packmol's byte columns hold (Å is two bytes), and the short
// residue name padded; wide numbers push the rest of the line.
TEST(PackSystem, WritesTemplatesAndJobThenFailsToLaunch) {
    const Molecule methane = make_molecule("methane", {{"CH4_sp3", {}}});
    const Molecule ab = make_molecule("ab", {{"CH4_sp3", {1.5, -2.25, 0.0004}},
                                             {"O_w", {-0.0004, 12345.678, -123456.789}},
                                             {"\xC3\x85_xyz", {0, 0, 0}}});
    test::TempDir work, empty_bin;
    test::ScopedEnv path("PATH", empty_bin.path());
    const Species species{{&water, 2}, {&methane, 0}, {&ab, 1}};
    EXPECT_EQ(test::error_of(pack_system(work.path(), species, masses(), 10, 0.5)),
              "failed to launch packmol (is it installed and on PATH?): "
              "No such file or directory (os error 2)");

    EXPECT_EQ(test::entries_in(work.path()), 3);
    for (const char* file : {"species_0_water.pdb", "species_2_ab.pdb", "pack.inp"}) {
        test::expect_golden(
            std::string("pack/") + file,
            test::replace_all(test::read_file(work.file(file)), work.path(), "WORK"));
    }
}

// The rest of the job's line that starts with `head`.
std::string rest_of(const std::string& job, std::string_view head) {
    const auto at = job.find(head) + head.size();
    return job.substr(at, job.find('\n', at) - at);
}

// Packmol splits the job at blanks, reads '#' as a comment and '~' as a blank: the species' part
// of a template's name has those bytes as '_'. (A work directory with a blank, which the job names
// relative to where packmol runs: the blanks-in-paths attack, through the real packmol.)
TEST(PackSystem, JobNamesOnlyFilesPackmolCanFind) {
    const Molecule odd = make_molecule("my #1~\"water\"", {{"O_w", {}}});
    test::TempDir work, empty_bin;
    test::ScopedEnv path("PATH", empty_bin.path());
    (void)pack_system(work.path(), Species{{&odd, 1}}, masses(), 1000, 2);
    const std::string structure = work.file("species_0_my__1__water_.pdb");
    EXPECT_EQ(rest_of(test::read_file(work.file("pack.inp")), "\nstructure "), structure);
    EXPECT_TRUE(std::filesystem::exists(structure));
}

// L = cbrt(mass / N_A / density); the margin from the walls is the tolerance, at least 1.5 and at
// most a quarter of the edge.
TEST(PackSystem, BoxEdgeAndWallMargin) {
    test::TempDir empty_bin;
    test::ScopedEnv path("PATH", empty_bin.path());
    const struct {
        double mass, count, tolerance;
        const char* lines;  // the tolerance line | the box of the structure
    } cases[] = {
        {18.0154, 1000, 2.0, "2.00|2.0000 2.0000 2.0000 29.0430 29.0430 29.0430"},
        {38541.700864, 1, 0.5, "0.50|1.5000 1.5000 1.5000 38.5000 38.5000 38.5000"},
        {38541.700864, 1, NaN, "NaN|1.5000 1.5000 1.5000 38.5000 38.5000 38.5000"},
        {38541.700864, 1, inf, "inf|10.0000 10.0000 10.0000 30.0000 30.0000 30.0000"},
    };
    for (const auto& c : cases) {
        ForceField ff;
        ff.pseudo_atoms["X"].mass = c.mass;
        const Molecule lump = make_molecule("lump", {{"X", {}}});
        test::TempDir work;
        (void)pack_system(work.path(), Species{{&lump, static_cast<std::uint64_t>(c.count)}}, ff,
                          1000, c.tolerance);
        const auto job = test::read_file(work.file("pack.inp"));
        EXPECT_EQ(rest_of(job, "tolerance ") + "|" + rest_of(job, "inside box "), c.lines);
    }
}

// An atom record as packmol writes it: the coordinates in columns 31-54, then occupancy etc.
std::string record(std::string_view x, std::string_view y, std::string_view z,
                   std::string_view head = "HETATM") {
    return fmt::format("{:<6}    1 O    wat     1    {:>8}{:>8}{:>8}  1.00  0.00", head, x, y, z);
}

TEST(Coordinate, AcceptsTheNumberGrammarAndNothingElse) {
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

// Read line by line, CRLF ends and TER records between: a structure of more than the reader's
// megabyte buffer comes back whole and in order, the records that straddle a buffer end included.
// (The line rules it shares with the PDB coordinate reader: CoordinateFile.PdbLinesReadAlike.)
TEST(PackedPdb, ReadsAStructureLargerThanTheLineBuffer) {
    std::string text;
    std::vector<Position> expected;
    for (int i = 0; text.size() < (std::size_t{5} << 20) / 2; ++i) {
        text += record(std::to_string(i), "-0.5", std::to_string(i % 7)) + "\r\nTER\r\n";
        expected.push_back({double(i), -0.5, double(i % 7)});
    }
    test::TempDir dir;
    EXPECT_EQ(parse_packed_pdb(dir.write("simbox.pdb", text + "END")), expected);
}

// Every atom record of the file is read, models and all, up to the first bad line; but a file
// that is not UTF-8 throughout is refused as unreadable before any of its lines counts.
TEST(PackedPdb, EveryAtomRecordUpToTheFirstBadLine) {
    test::TempDir dir;
    auto path = dir.file("simbox.pdb");
    auto short_line = record("1", "2", "3").substr(0, 53);
    auto bad_y = record("1.0", "1.0.0", "zzz");
    const std::string not_utf8 =
        "reading packmol output " + path + ": stream did not contain valid UTF-8";
    const struct {
        const char* name;
        std::optional<std::string> text;
        std::variant<std::string, std::vector<Position>> read;  // the message, or the positions
    } cases[] = {
        {"missing", std::nullopt,
         "reading packmol output " + path + ": No such file or directory (os error 2)"},
        {"two models",
         record("1", "2", "3") + "\nENDMDL\nMODEL        2\n" + record("4", "5", "6", "ATOM  ") +
             "\nENDMDL\nEND\n",
         std::vector<Position>{{1, 2, 3}, {4, 5, 6}}},
        {"not UTF-8", record("1", "2", "3") + "\n\xff\n", not_utf8},
        {"not UTF-8 after a short atom line", short_line + "\n\xff\n", not_utf8},
        {"53 bytes", short_line + "\r\n" + bad_y + "\n",
         "malformed PDB line in " + path + ": " + short_line},
        {"blank x", record("", "2", "3") + "\n",
         "bad x coordinate in " + path + ": " + record("", "2", "3")},
        {"bad y, good x", record("1", "2", "3") + "\n" + bad_y + "\n" + short_line,
         "bad y coordinate in " + path + ": " + bad_y},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.text) test::write_file(path, *c.text);
        const auto read = parse_packed_pdb(path);
        if (const auto* message = std::get_if<std::string>(&c.read)) {
            EXPECT_EQ(test::error_of(read), *message);
        } else {
            EXPECT_EQ(read, std::get<std::vector<Position>>(c.read));
        }
    }
}

// Packmol ends each model of a structure with ENDMDL; one between the atoms it wrote ends nothing.
TEST(PackSystem, ReadsTheAtomsOfEveryModelPackmolWrote) {
    const Molecule methane = make_molecule("methane", {{"CH4_sp3", {}}});
    test::TempDir work, bin;
    const auto path = test::packmol_on_path(
        bin, fmt::format("out=$(sed -n 's/^output //p')\nprintf '%s\\nENDMDL\\n%s\\n' '{}' '{}' > "
                         "\"$out\"\n",
                         record("1", "2", "3"), record("4", "5", "6")));
    const auto packed = pack_system(work.path(), Species{{&methane, 2}}, masses(), 1000, 2);
    ASSERT_TRUE(packed) << packed.error().message;
    EXPECT_EQ(packed->coordinates, (std::vector<Position>{{1, 2, 3}, {4, 5, 6}}));
}

}  // namespace
}  // namespace boxwright
