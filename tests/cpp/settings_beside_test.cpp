#include "pipeline/settings_beside.hpp"

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;

// The in.lmp of a run at 350 K, 5 MPa and 2 fs, as the writer has it.
std::string written_in_lmp(std::optional<double> pressure) {
    Species species;
    species.add(water_molecule(), 2);
    const ForceField ff = test_force_field();
    const auto registries = *build_type_registries(species.active, ff);
    const RunSettings run{.temperature = 350,
                          .pressure = pressure,
                          .pressure_unit = PressureUnit::MPa,
                          .timestep = 2};
    return input_script_text(
        plan_input_script(species.active, registries, ff, PairSetup::Tip4p, run, {}));
}

TEST(SettingsBeside, OnlyAFinalDataBesideAnInLmpOfOurs) {
    TempDir dir;
    dir.write("in.lmp", written_in_lmp(5));
    EXPECT_FALSE(settings_beside(dir.write("other.data", "")));
    const auto beside = settings_beside(dir.write("final.data", ""));
    ASSERT_TRUE(beside);
    EXPECT_EQ(beside->path, dir.file("in.lmp"));
    EXPECT_EQ(beside->temperature, 350);
    EXPECT_EQ(beside->timestep, 2);
    EXPECT_EQ(beside->pressure, 5);
    EXPECT_EQ(beside->pressure_unit, PressureUnit::MPa);
    dir.write("in.lmp", "units real\n" + written_in_lmp(5));  // someone else's
    EXPECT_FALSE(settings_beside(dir.file("final.data")));
}

// What the caller gave stays; the rest comes from the in.lmp, and the note says which is which.
TEST(SettingsBeside, TheCallersSettingsWinAndTheNoteSaysWhereEachCameFrom) {
    TempDir dir;
    dir.write("in.lmp", written_in_lmp(std::nullopt));  // NVT
    const auto beside = *settings_beside(dir.write("final.data", ""));
    const struct {
        const char* name;
        GivenRunSettings given;
        RunSettings expected;
        std::string note;
    } cases[] = {
        {"nothing given",
         {false, false, false},
         {.temperature = 350, .pressure = std::nullopt, .timestep = 2},
         ": taken temperature 350 K, pressure none (NVT), timestep 2 fs"},
        {"the temperature given",
         {true, false, false},
         {.pressure = std::nullopt, .timestep = 2},
         ": taken pressure none (NVT), timestep 2 fs; as given temperature 298.15 K"},
        {"everything given",
         {},
         {},
         "; as given temperature 298.15 K, pressure 1 atm, timestep 1 fs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunSettings run;
        const std::string note = take_settings_beside(run, c.given, beside);
        EXPECT_EQ(note, "run settings beside the coordinates, in " + beside.path + c.note);
        EXPECT_EQ(run.temperature, c.expected.temperature);
        EXPECT_EQ(run.pressure, c.expected.pressure);
        EXPECT_EQ(run.timestep, c.expected.timestep);
    }
}

}  // namespace
}  // namespace boxwright
