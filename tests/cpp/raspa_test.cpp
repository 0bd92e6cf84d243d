// RASPA3's input as written from a system, and its final configuration read back. The input is
// compared whole with golden files (run against the real RASPA3 by tests/python/test_raspa.py);
// the reader is checked on what a build keeps and on what it refuses.
#include <gtest/gtest.h>

#include "coords/coordinate_file.hpp"
#include "coords/raspa_restart.hpp"
#include "raspa/input_files.hpp"
#include "raspa/run.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;

Molecule four_site_water() {
    Molecule water = water_molecule();
    water.name = "water";
    water.m_site = 0.1546;
    return water;
}

TEST(RaspaInput, WritesRigidBodiesMSitesAndOneEntryPerBondedTerm) {
    const Molecule water = four_site_water();
    Molecule butane = butane_molecule();
    butane.fixed_bonds = {{"CH2", "CH2"}};
    const ForceField force_field = test_force_field();
    const std::vector<CountedMolecule> species{{&water, 2}, {&butane, 3}};
    const RaspaConditions conditions{.box_length = 20,
                                     .temperature = 300,
                                     .pressure_pa = 101325,
                                     .init_cycles = 10,
                                     .cycles = 20,
                                     .seed = 7,
                                     .cutoff_vdw = 9,
                                     .cutoff_coulomb = 8,
                                     .print_every = 2};
    const auto files = raspa_input_files(species, force_field, conditions);
    ASSERT_TRUE(files) << files.error().message;
    ASSERT_EQ(files->size(), 4u);
    for (const auto& file : *files) {
        SCOPED_TRACE(file.name);
        expect_golden("raspa/" + file.name, file.text);
    }
}

TEST(RaspaInput, RefusesAnOxygenThatIsAlsoAnotherSpeciesCharge) {
    const Molecule water = four_site_water();
    const Molecule hydroxide =
        make_molecule("hydroxide", {{"O", {0, 0, 0}}, {"H", {1, 0, 0}}}, {{0, 1}}, true);
    const std::vector<CountedMolecule> species{{&water, 1}, {&hydroxide, 1}};
    EXPECT_EQ(error_of(raspa_input_files(species, test_force_field(), {.box_length = 20})),
              "RASPA3 input: pseudo atom 'O' is a four-site water's oxygen and a charged atom of "
              "'hydroxide' too; give the water an oxygen of its own");
}

const char* const BOX = R"("SimulationBox": {"angle-alpha": 90.0, "angle-beta": 90.0,
    "angle-gamma": 90.0, "length-a": 10.0, "length-b": 10.0, "length-c": 10.0})";

TEST(RaspaRestart, DropsMSitesAndMovesEachMoleculeWholeIntoTheBox) {
    const TempDir dir;
    const std::string path = dir.write("restart.json", std::string("{") + BOX + R"(,
        "water": [[-0.5, 1, 1], [0.3, 1, 1], [-1.2, 1, 1], [-0.4, 1.1, 1],
                  [12, 5, 5], [12.9, 5, 5], [11.3, 5, 5], [12.1, 5, 5]],
        "argon": []})");
    const RestartComponent water{"water", 2, 3, 1};
    const RestartComponent argon{"argon", 0, 1, 0};
    const auto read = read_raspa_restart(path, std::vector{water, argon});
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(read->box_length, 10.0);
    const std::vector<Position> expected{{9.5, 1, 1}, {10.3, 1, 1}, {8.8, 1, 1},
                                         {2, 5, 5},   {2.9, 5, 5},  {1.3, 5, 5}};
    ASSERT_EQ(read->positions.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        for (std::size_t axis = 0; axis < 3; ++axis) {
            EXPECT_NEAR(read->positions[i][axis], expected[i][axis], 1e-12) << i;
        }
    }
}

TEST(RaspaRestart, IsACoordinateFileOfItsOwn) {
    const TempDir dir;
    const std::string path = dir.write("restart_298_0.s0.json", std::string("{") + BOX + R"(,
        "water": [[1, 1, 1], [1.9, 1, 1], [0.8, 1.9, 1], [1.1, 1.1, 1]]})");
    const Molecule water = four_site_water();
    const auto expected = ExpectedAtoms::of({{&water, 1}});
    ASSERT_TRUE(expected);
    const auto read = read_coordinate_file(path, *expected, {});
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(read->positions.size(), 3u);
    EXPECT_EQ(read->box_length, 10.0);
    EXPECT_EQ(error_of(read_coordinate_file(path, *expected, {.box_length = 12})),
              path + ": the file's box edge 10 differs from the box length 12 given");
}

TEST(RaspaRestart, RefusesWhatIsNotTheBuildsCubeAndAtoms) {
    const TempDir dir;
    const RestartComponent argon{"argon", 2, 1, 0};
    const std::string two = R"("argon": [[1, 1, 1], [2, 2, 2]])";
    const struct {
        const char* name;
        std::string text;
        std::string message;
    } cases[] = {
        {"a box that is not a cube",
         R"({"SimulationBox": {"angle-alpha": 90, "angle-beta": 90, "angle-gamma": 90,
             "length-a": 10, "length-b": 10, "length-c": 11}, )" +
             two + "}",
         "the box is not a cube: edges 10 x 10 x 11 \u00c5, angles 90, 90, 90 degrees"},
        {"a slanted box",
         R"({"SimulationBox": {"angle-alpha": 90, "angle-beta": 90, "angle-gamma": 60,
             "length-a": 10, "length-b": 10, "length-c": 10}, )" +
             two + "}",
         "the box is not a cube: edges 10 x 10 x 10 \u00c5, angles 90, 90, 60 degrees"},
        {"too few positions", std::string("{") + BOX + R"(, "argon": [[1, 1, 1]]})",
         "component 'argon' has 1 positions, but 2 molecules of 1 sites need 2"},
        {"a component of another build",
         std::string("{") + BOX + ", " + two + R"(, "neon": [[1, 1, 1]]})",
         "component 'neon' has 1 positions but is no species of the build"},
        {"a missing component", std::string("{") + BOX + "}", "no positions of component 'argon'"},
        {"no box", "{" + two + "}", "missing field `SimulationBox`"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.write("restart.json", c.text);
        const std::string message = error_of(read_raspa_restart(path, std::vector{argon}));
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        EXPECT_NE(message.find(path), std::string::npos) << message;
    }
}

TEST(FindRaspa3, SaysHowToInstallIt) {
    const TempDir empty;
    const ScopedEnv path("PATH", empty.path());
    const ScopedEnv variable(RASPA3_VARIABLE, "");
    const std::string message = error_of(find_raspa3(std::nullopt));
    EXPECT_EQ(message.rfind("RASPA3 was not found: no raspa3 on PATH; install it, or give its "
                            "path (raspa3=..., --raspa3 PATH, or the environment variable "
                            "BOXWRIGHT_RASPA3); RASPA3 publishes release packages",
                            0),
              0u)
        << message;
    const std::string program = empty.write("raspa3", "not a program");
    EXPECT_NE(error_of(find_raspa3(program)).find("was not found or is not executable"),
              std::string::npos);
}

}  // namespace
}  // namespace boxwright
