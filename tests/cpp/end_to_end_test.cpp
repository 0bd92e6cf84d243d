// The whole build from given coordinates on the fixture files in tests/data/e2e (load, resolve,
// write, summary), and LAMMPS itself reading what was written.
#include <gtest/gtest.h>

#include <cstdlib>

#include "pipeline/active.hpp"
#include "pipeline/coords_build.hpp"
#include "pipeline/species.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;

// Water (rigid, placeholders only) twice, methane skipped, butane (flexible, torsions) once; the
// force field has a cross term, sources with CRLF line ends and a pseudo atom no species uses.
TEST(EndToEnd, LoadResolveAndWriteTheFixtureMixtureThenLammpsReadsIt) {
    TempDir dir;
    const CoordsArgs request{
        {data_path("e2e/water.json"), data_path("e2e/methane.json"), data_path("e2e/butane.json")},
        {2, 0, 1},
        data_path("e2e/force_field.json"),
        dir.file("out"),
        true,
        PairSetup::LjCutCoulLong};
    auto loaded = load_molecules(request.force_field, request.species, request.counts);
    ASSERT_TRUE(loaded) << loaded.error().message;
    // Each copy at its reference positions, moved well inside the box.
    auto positions = copy_positions(resolve_active(loaded->molecules, request.counts)->active);
    for (auto& p : positions) p = {p[0] + 2, p[1] + 2, p[2] + 2};

    // The same three steps again, as the coordinates entry composes them.
    auto summary = run_from_coords(request, positions, 25.0);
    ASSERT_TRUE(summary) << summary.error().message;
    expect_golden("e2e/data.lmp", read_file(dir.file("out/data.lmp")));
    expect_golden("e2e/forcefield.lmp", read_file(dir.file("out/forcefield.lmp")));
    expect_golden("e2e/summary.txt", replace_all(summary->display(), dir.path(), "OUT"));

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
    const CoordsArgs request{
        {data_path("e2e/water.json"), data_path("e2e/methane.json"), data_path("e2e/butane.json")},
        {2, 0, 1},
        data_path("e2e/force_field.json"),
        dir.path(),
        true,
        PairSetup::LjCutCoulLong};
    auto built = build_from_coords_file(request, {data_path("golden/e2e/data.lmp"), {}, true},
                                        PresetRule::AsRequested);
    ASSERT_TRUE(built) << built.error().message;
    EXPECT_EQ(built->box_length, 25);
    expect_golden("e2e/data.lmp", read_file(dir.file("data.lmp")));
}

// The force field and the species are loaded and checked before the coordinate file is opened.
TEST(EndToEnd, InputsAreCheckedBeforeTheCoordinateFile) {
    TempDir dir;
    const std::string water = data_path("e2e/water.json");
    const CoordsFile missing{dir.file("gone.xyz"), 10.0, true};
    const struct {
        CoordsArgs request;
        std::string message;
    } cases[] = {
        {{{water}, {1}, dir.file("none.json"), dir.path(), false, std::nullopt},
         "reading " + dir.file("none.json") + ": No such file or directory (os error 2)"},
        {{{water}, {0}, data_path("e2e/force_field.json"), dir.path(), false, std::nullopt},
         "all species have count 0; nothing to build"},
        {{{water}, {1}, data_path("e2e/force_field.json"), dir.path(), false, std::nullopt},
         "reading " + missing.path + ": No such file or directory (os error 2)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(error_of(build_from_coords_file(c.request, missing, PresetRule::AsRequested)),
                  c.message);
    }
}

}  // namespace
}  // namespace boxwright
