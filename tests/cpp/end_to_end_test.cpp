// The whole build from given coordinates on the fixture files in tests/data/e2e (load, resolve,
// write, summary), and LAMMPS itself reading what was written.
#include <gtest/gtest.h>

#include <cstdlib>

#include "pipeline/build.hpp"
#include "pipeline/inputs.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;

// Water (rigid, placeholders only) twice, methane skipped, butane (flexible, torsions) once; the
// force field has a cross term, sources with CRLF line ends and a pseudo atom no species uses.
BuildRequest fixture_mixture(const std::string& out_dir, Placement placement) {
    return {.species = {data_path("e2e/water.json"), data_path("e2e/methane.json"),
                        data_path("e2e/butane.json")},
            .counts = {2, 0, 1},
            .force_field = data_path("e2e/force_field.json"),
            .out_dir = out_dir,
            .placement = std::move(placement),
            .pair_setup = PairSetup::LjCutCoulLong,
            .explicit_lb = true};
}

TEST(EndToEnd, LoadResolveAndWriteTheFixtureMixtureThenLammpsReadsIt) {
    TempDir dir;
    // Each copy at its reference positions, moved well inside the box.
    Species species;
    species.add(water_molecule(), 2);
    species.add(butane_molecule(), 1);
    auto positions = copy_positions(species.active);
    for (auto& p : positions) p = p + Position{2, 2, 2};
    auto report = run_build(fixture_mixture(dir.file("out"), GivenPositions{positions, 25.0}));
    ASSERT_TRUE(report) << report.error().message;
    expect_golden("e2e/data.lmp", read_file(dir.file("out/data.lmp")));
    expect_golden("e2e/forcefield.lmp", read_file(dir.file("out/forcefield.lmp")));
    expect_golden("e2e/summary.txt", replace_all(report->summary_text(), dir.path(), "OUT"));

    if (std::system("command -v lmp >/dev/null 2>&1") != 0) GTEST_SKIP() << "no lmp on PATH";
    dir.write("out/in.lmp",
              "units real\natom_style full\nread_data data.lmp\ninclude forcefield.lmp\nrun 0\n");
    const std::string lmp = "cd '" + dir.file("out") +
                            "' && lmp -in in.lmp -log log.lammps -screen none >/dev/null 2>&1";
    EXPECT_EQ(std::system(lmp.c_str()), 0) << read_file(dir.file("out/log.lammps"));
}

// The data file this system wrote, given back as a coordinate file, is written again byte for byte,
// its box and names taken from the file.
TEST(EndToEnd, OwnDataFileRebuildsItself) {
    TempDir dir;
    auto built = run_build(
        fixture_mixture(dir.path(), CoordinateFileSource{data_path("golden/e2e/data.lmp")}));
    ASSERT_TRUE(built) << built.error().message;
    expect_golden("e2e/data.lmp", read_file(dir.file("data.lmp")));
}

// LAMMPS's velocities: written into data.lmp after the atoms, by atom ID, and kept by in.lmp.
TEST(EndToEnd, VelocitiesOfTheCoordinateFileAreWrittenAndKept) {
    TempDir dir;
    auto request =
        fixture_mixture(dir.path(), CoordinateFileSource{data_path("coords/write_data.data")});
    request.input_script = RunSettings{};
    ASSERT_TRUE(run_build(request));
    expect_golden("e2e/velocities.data.lmp", read_file(dir.file("data.lmp")));
    EXPECT_EQ(read_file(dir.file("in.lmp")).find("\nvelocity "), std::string::npos);
}

// The force field and the species are loaded and checked before the coordinate file is opened;
// a pseudo-atom name the force field lacks is told as that before any bond is resolved (this
// butane's CH3-Ch2 bond has no Bonds entry).
TEST(EndToEnd, InputsAreCheckedBeforeTheCoordinateFile) {
    TempDir dir;
    const std::string water = data_path("e2e/water.json");
    const std::string missing = dir.file("gone.xyz");
    std::string butane = read_file(data_path("e2e/butane.json"));
    butane.replace(butane.find("\"CH2\""), 5, "\"Ch2\"");
    const std::string misspelt = dir.write("misspelt.json", butane);
    const std::string force_field = data_path("e2e/force_field.json");
    const struct {
        std::string force_field;
        std::string species;
        std::uint64_t count;
        std::string message;
    } cases[] = {
        {dir.file("none.json"), water, 1,
         "reading " + dir.file("none.json") + ": No such file or directory (os error 2)"},
        {force_field, misspelt, 1,
         "molecule 'misspelt' uses pseudo-atom type 'Ch2' not present in the force field"},
        {force_field, water, 1, "reading " + missing + ": No such file or directory (os error 2)"},
    };
    for (const auto& c : cases) {
        const BuildRequest request{.species = {c.species},
                                   .counts = {c.count},
                                   .force_field = c.force_field,
                                   .out_dir = dir.path(),
                                   .placement = CoordinateFileSource{missing, 10.0}};
        EXPECT_EQ(error_of(run_build(request)), c.message);
    }
}

}  // namespace
}  // namespace boxwright
