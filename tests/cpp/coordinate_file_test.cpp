#include "coords/coordinate_file.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "packmol/pdb.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using test::error_of;
using test::replace_all;

// Two waters then a butane: O H H O H H CH3 CH2 CH2 CH3.
struct System {
    Molecule water = test::water_molecule();
    Molecule butane = test::butane_molecule();
    ExpectedAtoms expected = *ExpectedAtoms::of({{&water, 2}, {&butane, 1}});
};

const char* const NAMES[] = {"O", "H", "H", "O", "H", "H", "CH3", "CH2", "CH2", "CH3"};

// Atom i sits at (i, i + 0.5, -i).
Position position_of(std::size_t i) {
    const double x = static_cast<double>(i);
    return {x, x + 0.5, -x};
}

std::vector<Position> positions_of(std::size_t atoms) {
    std::vector<Position> positions;
    for (std::size_t i = 0; i < atoms; ++i) positions.push_back(position_of(i));
    return positions;
}

const char* const LATTICE_30 = "Lattice=\"30 0 0 0 30.0 0 0 0 3e1\"";
const char* const CRYST1_30 = "CRYST1   30.000   30.000   30.000  90.00  90.00  90.00\n";

std::string xyz_text(std::string_view comment = LATTICE_30, std::string_view ending = "\n") {
    std::string text = fmt::format("10{}{}{}", ending, comment, ending);
    for (std::size_t i = 0; i < 10; ++i) {
        const auto [x, y, z] = position_of(i);
        text += fmt::format("{} {} {}\t{}{}", NAMES[i], x, y, z, ending);
    }
    return text;
}

// An atom record with the name in columns 13-16 and the coordinates in 31-54.
std::string pdb_record(std::string_view name, Position p, std::string_view head = "HETATM") {
    return fmt::format("{:<6}    1 {:<4} mol     1    {:8.3f}{:8.3f}{:8.3f}  1.00  0.00\n", head,
                       name, p[0], p[1], p[2]);
}

std::string pdb_text(std::string_view before = CRYST1_30, std::string_view after = "END\n") {
    std::string text(before);
    for (std::size_t i = 0; i < 10; ++i) text += pdb_record(NAMES[i], position_of(i));
    return text + std::string(after);
}

const CoordinateReadOptions NAMES_OFF{false, std::nullopt};
CoordinateReadOptions with_box(double length) { return {true, length}; }

struct Accepted {
    const char* name;
    std::string file;
    std::string text;
    std::optional<double> box;
};

// Properties name the columns: a charge before the position and no species column (so nothing is
// compared with the expected names). A file that states no box is read with a given one.
TEST(CoordinateFile, ReadsEachFormsPositionsAndBox) {
    const System system;
    std::string charged = "10\nProperties=charge:R:1:pos:R:3:forces:R:3\n";
    for (std::size_t i = 0; i < 10; ++i) {
        const auto [x, y, z] = position_of(i);
        charged += fmt::format("0.5 {} {} {} 0 0 0\n", x, y, z);
    }
    const Accepted cases[] = {
        {"xyz", "a.xyz", xyz_text("a plain comment: water on a Lattice, with = signs") + "\n  \n",
         std::nullopt},
        {"xyz, CRLF, upper-case extension", "a.XYZ", xyz_text("", "\r\n"), std::nullopt},
        {"extended xyz", "a.extxyz",
         xyz_text(std::string(LATTICE_30) + " Properties=species:S:1:pos:R:3 pbc=\"T T T\""), 30},
        {"extended xyz without species", "a.xyz", charged, std::nullopt},
        {"pdb, CRYST1 cube, first model only", "a.pdb",
         pdb_text("REMARK made by hand\nCRYST1   30.000   30.000   30.000  90.00  90.00  90.00 P "
                  "1\nMODEL 1\n",
                  "ENDMDL\nMODEL 2\n" + pdb_record("O", {9, 9, 9}) + "ENDMDL\n"),
         30},
        {"pdb, unit CRYST1 says no cell, ATOM records", "a.pdb",
         replace_all(pdb_text("CRYST1    1.000    1.000    1.000  90.00  90.00  90.00\n"), "HETATM",
                     "ATOM  "),
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const auto options = c.box ? CoordinateReadOptions{} : with_box(12.5);
        auto read = read_coordinate_file(dir.write(c.file, c.text), system.expected, options);
        ASSERT_TRUE(read) << read.error().message;
        EXPECT_EQ(read->positions, positions_of(10));
        EXPECT_EQ(read->box_length, c.box.value_or(12.5));
    }
}

struct Refused {
    const char* name;
    std::string file;
    std::string text;
    std::string message;  // "PATH" stands for the file's path
    CoordinateReadOptions options = {};
};

// Every refusal is placed in the file, and at the line its message names.
void expect_refusals(std::span<const Refused> cases) {
    const System system;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string path = dir.write(c.file, c.text);
        const auto read = read_coordinate_file(path, system.expected, c.options);
        EXPECT_EQ(error_of(read), replace_all(c.message, "PATH", path));
        if (read) continue;
        EXPECT_EQ(read.error().file, path);
        const bool placed = c.message.starts_with("PATH:") && std::isdigit(c.message[5]);
        EXPECT_EQ(read.error().line,
                  placed ? std::optional(std::stoull(c.message.substr(5))) : std::nullopt);
    }
}

// Every format's refusals, each placed in the file and at the line its message names. The box is
// settled where the file states it, before any atom is read: there the atoms that follow would
// all be refused.
TEST(CoordinateFile, RefusalsNameFileAndLine) {
    const std::string xyz = xyz_text();
    const std::string pdb = pdb_text();
    const std::string record = pdb_record("H", position_of(2));
    const std::string data = test::read_file(test::data_path("golden/e2e/data.lmp"));
    const std::string atom3 =
        "      3       1    2   0.423800    1.760013e0    2.926627e0    2.000000e0  # H water";
    const std::string vel = test::read_file(test::data_path("coords/write_data.data"));
    const std::string id3 = "3 -0.00022974207313109537 -0.01268957596493503 0.00972827164809089";
    const std::string broken_atoms = "nonsense\n";
    const Refused cases[] = {
        {"empty", "a.xyz", "", "PATH:1: the file ends before the atom count"},
        {"count not a number", "a.xyz", "ten\n", "PATH:1: expected the atom count, found 'ten'"},
        {"count differs", "a.xyz", "9\n", "PATH has 9 atoms but the species and counts need 10"},
        {"short line", "a.xyz", replace_all(xyz, "CH2 7 7.5\t-7", "CH2 7 7.5"),
         "PATH:10: expected 'name x y z', found 'CH2 7 7.5'"},
        {"not finite", "a.xyz", replace_all(xyz, "-9", "nan"),
         "PATH:12: the z coordinate 'nan' is not a finite number"},
        {"fewer atoms than the count", "a.xyz", xyz.substr(0, xyz.rfind("CH3")),
         "PATH:12: the file ends after 9 of the 10 atoms of its count line"},
        {"a second frame", "a.xyz", xyz + "\n" + xyz,
         "PATH:14: more lines follow the 10 atoms of the count line (one frame is read)"},
        {"not UTF-8", "a.xyz", replace_all(xyz, "CH3 9", "CH3\xff 9"),
         "PATH:12: the text is not UTF-8"},
        {"lattice tilted", "a.xyz", xyz_text("lattice=\"30 1 0 0 30 0 0 0 30\""),
         "PATH:2: the Lattice is not a cube along the axes: '30 1 0 0 30 0 0 0 30'"},
        {"lattice short", "a.xyz", xyz_text("Lattice=\"30 30 30\""),
         "PATH:2: Lattice needs nine numbers, found '30 30 30'"},
        {"properties without pos", "a.xyz", xyz_text("Properties=species:S:1"),
         "PATH:2: Properties has no pos:R:3 entry: 'species:S:1'"},
        {"unknown format", "a.gro", "",
         "PATH: unknown coordinate format (expected .xyz, .extxyz, .pdb, .data, .lmp or .json)"},
        {"short record", "a.pdb", replace_all(pdb, record, record.substr(0, 53) + "\n"),
         "PATH:4: the atom record is shorter than 54 columns"},
        {"blank coordinate", "a.pdb",
         replace_all(pdb, record, record.substr(0, 38) + "        " + record.substr(46)),
         "PATH:4: the y coordinate '' is not a finite number"},
        {"fewer records", "a.pdb", replace_all(pdb, record, ""),
         "PATH has 9 atoms but the species and counts need 10"},
        {"cell not a cube", "a.pdb", replace_all(pdb, "90.00\n", "91.00\n"),
         "PATH:1: the CRYST1 cell is not a cube: 'CRYST1   30.000   30.000   30.000  90.00  90.00  "
         "91.00'"},
        {"cell edge not a number", "a.pdb", replace_all(pdb, "CRYST1   30.000", "CRYST1      abc"),
         "PATH:1: the CRYST1 a 'abc' is not a finite number"},
        {"empty", "a.data", "", "PATH:1: the file is empty"},
        {"no atoms section", "a.data", data.substr(0, data.find("Atoms")),
         "PATH:16: the file has no Atoms section"},
        {"count differs", "a.data", replace_all(data, "10 atoms", "11 atoms"),
         "PATH has 11 atoms but the species and counts need 10"},
        {"bad count", "a.data", replace_all(data, "10 atoms", "1O atoms"),
         "PATH:3: expected '<count> atoms', found '1O atoms'"},
        {"no count", "a.data", replace_all(data, "10 atoms", ""),
         "PATH:16: the header gives no atom count before this section"},
        {"not a cube", "a.data", replace_all(data, "0.0 25.000000 ylo", "0.0 26 ylo"),
         "PATH:13: the box is not a cube: its edges are 25, 26 and 25"},
        {"tilted", "a.data", replace_all(data, "zlo zhi\n", "zlo zhi\n0 0.5 0 xy xz yz\n"),
         "PATH:15: the box is tilted; only a cubic box is read"},
        {"untilted", "a.data", replace_all(data, "zlo zhi\n", "zlo zhi\n0 0 0 xy xz yz\n"),
         "<success>"},
        {"another style", "a.data", replace_all(data, "\nAtoms\n", "\nAtoms # atomic\n"),
         "PATH:16: the atoms are in the 'atomic' style; only the full style is read"},
        {"columns of another style", "a.data", replace_all(data, atom3, "3 1 0 0 0"),
         "PATH:20: expected 'atom-ID molecule-ID atom-type q x y z' and optionally the image "
         "flags, found '3 1 0 0 0'"},
        {"ID out of range", "a.data",
         replace_all(data, "      3       1    2", "     11       1    2"),
         "PATH:20: atom ID '11' is not one of 1 to 10"},
        {"ID twice", "a.data", replace_all(data, "      3       1    2", "      2       1    2"),
         "PATH:20: atom ID 2 appears twice"},
        {"bad image flag", "a.data",
         replace_all(data, atom3, atom3.substr(0, 73) + " 0 0.5 0  # H water"),
         "PATH:20: the image flag '0.5' is not an integer"},
        {"section ends early", "a.data", replace_all(data, atom3 + "\n", "Velocities\n"),
         "PATH:20: the Atoms section ends after 2 of the 10 atoms of the header"},
        {"file ends early", "a.data", data.substr(0, data.find(atom3)),
         "PATH:20: the file ends after 2 of the 10 atoms of the header"},
        {"no ID", "a.data", replace_all(vel, id3, id3.substr(2)),
         "PATH:61: expected 'atom-ID vx vy vz', found '" + id3.substr(2) + "'"},
        {"an atom missing", "a.data", replace_all(vel, id3 + "\n", ""),
         "PATH:70: the Velocities section ends after 9 of the 10 atoms of the header"},
        {"one line more", "a.data", replace_all(vel, "\n\nBonds", "\n11 0 0 0\n\nBonds"),
         "PATH:70: the Velocities section has more lines than the 10 atoms of the header"},
        {"a second section", "a.data", vel + "\nVelocities\n",
         "PATH:92: the file has a second Velocities section"},
        {"xyz differs", "a.xyz", "10\n" + std::string(LATTICE_30) + "\n" + broken_atoms,
         "PATH:2: the file's box edge 30 differs from the box length 31.5 given", with_box(31.5)},
        {"xyz states none", "a.xyz", "10\nno lattice\n" + broken_atoms,
         "PATH states no cubic box, so the box length must be given"},
        {"pdb differs", "a.pdb", std::string("REMARK\n") + CRYST1_30 + "ATOM  \n",
         "PATH:2: the file's box edge 30 differs from the box length 30.5 given", with_box(30.5)},
        {"data file differs", "a.data",
         replace_all(data, "\nAtoms\n", "\nAtoms\n\n" + broken_atoms),
         "PATH:12: the file's box edge 25 differs from the box length 24 given", with_box(24)},
        {"agreeing lengths read", "a.xyz", xyz_text(), "<success>", with_box(30)},
    };
    expect_refusals(cases);
}

// Each format's names against the species': the first mismatch names the atom, the expected and
// the found name; with the check off the same files read.
TEST(CoordinateFile, NamesCheckedOnlyWhenAsked) {
    const std::string lammps = test::read_file(test::data_path("golden/e2e/data.lmp"));
    const Refused cases[] = {
        {"xyz in another order", "a.xyz", replace_all(xyz_text(), "CH3 6", "CH2 6"),
         "PATH:9: atom 7 is named 'CH2' but the species and counts expect 'CH3' of butane there"},
        {"pdb", "a.pdb", replace_all(pdb_text(), "HETATM    1 O   ", "HETATM    1 OW  "),
         "PATH:2: atom 1 is named 'OW' but the species and counts expect 'O' of water there"},
        {"data file comment", "a.lmp",
         replace_all(lammps, "# H water\n      4", "# O water\n      4"),
         "PATH:20: atom 3 is named 'O' but the species and counts expect 'H' of water there"},
    };
    expect_refusals(cases);
    std::vector<Refused> unchecked(std::begin(cases), std::end(cases));
    for (auto& c : unchecked) c = {c.name, c.file, c.text, "<success>", NAMES_OFF};
    expect_refusals(unchecked);
}

// The packed-structure reader and the PDB coordinate reader follow one set of line rules (the
// number grammar they share: Coordinate.AcceptsTheNumberGrammar...); only the coordinate reader
// stops at an ENDMDL. A name column holds the first four characters of the pseudo-atom name, as
// the templates cut it.
TEST(CoordinateFile, PdbLinesReadAlikeByBothReaders) {
    const Molecule one = test::make_molecule("one", {{"CH4_sp3", {0, 0, 0}}});
    const ExpectedAtoms expected = *ExpectedAtoms::of({{&one, 1}});
    const std::string record = pdb_record("CH4_", {1, 2, 3});
    const struct {
        std::string text;
        bool accepted;
    } cases[] = {
        {record, true},
        {"ATOM 1 one blank after ATOM: no record\n" + record, true},
        {"atom   lower case: no record\n" + record, true},
        {record.substr(0, 54), true},
        {record.substr(0, 53), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        test::TempDir dir;
        const auto path = dir.write("a.pdb", c.text);
        EXPECT_EQ(parse_packed_pdb(path).has_value(), c.accepted);
        EXPECT_EQ(read_pdb(path, expected, with_box(30)).has_value(), c.accepted);
    }
}

}  // namespace
}  // namespace boxwright
