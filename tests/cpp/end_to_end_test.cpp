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

}  // namespace
}  // namespace boxwright
