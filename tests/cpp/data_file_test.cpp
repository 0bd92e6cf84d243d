#include "lammps/data_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "lammps_systems.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;

// Species with their registries, built as write_lammps_outputs builds them.
struct System : Species {
    ForceField ff = test_force_field();

    TypeRegistries registries() const {
        return {*build_atom_type_registry(active, ff), *build_bond_type_registry(active),
                *build_angle_type_registry(active), *build_dihedral_type_registry(active)};
    }
    Result<std::string> text(std::span<const Position> coordinates, double box = 30) const {
        return data_file_text(active, coordinates, registries(), ff, box);
    }
};

std::vector<std::string> lines_starting_after(const std::string& text, const std::string& title) {
    std::vector<std::string> lines;
    auto at = text.find("\n" + title + "\n\n");
    if (at == std::string::npos) return lines;
    at += title.size() + 3;
    while (at < text.size() && text[at] != '\n') {
        auto end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

TEST(DataFile, SingleAtomSpeciesWriteNoTopologyRows) {
    System s;
    s.add(argon_molecule(), argon_resolved, 2);
    const std::vector<Position> positions = {{-0.0, 0, 1.5}, {10, 9.9999999, -0.25}};
    EXPECT_EQ(
        *s.text(positions),
        "created by mixgrid\n\n"
        "2 atoms\n"
        "1 atom types\n\n"
        "0.0 30.000000 xlo xhi\n"
        "0.0 30.000000 ylo yhi\n"
        "0.0 30.000000 zlo zhi\n\n"
        "Atoms\n\n"
        "      1       1    1   0.000000   -0.000000e0    0.000000e0    1.500000e0  # Ar argon\n"
        "      2       2    1   0.000000    1.000000e1    1.000000e1  -2.500000e-1  # Ar argon\n");
}

TEST(DataFile, IdsRunOverCopiesAndCountZeroSpeciesConsumeNothing) {
    System s;
    s.add(water_molecule(), water_resolved, 2);
    s.add(argon_molecule(), argon_resolved, 0);
    s.add(
        make_molecule("co", {{"CH3", {}}, {"O", {}}}, {{0, 1}}, false),
        [](const Molecule& m) {
            ResolvedMolecule r;
            r.molecule = &m;
            r.bonds = {{{0, 1}, {{"CH3", "O"}, 300, 1.43, false}}};
            return r;
        },
        1);
    auto text = s.text(lattice_positions(8));
    ASSERT_TRUE(text) << text.error().message;

    std::vector<std::string> molecule_ids;
    for (const auto& line : lines_starting_after(*text, "Atoms"))
        molecule_ids.push_back(line.substr(8, 7));
    EXPECT_EQ(molecule_ids, (std::vector<std::string>{"      1", "      1", "      1", "      2",
                                                      "      2", "      2", "      3", "      3"}));
    const char* placeholder =
        "  # This bond shall be rigid, set SHAKE or RIGID in lammps simulation for bond ";
    EXPECT_EQ(lines_starting_after(*text, "Bonds"),
              (std::vector<std::string>{
                  std::string("      1    1       1       2  # O-H") + placeholder + "1",
                  std::string("      2    1       1       3  # O-H") + placeholder + "2",
                  std::string("      3    1       4       5  # O-H") + placeholder + "3",
                  std::string("      4    1       4       6  # O-H") + placeholder + "4",
                  "      5    2       7       8  # CH3-O"}));
    EXPECT_EQ(lines_starting_after(*text, "Angles"),
              (std::vector<std::string>{
                  "      1    1       2       1       3  # H-O-H  # This angle shall be rigid, set "
                  "SHAKE or RIGID in lammps simulation for angle 1",
                  "      2    1       5       4       6  # H-O-H  # This angle shall be rigid, set "
                  "SHAKE or RIGID in lammps simulation for angle 2"}));
    EXPECT_NE(
        text->find("\n8 atoms\n5 bonds\n2 angles\n3 atom types\n2 bond types\n1 angle types\n"),
        std::string::npos);
    EXPECT_EQ(text->find("ihedral"), std::string::npos);
    EXPECT_EQ(text->find("argon"), std::string::npos);
}

TEST(DataFile, AtomLineColumns) {
    System s;
    s.add(water_molecule(), water_resolved, 4);
    auto positions = lattice_positions(12);
    positions[11] = {1.5, -0.25, 10};
    auto atoms = lines_starting_after(*s.text(positions), "Atoms");
    ASSERT_EQ(atoms.size(), 12u);
    EXPECT_EQ(
        atoms[11],
        "     12       4    2   0.423800    1.500000e0  -2.500000e-1    1.000000e1  # H water");
}

TEST(DataFile, CoordinateCountMustMatchTheAtoms) {
    System s;
    s.add(water_molecule(), water_resolved, 2);
    s.add(make_molecule("co", {{"CH3", {}}, {"O", {}}}, {}, false), argon_resolved, 1);
    EXPECT_EQ(s.text(lattice_positions(7)).error().message,
              "internal error: expected 8 packed atom coordinates, got 7");

    const std::string path = std::string(::testing::TempDir()) + "/never-written/data.lmp";
    EXPECT_EQ(write_data_file(path, s.active, lattice_positions(7), s.registries(), s.ff, 30)
                  .error()
                  .message,
              "internal error: expected 8 packed atom coordinates, got 7");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(DataFile, TotalsBeyond64BitsAreAnErrorNotAWrap) {
    // 2^63 + 1 copies of a two-atom molecule wrap to 2 atoms, which two coordinates would match.
    const std::uint64_t wraps_to_two = (1ULL << 63) + 1;
    System product;
    product.add(make_molecule("co", {{"CH3", {}}, {"O", {}}}, {}, false), argon_resolved,
                wraps_to_two);
    EXPECT_EQ(product.text(lattice_positions(2)).error().message,
              "system too large: the total number of atoms exceeds the 64-bit range at "
              "9223372036854775809 copies of molecule 'co'");

    System sum;
    sum.add(argon_molecule(), argon_resolved, 1ULL << 63);
    sum.add(make_molecule("argon2", {{"Ar", {}}}, {}, false), argon_resolved, 1ULL << 63);
    EXPECT_EQ(sum.text(lattice_positions(0)).error().message,
              "system too large: the total number of molecules exceeds the 64-bit range at "
              "9223372036854775808 copies of molecule 'argon2'");

    System bonds;
    bonds.add(butane_molecule(), butane_resolved, (1ULL << 62) + 1);
    EXPECT_EQ(bonds.text(lattice_positions(4)).error().message,
              "system too large: the total number of atoms exceeds the 64-bit range at "
              "4611686018427387905 copies of molecule 'butane'");
}

TEST(DataFile, FileWrittenInPiecesIsTheTextBuiltWhole) {
    // Several megabytes: the file is handed over in many pieces, replacing an older one whole.
    System s;
    s.add(water_molecule(), water_resolved, 20000);
    s.add(butane_molecule(), butane_resolved, 5000);
    const auto positions = lattice_positions(80000);
    TempDir dir;
    const std::string path = dir.write("data.lmp", "an older file");
    ASSERT_TRUE(write_data_file(path, s.active, positions, s.registries(), s.ff, 30));
    EXPECT_EQ(read_file(path), *s.text(positions));
    auto entries = std::filesystem::directory_iterator(dir.path());
    EXPECT_EQ(std::distance(begin(entries), end(entries)), 1) << "a temporary file was left behind";
}

TEST(DataFile, UnwritablePathNamesTheFullPath) {
    System s;
    s.add(argon_molecule(), argon_resolved, 1);
    const std::string path = std::string(::testing::TempDir()) + "/missing-dir-for-data/data.lmp";
    EXPECT_EQ(write_data_file(path, s.active, lattice_positions(1), s.registries(), s.ff, 30)
                  .error()
                  .message,
              "writing " + path + ": No such file or directory (os error 2)");
}

}  // namespace
}  // namespace boxwright
