// The whole build from given coordinates on the fixture files in tests/data/e2e: load, resolve,
// write, summary; and LAMMPS itself reading what was written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "golden.hpp"
#include "lammps_systems.hpp"
#include "pipeline/active.hpp"
#include "pipeline/coords_build.hpp"
#include "pipeline/outputs.hpp"
#include "pipeline/species.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;

// Water (rigid, placeholders only) twice, methane skipped, butane (flexible, torsions) once.
CoordsArgs mixture_request(const std::string& out_dir) {
    return CoordsArgs{
        {data_path("e2e/water.json"), data_path("e2e/methane.json"), data_path("e2e/butane.json")},
        {2, 0, 1},
        data_path("e2e/force_field.json"),
        out_dir,
        true,
        PairSetup::LjCutCoulLong};
}

// Each copy at its reference positions, moved well inside the box.
std::vector<Position> positions_in_box(const ActiveList& active) {
    auto positions = copy_positions(active);
    for (auto& p : positions) p = {p[0] + 2, p[1] + 2, p[2] + 2};
    return positions;
}

std::string with_out_shown_as(std::string text, const std::string& dir) {
    for (auto at = text.find(dir); at != std::string::npos; at = text.find(dir))
        text.replace(at, dir.size(), "OUT");
    return text;
}

TEST(EndToEnd, LoadResolveAndWriteTheFixtureMixture) {
    TempDir dir;
    const auto request = mixture_request(dir.file("out"));
    auto loaded = load_molecules(request.force_field, request.species, request.counts);
    ASSERT_TRUE(loaded) << loaded.error().message;
    auto active = resolve_active(loaded->molecules, request.counts);
    ASSERT_TRUE(active) << active.error().message;
    auto summary = write_lammps_outputs(
        loaded->force_field, active->active, positions_in_box(active->active),
        OutputRequest{request.out_dir, request.pair_setup, request.explicit_lb}, loaded->skipped,
        active->warnings, std::nullopt, 25.0);
    ASSERT_TRUE(summary) << summary.error().message;

    EXPECT_TRUE(matches_golden("e2e/data.lmp", read_file(dir.file("out/data.lmp"))));
    EXPECT_TRUE(matches_golden("e2e/forcefield.lmp", read_file(dir.file("out/forcefield.lmp"))));
    EXPECT_TRUE(
        matches_golden("e2e/summary.txt", with_out_shown_as(summary->display(), dir.path())));
}

// run_from_coords is the same build; LAMMPS reads both files and evaluates the energy once.
TEST(EndToEnd, RunFromCoordsIsTheSameBuildAndLammpsReadsIt) {
    TempDir dir;
    const auto request = mixture_request(dir.file("out"));
    auto loaded = load_molecules(request.force_field, request.species, request.counts);
    ASSERT_TRUE(loaded);
    auto positions = positions_in_box(resolve_active(loaded->molecules, request.counts)->active);

    auto summary = run_from_coords(request, positions, 25.0);
    ASSERT_TRUE(summary) << summary.error().message;
    EXPECT_TRUE(matches_golden("e2e/data.lmp", read_file(dir.file("out/data.lmp"))));
    EXPECT_TRUE(matches_golden("e2e/forcefield.lmp", read_file(dir.file("out/forcefield.lmp"))));
    EXPECT_TRUE(
        matches_golden("e2e/summary.txt", with_out_shown_as(summary->display(), dir.path())));

    if (std::system("command -v lmp >/dev/null 2>&1") == 0) {
        dir.write(
            "out/in.lmp",
            "units real\natom_style full\nread_data data.lmp\ninclude forcefield.lmp\nrun 0\n");
        const std::string lmp = "cd '" + dir.file("out") +
                                "' && lmp -in in.lmp -log log.lammps -screen none >/dev/null 2>&1";
        EXPECT_EQ(std::system(lmp.c_str()), 0) << read_file(dir.file("out/log.lammps"));
    }

    positions.pop_back();
    EXPECT_EQ(error_of(run_from_coords(mixture_request(dir.file("short")), positions, 25.0)),
              "internal error: expected 10 packed atom coordinates, got 9");
    EXPECT_FALSE(std::filesystem::exists(dir.file("short/data.lmp")));
}

}  // namespace
}  // namespace boxwright
