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

// Frame k of a trajectory has atom i at position_of(i) moved by k along every axis.
Position moved(std::size_t i, int k) {
    const auto [x, y, z] = position_of(i);
    return {x + k, y + k, z + k};
}

std::vector<Position> frame_positions(int k) {
    std::vector<Position> positions;
    for (std::size_t i = 0; i < 10; ++i) positions.push_back(moved(i, k));
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
        {"pdb, CRYST1 cube, one model", "a.pdb",
         pdb_text("REMARK made by hand\nCRYST1   30.000   30.000   30.000  90.00  90.00  90.00 P "
                  "1\nMODEL 1\n",
                  "ENDMDL\nCONECT    1    2\nEND\n"),
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
        EXPECT_EQ(read->positions, frame_positions(0));
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
        {"not a second frame", "a.xyz", xyz + "\n" + "three waters\n",
         "PATH:14: expected the atom count, found 'three waters'"},
        {"not UTF-8", "a.xyz", replace_all(xyz, "CH3 9", "CH3\xff 9"),
         "PATH:12: the text is not UTF-8"},
        {"lattice tilted", "a.xyz", xyz_text("lattice=\"30 1 0 0 30 0 0 0 30\""),
         "PATH:2: the Lattice is not a cube along the axes: '30 1 0 0 30 0 0 0 30'"},
        {"lattice short", "a.xyz", xyz_text("Lattice=\"30 30 30\""),
         "PATH:2: Lattice needs nine numbers, found '30 30 30'"},
        {"properties without pos", "a.xyz", xyz_text("Properties=species:S:1"),
         "PATH:2: Properties has no pos:R:3 entry: 'species:S:1'"},
        {"unknown format", "a.txt", "",
         "PATH: unknown coordinate format (expected .xyz, .extxyz, .pdb, .data, .lmp, .dump, "
         ".lammpstrj, .gro or .json)"},
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
// reads a file by its models. A name column holds the first four characters of the pseudo-atom
// name, as the templates cut it.
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

// --- files of several frames, dumps and .gro files ---------------------------------------------

std::string xyz_frame(int k) {
    std::string text = fmt::format("10\nframe {} {}\n", k, LATTICE_30);
    for (std::size_t i = 0; i < 10; ++i) {
        const auto [x, y, z] = moved(i, k);
        text += fmt::format("{} {} {} {}\n", NAMES[i], x, y, z);
    }
    return text;
}

std::string pdb_model(int k) {
    std::string text = fmt::format("MODEL     {:>4}\n", k);
    for (std::size_t i = 0; i < 10; ++i) text += pdb_record(NAMES[i], moved(i, k));
    return text + "ENDMDL\n";
}

// Atom types as a build numbers them: O 1, H 2, CH3 3, CH2 4.
std::uint64_t type_of(const std::string& name) {
    return name == "O" ? 1 : name == "H" ? 2 : name == "CH3" ? 3 : 4;
}

// A dump frame with the atoms in reverse order of their ids, each line written by `atom` after the
// id and type (the ATOMS line's columns after "id type" are `columns`).
template <class AtomText>
std::string dump_frame(int k, std::string_view columns, AtomText atom,
                       std::string_view bounds = "pp pp pp\n0 30\n0 30\n0 30\n") {
    std::string text = fmt::format(
        "ITEM: TIMESTEP\n{}\nITEM: NUMBER OF ATOMS\n10\nITEM: BOX BOUNDS {}ITEM: ATOMS id type "
        "{}\n",
        k * 100, bounds, columns);
    for (std::size_t i = 10; i-- > 0;) {
        text += fmt::format("{} {} {}\n", i + 1, type_of(NAMES[i]), atom(i, k));
    }
    return text;
}

std::string xyz_columns(std::size_t i, int k) {
    const auto [x, y, z] = moved(i, k);
    return fmt::format("{} {} {}", x, y, z);
}

std::string dump_frame(int k) { return dump_frame(k, "x y z", xyz_columns); }

std::string gro_atom(std::size_t i, Position p, std::string_view velocity = "") {
    return fmt::format("{:>5}{:<5}{:>5}{:>5}{:8.3f}{:8.3f}{:8.3f}{}\n", i / 3 + 1, "MOL", NAMES[i],
                       i + 1, p[0] / 10, p[1] / 10, p[2] / 10, velocity);
}

std::string gro_frame(int k, std::string_view box = "   3.00000   3.00000   3.00000\n") {
    std::string text = fmt::format("frame {}, t= {}.0\n   10\n", k, k);
    for (std::size_t i = 0; i < 10; ++i) text += gro_atom(i, moved(i, k));
    return text + std::string(box);
}

template <class Frame>
std::string frames(Frame frame, int count, std::string_view between = "") {
    std::string text;
    for (int k = 1; k <= count; ++k) text += frame(k) + std::string(k < count ? between : "");
    return text;
}

void expect_near(const std::vector<Position>& actual, const std::vector<Position>& expected,
                 double tolerance = 1e-9) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        for (std::size_t axis = 0; axis < 3; ++axis) {
            EXPECT_NEAR(actual[i][axis], expected[i][axis], tolerance) << "atom " << i + 1;
        }
    }
}

CoordinateReadOptions frame_option(std::optional<std::int64_t> frame) {
    CoordinateReadOptions options;
    options.frame = frame;
    options.atom_type = type_of;
    return options;
}

// Each format of several frames reads the one asked for, counted from either end, and says
// which of how many; a file of one frame says nothing of frames.
TEST(CoordinateFile, ReadsTheFrameAskedFor) {
    const System system;
    const struct {
        const char* file;
        std::string three, one;
    } formats[] = {
        {"a.xyz", frames(xyz_frame, 3, "\n"), xyz_frame(1) + "\n\n"},
        {"a.pdb", CRYST1_30 + frames(pdb_model, 3) + "END\n", CRYST1_30 + pdb_model(1)},
        {"a.dump", frames([](int k) { return dump_frame(k); }, 3), dump_frame(1)},
        {"a.lammpstrj", frames([](int k) { return dump_frame(k); }, 3), dump_frame(1)},
        {"a.gro", frames([](int k) { return gro_frame(k); }, 3), gro_frame(1)},
    };
    const struct {
        std::optional<std::int64_t> choice;
        int read;
    } choices[] = {{std::nullopt, 3}, {1, 1}, {2, 2}, {3, 3}, {-1, 3}, {-2, 2}, {-3, 1}};
    for (const auto& format : formats) {
        test::TempDir dir;
        const std::string three = dir.write(format.file, format.three);
        for (const auto& choice : choices) {
            SCOPED_TRACE(fmt::format("{} frame {}", format.file, choice.choice.value_or(0)));
            const auto read =
                read_coordinate_file(three, system.expected, frame_option(choice.choice));
            ASSERT_TRUE(read) << read.error().message;
            expect_near(read->positions, frame_positions(choice.read));
            EXPECT_EQ(read->box_length, 30);
            ASSERT_TRUE(read->frame);
            EXPECT_EQ(read->frame->number, static_cast<std::uint64_t>(choice.read));
            EXPECT_EQ(read->frame->count, 3u);
        }
        SCOPED_TRACE(format.file);
        const auto one = read_coordinate_file(dir.write(format.file, format.one), system.expected,
                                              frame_option(-1));
        ASSERT_TRUE(one) << one.error().message;
        expect_near(one->positions, frame_positions(1));
        EXPECT_FALSE(one->frame);
    }
}

// A dump tells its frame's timestep, and a .gro file's velocities come in Å/fs.
TEST(CoordinateFile, DumpFrameLabelAndGroVelocities) {
    const System system;
    test::TempDir dir;
    const auto dump = read_coordinate_file(
        dir.write("a.dump", frames([](int k) { return dump_frame(k); }, 2)), system.expected, {});
    ASSERT_TRUE(dump) << dump.error().message;
    EXPECT_EQ(dump->frame->label, "timestep 200");
    std::string gro = "water\n   10\n";
    for (std::size_t i = 0; i < 10; ++i)
        gro += gro_atom(i, moved(i, 0), "  0.1000 -0.2000  1.5000");
    gro += "3 3 3 0 0 0 0 0 0\n";
    const auto read = read_coordinate_file(dir.write("a.gro", gro), system.expected, {});
    ASSERT_TRUE(read) << read.error().message;
    // Written with two more decimals, the fields are two characters wider.
    std::string precise = "water\n   10\n";
    for (std::size_t i = 0; i < 10; ++i) {
        const auto p = moved(i, 0);
        precise += fmt::format("{:>5}{:<5}{:>5}{:>5}{:10.5f}{:10.5f}{:10.5f}\n", i / 3 + 1, "MOL",
                               NAMES[i], i + 1, p[0] / 10, p[1] / 10, p[2] / 10);
    }
    const auto wide =
        read_coordinate_file(dir.write("b.gro", precise + "3 3 3\n"), system.expected, {});
    ASSERT_TRUE(wide) << wide.error().message;
    expect_near(wide->positions, frame_positions(0));
    ASSERT_TRUE(read->velocities);
    expect_near(*read->velocities, std::vector<Velocity>(10, {0.001, -0.002, 0.015}), 1e-15);
}

// The ways a dump gives positions: wrapped with image flags, unwrapped, and scaled, with or without
// image flags; all land at the same unwrapped positions, the box's lower corner at the origin.
// Velocities come as they are.
TEST(CoordinateFile, DumpPositionColumns) {
    const System system;
    const double low = -5, edge = 30;
    // Atom i of frame 1 lies at moved(i, 1), outside the box [0, 30) for some axes: wrapped, it
    // sits at image n.
    const auto wrapped = [&](std::size_t i, int k, bool scaled) {
        std::string text, images;
        for (const double x : moved(i, k)) {
            const double n = std::floor(x / edge);
            const double inside = x - n * edge;
            text += fmt::format("{} ", scaled ? inside / edge : inside + low);
            images += fmt::format(" {}", n);
        }
        return text + images;
    };
    const auto unwrapped = [&](std::size_t i, int k, bool scaled) {
        std::string text;
        for (const double x : moved(i, k)) text += fmt::format(" {}", scaled ? x / edge : x + low);
        return text;
    };
    const auto frame_of = [&](const char* columns, bool images, bool scaled) {
        return dump_frame(
            1, columns,
            [&](std::size_t i, int k) {
                return images ? wrapped(i, k, scaled) : unwrapped(i, k, scaled);
            },
            "pp pp pp\n-5 25\n-5 25\n-5 25\n");
    };
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"x y z ix iy iz", frame_of("x y z ix iy iz", true, false)},
        {"xs ys zs ix iy iz", frame_of("xs ys zs ix iy iz", true, true)},
        {"xu yu zu", frame_of("xu yu zu", false, false)},
        {"xsu ysu zsu", frame_of("xsu ysu zsu", false, true)},
        {"triclinic with no tilt, velocities",
         dump_frame(
             1, "vx vy vz xu yu zu",
             [&](std::size_t i, int k) { return "0.5 -1 2e-3" + unwrapped(i, k, false); },
             "xy xz yz pp pp pp\n-5 25 0\n-5 25 0.0\n-5 25 0\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const auto read = read_coordinate_file(dir.write("a.dump", c.text), system.expected,
                                               frame_option(std::nullopt));
        ASSERT_TRUE(read) << read.error().message;
        expect_near(read->positions, frame_positions(1));
        EXPECT_EQ(read->velocities.has_value(), c.text.find("vx") != std::string::npos);
        if (read->velocities) {
            EXPECT_EQ(read->velocities->at(3), (Velocity{0.5, -1, 2e-3}));
        }
    }
}

// The refusals of frames, dumps and .gro files, each placed in the file and at its line.
TEST(CoordinateFile, FrameDumpAndGroRefusals) {
    const std::string xyz3 = frames(xyz_frame, 3);
    const std::string dump1 = dump_frame(1);
    const std::string dump2 = frames([](int k) { return dump_frame(k); }, 2);
    const std::string gro2 = frames([](int k) { return gro_frame(k); }, 2);
    const std::string pdb2 = CRYST1_30 + frames(pdb_model, 2);
    std::string nine_atoms = xyz_frame(4);
    nine_atoms.resize(nine_atoms.rfind("CH3"));
    const auto frame = frame_option;
    const auto no_types = [](std::optional<std::int64_t> k) {
        CoordinateReadOptions options;
        options.frame = k;
        return options;
    };
    const Refused cases[] = {
        {"frame beyond the last", "a.xyz", xyz3, "PATH has 3 frames, so frame 4 cannot be read",
         frame(4)},
        {"frame before the first", "a.xyz", xyz3, "PATH has 3 frames, so frame -4 cannot be read",
         frame(-4)},
        {"frame 0", "a.pdb", pdb2, "PATH has 2 frames, so frame 0 cannot be read", frame(0)},
        {"a data file has one frame", "a.data",
         test::read_file(test::data_path("golden/e2e/data.lmp")),
         "PATH has 1 frame, so frame 2 cannot be read", frame(2)},
        {"xyz last frame cut short", "a.xyz", xyz3.substr(0, xyz3.rfind("CH3")),
         "PATH:36: the file ends after 9 of the 10 atoms of its count line", frame(1)},
        {"xyz count of the frame read", "a.xyz", xyz3 + replace_all(nine_atoms, "10\n", "9\n"),
         "PATH: frame 4 has 9 atoms but the species and counts need 10"},
        {"pdb model short of an atom", "a.pdb",
         replace_all(pdb2, pdb_record("CH3", moved(9, 2)), ""),
         "PATH: frame 2 has 9 atoms but the species and counts need 10"},
        {"pdb name in a later model", "a.pdb",
         replace_all(pdb2, pdb_record("H", moved(1, 2)), pdb_record("O", moved(1, 2))),
         "PATH:16: atom 2 is named 'O' but the species and counts expect 'H' of water there"},
        {"dump last frame cut short", "a.dump", dump2.substr(0, dump2.size() - 12),
         "PATH:38: the file ends after 9 of the 10 atoms of NUMBER OF ATOMS", frame(1)},
        {"dump count", "a.dump", replace_all(dump1, "ATOMS\n10\n", "ATOMS\n11\n"),
         "PATH has 11 atoms but the species and counts need 10"},
        {"dump box not a cube", "a.dump", replace_all(dump1, "0 30\nITEM", "0 31\nITEM"),
         "PATH:8: the box is not a cube: its edges are 30, 30 and 31"},
        {"dump general triclinic", "a.dump",
         dump_frame(1, "x y z", xyz_columns, "abc origin pp pp pp\n0 30\n0 30\n0 30\n"),
         "PATH:5: the box is a general triclinic cell; only a cubic box is read"},
        {"dump tilted", "a.dump",
         dump_frame(1, "x y z", xyz_columns, "xy xz yz pp pp pp\n0 30 1\n0 30 0\n0 30 0\n"),
         "PATH:6: the box is tilted; only a cubic box is read"},
        {"dump box of two numbers", "a.dump", replace_all(dump1, "0 30\nITEM", "0\nITEM"),
         "PATH:8: expected 2 numbers of the box bounds, found '0'"},
        {"dump type", "a.dump", replace_all(dump1, "\n2 2 ", "\n2 1 "),
         "PATH:18: atom 2 has type 1 but the species and counts expect type 2 ('H' of water) there",
         frame(std::nullopt)},
        {"dump type unchecked without types", "a.dump", replace_all(dump1, "\n2 2 ", "\n2 1 "),
         "<success>", no_types(std::nullopt)},
        {"dump id twice", "a.dump", replace_all(dump1, "\n2 2 ", "\n3 2 "),
         "PATH:18: atom id 3 appears twice"},
        {"dump no id", "a.dump", replace_all(dump1, "ATOMS id type", "ATOMS type type"),
         "PATH:9: the ATOMS line names no id column, so the atoms have no order: 'ATOMS type type "
         "x "
         "y z'"},
        {"dump no positions", "a.dump", replace_all(dump1, "type x y z", "type x y q"),
         "PATH:9: the ATOMS line names no position columns (x y z, xu yu zu, xs ys zs or xsu ysu "
         "zsu): 'ATOMS id type x y q'"},
        {"dump short atom line", "a.dump", replace_all(dump1, "\n2 2 2 2.5 0\n", "\n2 2 2 2.5\n"),
         "PATH:18: expected the 5 columns the ATOMS line names, found '2 2 2 2.5'"},
        {"dump a line more", "a.dump", dump1 + "11 2 0 0 0\n",
         "PATH:20: expected an ITEM line to start frame 2, found '11 2 0 0 0' (has the frame "
         "before more atom lines than its NUMBER OF ATOMS?)"},
        {"dump not a dump", "a.dump", "x y z\n",
         "PATH:1: expected an ITEM line to start a frame, "
         "found 'x y z'"},
        {"gro last frame cut short", "a.gro", gro2.substr(0, gro2.rfind("    4MOL")),
         "PATH:25: the file ends after 9 of the 10 atoms of its count line", frame(1)},
        {"gro count", "a.gro", replace_all(gro_frame(1), "\n   10\n", "\n   11\n"),
         "PATH has 11 atoms but the species and counts need 10"},
        {"gro name", "a.gro", replace_all(gro_frame(1), "MOL      H    2", "MOL      O    2"),
         "PATH:4: atom 2 is named 'O' but the species and counts expect 'H' of water there"},
        {"gro box not a cube", "a.gro", gro_frame(1, "3 3 3.1\n"),
         "PATH:13: the box is not a cube: '3 3 3.1'"},
        {"gro box triclinic", "a.gro", gro_frame(1, "3 3 3 0 0 0.5 0 0 0\n"),
         "PATH:13: the box is triclinic; only a cubic box is read: '3 3 3 0 0 0.5 0 0 0'"},
        {"gro box given differs", "a.gro", gro_frame(1),
         "PATH:13: the file's box edge 30 differs from the box length 31 given", with_box(31)},
        {"gro short line", "a.gro",
         replace_all(gro_frame(1), "   0.100   0.150   0.100\n", "   0.100   0.150\n"),
         "PATH:3: the atom line is shorter than 44 columns"},
    };
    expect_refusals(cases);
}

}  // namespace
}  // namespace boxwright
