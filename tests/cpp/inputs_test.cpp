#include "pipeline/inputs.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "lammps/resolved.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using test::error_of;

class LoadMolecules : public ::testing::Test {
  protected:
    Result<LoadedSpecies> load(const std::vector<std::string>& species,
                               const std::vector<std::uint64_t>& counts) {
        return load_molecules(force_field, species, counts);
    }
    std::string molecule(std::string_view relative,
                         std::string_view json = R"({"pseudoAtoms": [["X", [0, 0, 0]]]})") {
        return dir.write(relative, json);
    }

    test::TempDir dir;
    std::string force_field = test::data_path("e2e/force_field.json");
};

TEST_F(LoadMolecules, ChecksTheRequestBeforeReadingAnything) {
    force_field = dir.file("absent.json");
    EXPECT_EQ(error_of(load({}, {})), "at least one --species is required");
    EXPECT_EQ(error_of(load({"a.json", "b.json"}, {1, 2, 3})),
              "--species has 2 entries but --counts has 3 (they must match 1:1)");
}

// The first bad file ends the load with its own message, placed in that file; a count-0 species
// must load too.
TEST_F(LoadMolecules, PassesFileErrorsOnUnchanged) {
    auto good = molecule("good.json");
    auto bad = molecule("bad.json", R"({"pseudoAtoms": []})");
    const auto failed = load({good, bad, molecule("worse.json", "{")}, {1, 1, 1});
    ASSERT_EQ(error_of(failed), bad + " defines no pseudoAtoms");
    EXPECT_EQ(failed.error().file, bad);
    EXPECT_EQ(error_of(load({good, dir.file("missing.json")}, {1, 0})),
              "reading " + dir.file("missing.json") + ": No such file or directory (os error 2)");
    force_field = dir.write("broken_ff.json", R"({"MixingRule": "LB", "PseudoAtoms": []})");
    EXPECT_EQ(error_of(load({good}, {1})), error_of(ForceField::load(force_field)));
}

TEST_F(LoadMolecules, SpeciesNamesMustBeUniqueByExactFileStem) {
    auto first = molecule("one/water.json");
    for (const auto& second : {molecule("two/water.json"), molecule("one/water.mol")}) {
        const auto loaded = load({first, second}, {1, 1});
        ASSERT_EQ(error_of(loaded), "duplicate species name 'water' (from " + second +
                                        "); file stems must be unique");
        EXPECT_EQ(loaded.error().file, second);
    }
    EXPECT_TRUE(load({first, molecule("two/Water.json")}, {1, 1}));
}

TEST_F(LoadMolecules, SkippedAreTheCountZeroSpeciesInOrder) {
    std::vector<std::string> paths;
    for (const char* name : {"a.json", "b.json", "c.json", "d.json"})
        paths.push_back(molecule(name));
    auto loaded = load(paths, {2, 0, 5, 0});
    ASSERT_TRUE(loaded) << loaded.error().message;
    EXPECT_EQ(loaded->molecules.size(), 4u);
    EXPECT_EQ(loaded->skipped, (std::vector<std::string>{"b", "d"}));
}

// A model's force-field entries come after the given file's: a pseudo atom both declare is one
// type when the numbers agree (to 1 part in 10^4), and a disagreement names both files. Models
// alone take the longest cutoff of theirs.
TEST_F(LoadMolecules, ModelForceFieldsMergeAfterTheGivenFile) {
    const auto ff_with = [&](std::string_view name, std::string_view x_charge, double cutoff) {
        return dir.write(name, fmt::format(R"({{"MixingRule": "Lorentz-Berthelot",
            "CutOffVDW": {}, "PseudoAtoms": [{{"name": "X", "mass": 12, "charge": {}}},
            {{"name": "{}", "mass": 1, "charge": 0}}]}})",
                                           cutoff, x_charge, name.substr(0, 2)));
    };
    const auto own = ff_with("o1.json", "0.5", 10);
    const auto agreeing = ff_with("m1.json", "0.50004", 14);
    const auto other = ff_with("m2.json", "0.6", 9);
    const auto shorter = ff_with("m3.json", "0.5", 9);
    const auto species = std::vector<std::string>{molecule("x.json")};
    const auto load_with = [&](const std::string& own_path, std::vector<std::string> models) {
        return load_molecules(own_path, species, std::vector<std::uint64_t>{1}, models);
    };

    auto merged = load_with(own, {agreeing});
    ASSERT_TRUE(merged) << merged.error().message;
    EXPECT_EQ(merged->force_field.pseudo_atom("X")->charge, 0.5);
    EXPECT_EQ(merged->force_field.cutoff_vdw, 10);
    auto alone = load_with("", {shorter, agreeing});
    ASSERT_TRUE(alone) << alone.error().message;
    EXPECT_EQ(alone->force_field.cutoff_vdw, 14);
    EXPECT_EQ(alone->force_field_file, shorter);

    const auto clash = load_with(own, {agreeing, other});
    EXPECT_EQ(error_of(clash),
              "pseudo atom 'X' has other numbers in " + other +
                  " (mass 12, charge 0.6, epsilon 0 K, sigma 0 \u00c5) than in " + own +
                  " (mass 12, charge 0.5, epsilon 0 K, sigma 0 \u00c5): a name is one type, so "
                  "rename it in one file or make them agree");
    EXPECT_EQ(error_of(load_with("", {})),
              "no force field: give a force-field file, or name a bundled model as a species");
}

// The bundled examples load as one mixture, every parameter cited, every molecule neutral; the
// reference positions agree with the declared bond lengths and angles (measured by resolving a
// rigid copy without entries), and the rigid ones with their literature geometry.
TEST(Examples, LoadAsOneMixtureWithConsistentGeometry) {
    std::vector<std::string> paths;
    for (const char* name : {"water", "co2", "methane", "ethane", "propane", "butane"})
        paths.push_back(test::example_path(std::string(name) + ".json"));
    auto loaded = load_molecules(test::example_path("force_field.json"), paths,
                                 std::vector<std::uint64_t>(paths.size(), 1));
    ASSERT_TRUE(loaded) << loaded.error().message;
    std::vector<ResolvedMolecule> geometry;
    for (const auto& molecule : loaded->molecules) {
        SCOPED_TRACE(molecule.name);
        double charge = 0;
        for (const auto& atom : molecule.pseudo_atoms) {
            EXPECT_FALSE(loaded->force_field.pseudo_atom(atom.name)->sources.empty());
            charge += loaded->force_field.pseudo_atom(atom.name)->charge;
        }
        EXPECT_NEAR(charge, 0, 1e-12);
        auto measured = molecule;
        measured.rigid = true;
        measured.bonds.clear();
        measured.bends.clear();
        auto declared = resolve_molecule(molecule);
        geometry.push_back(*resolve_molecule(measured));
        for (std::size_t i = 0; i < declared->bonds.size(); ++i)
            EXPECT_NEAR(geometry.back().bonds[i].record.r0, declared->bonds[i].record.r0, 1e-6);
        for (std::size_t i = 0; i < declared->angles.size(); ++i)
            EXPECT_NEAR(geometry.back().angles[i].record.angle0, declared->angles[i].record.angle0,
                        1e-5);
    }
    EXPECT_TRUE(loaded->molecules[0].rigid && loaded->molecules[1].rigid);
    EXPECT_NEAR(geometry[0].bonds[1].record.r0, 0.9572, 1e-6);  // TIP4P/2005 water
    EXPECT_NEAR(geometry[0].angles[0].record.angle0, 104.52, 1e-5);
    EXPECT_NEAR(geometry[1].bonds[1].record.r0, 1.16, 1e-6);  // TraPPE CO2, linear
    EXPECT_NEAR(geometry[1].angles[0].record.angle0, 180, 1e-5);
    // Water first numbers O as type 1 and H as type 2, as the TIP4P pair style expects.
    const auto& water = loaded->molecules[0].pseudo_atoms;
    EXPECT_TRUE(water[0].name != water[1].name && water[1].name == water[2].name);
}

}  // namespace
}  // namespace boxwright
