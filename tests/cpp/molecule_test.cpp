#include "ff/molecule.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.hpp"

namespace boxwright {
namespace {

using test::error_of;

// Unknown keys are skipped (a "name" among them) and kept for the report, but not the documented
// "source"; pairs keep their order and orientation; potentials and parameter counts wait for
// resolution.
TEST(MoleculeLoad, KeepsEverythingAsWrittenAndTakesTheNameFromTheFile) {
    auto molecule = Molecule::load(test::data_path("mol/h2o-like.json"));
    ASSERT_TRUE(molecule) << molecule.error().message;
    EXPECT_EQ(molecule->name, "h2o-like");
    EXPECT_EQ(molecule->connectivity, (std::vector<Bond>{{2, 0}, {0, 1}}));
    ASSERT_EQ(molecule->bonds.size(), 2u);
    EXPECT_EQ(molecule->bonds[0].names, (std::array<std::string, 2>{"H", "O"}));
    EXPECT_EQ(molecule->bonds[1].potential, "MORSE");
    EXPECT_EQ(molecule->bonds[1].parameters, (std::vector<double>{1, 2, 3}));
    EXPECT_TRUE(molecule->rigid);
    EXPECT_EQ(molecule->unknown_keys, (std::vector<UnknownKey>{{"name", "top level", 2, {}},
                                                               {"comment", "top level", 3, {}}}));
}

class MoleculeFile : public ::testing::Test {
  protected:
    Result<Molecule> load(std::string_view json) {
        return Molecule::load(dir.write("m.json", json));
    }
    test::TempDir dir;
    const std::string path = dir.file("m.json");
};

TEST_F(MoleculeFile, RigidOnlyForTheWordRigidInAnyCase) {
    const std::pair<const char*, bool> cases[] = {
        {R"("Rigid")", true}, {R"("")", false}, {R"("rigid ")", false}, {"null", false}};
    for (const auto& [type, rigid] : cases) {
        auto molecule =
            load(fmt::format(R"({{"Type": {}, "pseudoAtoms": [["Ar", [0, 0, 0]]]}})", type));
        ASSERT_TRUE(molecule) << molecule.error().message;
        EXPECT_EQ(molecule->rigid, rigid) << type;
    }
}

// {} stands for the file's path; "<success>" for a file that loads.
TEST_F(MoleculeFile, ChecksShapeAtomsAndConnectivity) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"pseudoAtoms": [["Ar", [0, 0, 0]]], "Connectivity": [[0, 0]]})", "<success>"},
        // The JSON reader's words for the molecule's own shapes (the force field's tests hold the
        // rest).
        {R"({"Connectivity": []})", "parsing {}: missing field `pseudoAtoms` at line 1 column 20"},
        {R"({"pseudoAtoms": [["C", [0, 0]]]})",
         "parsing {}: invalid length 2, expected an array of length 3 at line 1 column 29"},
        {R"({"pseudoAtoms": [["C", [0, 0, 0]], ["C", [1, 0, 0]]], "Connectivity": [[0, -1]]})",
         "parsing {}: invalid value: integer `-1`, expected usize at line 1 column 77"},
        {R"({"pseudoAtoms": [["C", [0, 0, 0]], ["C", [1, 0, 0]]], "Connectivity": [[0, 1.0]]})",
         "parsing {}: invalid type: floating point `1.0`, expected usize at line 1 column 78"},
        {R"({"pseudoAtoms": [], "Connectivity": [[0, 18446744073709551616]]})",
         "parsing {}: invalid value: integer `18446744073709551616`, expected usize at line 1 "
         "column 61"},
        {R"({"pseudoAtoms": [], "Torsions": [[["C", "C", "C"], "TRAPPE", []]]})",
         "parsing {}: invalid length 3, expected a tuple of size 4 at line 1 column 49"},
        {R"([null, [["Ar", [1, 2, 3]]], [], [], [], []])", "<success>"},
        // MSite is read by its key only; the array form keeps its six elements.
        {R"([null, [["Ar", [1, 2, 3]]], [], [], [], [], 0.15])",
         "parsing {}: trailing characters at line 1 column 48"},
        {R"({"pseudoAtoms": [["Ar", [0, 0, 0]]], "MSite": 0.125})", "<success>"},
        {R"({"pseudoAtoms": [["Ar", [0, 0, 0]]], "MSite": -0.1})",
         "{} MSite must be a positive distance in \u00c5, got -0.1"},
        {R"({"pseudoAtoms": [], "Connectivity": [[0, 1]]})", "{} defines no pseudoAtoms"},
        {R"({"pseudoAtoms": [["C", [0, 0, 0]], ["C", [1, 0, 0]], ["C", [2, 0, 0]]], "Connectivity": []})",
         "{} has 3 pseudoAtoms but no Connectivity; multi-atom molecules must declare which atoms "
         "are bonded (auto-bonding by index order is not used because it is wrong for branched "
         "molecules, e.g. water)"},
        {R"({"pseudoAtoms": [["C", [0, 0, 0]], ["C", [1, 0, 0]], ["C", [2, 0, 0]]], "Connectivity": [[0, 1], [1, 3], [5, 0]]})",
         "{} Connectivity references atom index out of range (1, 3) for 3 pseudoAtoms"},
        {R"({"pseudoAtoms": [["Ar", [0, 0, 0]]], "Connectivity": [[0, 18446744073709551615]]})",
         "{} Connectivity references atom index out of range (0, 18446744073709551615) for 1 "
         "pseudoAtoms"},
        {R"({"pseudoAtoms": [["C", [0, 0, 0]], ["C", [1, 0, 0]], ["C", [2, 0, 0]]], "Connectivity": [[0, 1], [1, 2], [0, 1]]})",
         "{} Connectivity lists the bond (0, 1) more than once"},
        {R"({"pseudoAtoms": [["C", [0, 0, 0]], ["C", [1, 0, 0]], ["C", [2, 0, 0]]], "Connectivity": [[0, 1], [1, 2], [2, 1]]})",
         "{} Connectivity lists the bond (2, 1) more than once"},
        {R"({"pseudoAtoms": [["C", [0, 0, 0]], ["Z\nshell touch PWNED\n#", [1, 0, 0]]], "Connectivity": [[0, 9]]})",
         R"(pseudo-atom name "Z\nshell touch PWNED\n#" in {} contains a control character)"},
    };
    for (const auto& [json, message] : cases) {
        SCOPED_TRACE(json);
        EXPECT_EQ(error_of(load(json)), fmt::format(fmt::runtime(message), path));
    }
}

// Trailing separators and "." components do not count; without a usable name: "molecule".
TEST(SpeciesName, IsTheFileNameWithoutItsLastExtension) {
    const std::pair<std::string, const char*> cases[] = {
        {"water.json", "water"},         {"/abs/mol/a.b.json", "a.b"}, {"mol/..json", "."},
        {"mol/water.json//./", "water"}, {"mol/..", "molecule"},       {"", "molecule"},
        {"mol/\xFF.json", "molecule"},
    };
    for (const auto& [path, name] : cases) EXPECT_EQ(species_name_from_path(path), name) << path;
}

// The molecule's atoms are just enough for its bonds; only their number and the bonds matter.
TEST(DerivedTopology, AnglesAndDihedralsFollowTheBondsAsListed) {
    const struct {
        const char* name;
        std::vector<Bond> bonds;
        std::vector<AngleTriple> angles;
        std::vector<DihedralQuad> dihedrals;
    } cases[] = {
        {"chain", {{0, 1}, {1, 2}, {2, 3}}, {{0, 1, 2}, {1, 2, 3}}, {{0, 1, 2, 3}}},
        {"reversed middle bond", {{0, 1}, {2, 1}, {2, 3}}, {{0, 1, 2}, {1, 2, 3}}, {{3, 2, 1, 0}}},
        {"ends in bond order", {{1, 2}, {1, 0}}, {{2, 1, 0}}, {}},
        {"three neighbours", {{0, 1}, {0, 2}, {0, 3}}, {{1, 0, 2}, {1, 0, 3}, {2, 0, 3}}, {}},
        {"three-membered ring", {{0, 1}, {1, 2}, {2, 0}}, {{1, 0, 2}, {0, 1, 2}, {1, 2, 0}}, {}},
        {"four-membered ring",
         {{0, 1}, {1, 2}, {2, 3}, {3, 0}},
         {{1, 0, 3}, {0, 1, 2}, {1, 2, 3}, {2, 3, 0}},
         {{3, 0, 1, 2}, {0, 1, 2, 3}, {1, 2, 3, 0}, {2, 3, 0, 1}}},
        {"self bond", {{0, 0}}, {{0, 0, 0}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Molecule molecule;
        AtomIndex atoms = 0;
        for (const auto& bond : c.bonds) atoms = std::max({atoms, bond[0] + 1, bond[1] + 1});
        molecule.pseudo_atoms.assign(atoms, PseudoAtom{"X", {0, 0, 0}});
        molecule.connectivity = c.bonds;
        EXPECT_EQ(molecule.derived_angles(), c.angles);
        EXPECT_EQ(molecule.derived_dihedrals(), c.dihedrals);
        EXPECT_EQ(molecule.derived_dihedrals(), c.dihedrals);  // nothing cached or consumed
    }
}

}  // namespace
}  // namespace boxwright
