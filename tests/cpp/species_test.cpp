#include "pipeline/species.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "test_support.hpp"

namespace boxwright {
namespace {

using test::error_of;

constexpr std::string_view FORCE_FIELD =
    R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [{"name": "X", "mass": 1, "charge": 0}]})";
constexpr std::string_view ONE_ATOM = R"({"pseudoAtoms": [["X", [0, 0, 0]]]})";

class LoadMolecules : public ::testing::Test {
  protected:
    Result<LoadedSpecies> load(const std::vector<std::string>& species,
                               const std::vector<std::uint64_t>& counts) {
        return load_molecules(force_field, species, counts);
    }
    std::string molecule(std::string_view relative, std::string_view json = ONE_ATOM) {
        return dir.write(relative, json);
    }

    test::TempDir dir;
    std::string force_field = dir.write("force_field.json", FORCE_FIELD);
};

TEST_F(LoadMolecules, ChecksTheRequestBeforeReadingAnything) {
    force_field = dir.file("absent.json");
    EXPECT_EQ(error_of(load({}, {})), "at least one --species is required");
    EXPECT_EQ(error_of(load({}, {1, 2})), "at least one --species is required");
    EXPECT_EQ(error_of(load({"a.json", "b.json"}, {1, 2, 3})),
              "--species has 2 entries but --counts has 3 (they must match 1:1)");
    EXPECT_EQ(error_of(load({"a.json"}, {})),
              "--species has 1 entries but --counts has 0 (they must match 1:1)");
}

TEST_F(LoadMolecules, PassesFileErrorsOnUnchanged) {
    auto good = molecule("good.json");
    auto bad = molecule("bad.json", R"({"pseudoAtoms": []})");
    auto also_bad = molecule("also_bad.json", "{");
    EXPECT_EQ(error_of(load({good, bad, also_bad}, {1, 1, 1})), error_of(Molecule::load(bad)));
    EXPECT_EQ(error_of(load({good, bad, also_bad}, {1, 1, 1})), bad + " defines no pseudoAtoms");
    // A species that takes no part still has to load.
    EXPECT_EQ(error_of(load({good, dir.file("missing.json")}, {1, 0})),
              fmt::format("reading {}: No such file or directory (os error 2)",
                          dir.file("missing.json")));

    auto broken_ff = dir.write("broken_ff.json", R"({"MixingRule": "LB", "PseudoAtoms": []})");
    EXPECT_EQ(error_of(load_molecules(broken_ff, std::vector<std::string>{good},
                                      std::vector<std::uint64_t>{1})),
              error_of(ForceField::load(broken_ff)));
}

TEST_F(LoadMolecules, SpeciesNamesMustBeUnique) {
    auto first = molecule("one/water.json");
    auto second = molecule("two/water.json");
    EXPECT_EQ(
        error_of(load({first, second}, {1, 1})),
        fmt::format("duplicate species name 'water' (from {}); file stems must be unique", second));
    auto other_extension = molecule("one/water.mol");
    EXPECT_EQ(error_of(load({first, other_extension}, {1, 1})),
              fmt::format("duplicate species name 'water' (from {}); file stems must be unique",
                          other_extension));
    // Names are compared exactly, letter case included.
    auto capital = molecule("two/Water.json");
    auto loaded = load({first, capital}, {1, 1});
    ASSERT_TRUE(loaded) << loaded.error().message;
    EXPECT_EQ(loaded->molecules.size(), 2u);
}

TEST_F(LoadMolecules, SkippedAreTheCountZeroSpeciesInOrder) {
    std::vector<std::string> paths{molecule("a.json"), molecule("b.json"), molecule("c.json"),
                                   molecule("d.json")};
    auto loaded = load(paths, {2, 0, 5, 0});
    ASSERT_TRUE(loaded) << loaded.error().message;
    ASSERT_EQ(loaded->molecules.size(), 4u);
    EXPECT_EQ(loaded->molecules[2].name, "c");
    EXPECT_EQ(loaded->skipped, (std::vector<std::string>{"b", "d"}));
    EXPECT_NE(loaded->force_field.pseudo_atom("X"), nullptr);

    auto none = load(paths, {0, 0, 0, 0});
    ASSERT_TRUE(none) << none.error().message;
    EXPECT_EQ(none->skipped, (std::vector<std::string>{"a", "b", "c", "d"}));
}

double distance(const Position& a, const Position& b) {
    return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

double angle_degrees(const Position& end1, const Position& centre, const Position& end2) {
    double dot = 0;
    for (int k = 0; k < 3; ++k) dot += (end1[k] - centre[k]) * (end2[k] - centre[k]);
    return std::acos(dot / (distance(end1, centre) * distance(end2, centre))) * 180 /
           std::numbers::pi;
}

TEST(Examples, LoadAsOneMixtureWithConsistentGeometry) {
    const std::vector<std::string> names{"water", "co2", "methane", "ethane", "propane", "butane"};
    std::vector<std::string> paths;
    for (const auto& name : names) paths.push_back(test::example_path(name + ".json"));
    auto loaded = load_molecules(test::example_path("force_field.json"), paths,
                                 std::vector<std::uint64_t>(names.size(), 1));
    ASSERT_TRUE(loaded) << loaded.error().message;
    const auto& ff = loaded->force_field;

    for (const auto& molecule : loaded->molecules) {
        SCOPED_TRACE(molecule.name);
        double charge = 0;
        for (const auto& atom : molecule.pseudo_atoms) {
            const auto* params = ff.pseudo_atom(atom.name);
            ASSERT_NE(params, nullptr) << atom.name;
            EXPECT_FALSE(params->sources.empty()) << atom.name;
            charge += params->charge;
        }
        EXPECT_NEAR(charge, 0, 1e-12);
        // Reference positions agree with the bond lengths and angles the files declare.
        const auto& atoms = molecule.pseudo_atoms;
        for (const auto& entry : molecule.bonds) {
            for (const auto& [i, j] : molecule.connectivity) {
                EXPECT_NEAR(distance(atoms[i].position, atoms[j].position), entry.parameters[1],
                            1e-6);
            }
        }
        for (const auto& [i, j, k] : molecule.derived_angles()) {
            for (const auto& entry : molecule.bends) {
                EXPECT_NEAR(angle_degrees(atoms[i].position, atoms[j].position, atoms[k].position),
                            entry.parameters[1], 1e-5);
            }
        }
    }

    // Water first gives O type 1 and H type 2, as the TIP4P pair style expects.
    const auto& water = loaded->molecules[0];
    EXPECT_TRUE(water.rigid);
    ASSERT_EQ(water.pseudo_atoms.size(), 3u);
    EXPECT_NE(water.pseudo_atoms[0].name, water.pseudo_atoms[1].name);
    EXPECT_EQ(water.pseudo_atoms[1].name, water.pseudo_atoms[2].name);
    EXPECT_NEAR(distance(water.pseudo_atoms[0].position, water.pseudo_atoms[1].position), 0.9572,
                1e-6);
    EXPECT_NEAR(angle_degrees(water.pseudo_atoms[1].position, water.pseudo_atoms[0].position,
                              water.pseudo_atoms[2].position),
                104.52, 1e-5);
    EXPECT_EQ(ff.pseudo_atom(water.pseudo_atoms[0].name)->charge, -1.1128);

    const auto& co2 = loaded->molecules[1];
    EXPECT_TRUE(co2.rigid);
    EXPECT_NEAR(angle_degrees(co2.pseudo_atoms[1].position, co2.pseudo_atoms[0].position,
                              co2.pseudo_atoms[2].position),
                180, 1e-9);
    EXPECT_EQ(loaded->molecules[5].derived_dihedrals().size(), 1u);
}

}  // namespace
}  // namespace boxwright
