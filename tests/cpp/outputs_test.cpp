#include "pipeline/outputs.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "golden.hpp"
#include "lammps_systems.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;
namespace fs = std::filesystem;

const char* WATER_WARNINGS[] = {
    "bond O-H has no Bonds entry; defaulted to rigid placeholder (set SHAKE or RIGID in your "
    "LAMMPS input)",
    "angle H-O-H has no Bends entry; defaulted to rigid placeholder (set SHAKE or RIGID in your "
    "LAMMPS input)"};

struct Build : Species {
    ForceField ff = test_force_field();
    OutputRequest request;
    std::vector<std::string> skipped, warnings;
    std::optional<std::string> extra_warning;
    double box = 30;

    Result<BuildSummary> run(std::string out_dir) const {
        auto r = request;
        r.out_dir = std::move(out_dir);
        return write_lammps_outputs(ff, active, copy_positions(active), r, skipped, warnings,
                                    extra_warning, box);
    }
};

// Writes the build into a fresh directory and compares data.lmp, forcefield.lmp and the summary
// (with the directory shown as OUT) with golden/<name>/.
void expect_golden_build(const std::string& name, const Build& build) {
    TempDir dir;
    auto summary = build.run(dir.path() + "/out");
    ASSERT_TRUE(summary) << summary.error().message;
    auto display = summary->display();
    for (auto at = display.find(dir.path()); at != std::string::npos; at = display.find(dir.path()))
        display.replace(at, dir.path().size(), "OUT");
    EXPECT_TRUE(matches_golden(name + "/data.lmp", read_file(dir.file("out/data.lmp"))));
    EXPECT_TRUE(
        matches_golden(name + "/forcefield.lmp", read_file(dir.file("out/forcefield.lmp"))));
    EXPECT_TRUE(matches_golden(name + "/summary.txt", display));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("out")), fs::directory_iterator()), 2);
}

TEST(OutputsGolden, RigidWaterWithPlaceholders) {
    Build b;
    b.add(water_molecule(), water_resolved, 3);
    b.request = {"", PairSetup::Tip4p, false};
    b.warnings.assign(std::begin(WATER_WARNINGS), std::end(WATER_WARNINGS));
    b.extra_warning = "packmol exited with status 173; the packing may be imperfect";
    expect_golden_build("rigid_water", b);
}

TEST(OutputsGolden, FlexibleChainWithTorsionsAllPairsExplicit) {
    Build b;
    b.add(butane_molecule(), butane_resolved, 2);
    b.request = {"", PairSetup::LjCut, true};
    expect_golden_build("butane", b);
}

TEST(OutputsGolden, MixtureWithACountZeroSpeciesAndNoPreset) {
    Build b;
    b.add(butane_molecule(), butane_resolved, 1)
        .add(water_molecule(), water_resolved, 0)
        .add(argon_molecule(), argon_resolved, 2);
    b.request = {"", std::nullopt, false};
    b.skipped = {"water"};
    b.box = 31.07229;
    expect_golden_build("mixture", b);
}

TEST(OutputsGolden, SingleSitesOnlyWithoutSources) {
    Build b;
    b.add(argon_molecule(), argon_resolved, 3);
    b.request = {"", PairSetup::LjCutCoulLong, true};
    expect_golden_build("argon", b);
}

TEST(Outputs, SummaryCountsComeFromPerMoleculeNumbers) {
    Build b;
    b.add(water_molecule(), water_resolved, 3).add(argon_molecule(), argon_resolved, 1);
    b.request.pair_setup = PairSetup::LjCut;
    TempDir dir;
    auto summary = b.run(dir.path());
    ASSERT_TRUE(summary) << summary.error().message;
    EXPECT_EQ(summary->display(),
              "Wrote " + dir.path() + "/data.lmp\nWrote " + dir.path() +
                  "/forcefield.lmp\n"
                  "box: 30.000 \u00c5 cube  |  atoms: 10 (3 types)  bonds: 6 (1 types)  angles: 3 "
                  "(1 types)  dihedrals: 0 (0 types)\n");
}

TEST(Outputs, MissingParentDirectoriesAreCreated) {
    Build b;
    b.add(argon_molecule(), argon_resolved, 1);
    TempDir dir;
    auto summary = b.run(dir.file("a/b/"));
    ASSERT_TRUE(summary) << summary.error().message;
    EXPECT_EQ(summary->data_path, dir.file("a/b/data.lmp"));
    EXPECT_TRUE(fs::is_regular_file(dir.file("a/b/forcefield.lmp")));
}

TEST(Outputs, EmptyDirectoryMeansTheCurrentOne) {
    Build b;
    b.add(argon_molecule(), argon_resolved, 1);
    TempDir dir;
    auto previous = fs::current_path();
    fs::current_path(dir.path());
    auto summary = b.run("");
    fs::current_path(previous);
    ASSERT_TRUE(summary) << summary.error().message;
    EXPECT_EQ(summary->data_path, "data.lmp");
    EXPECT_EQ(summary->forcefield_path, "forcefield.lmp");
    EXPECT_TRUE(fs::is_regular_file(dir.file("data.lmp")));
}

TEST(Outputs, FailuresNameThePathAndStopInOrder) {
    Build b;
    b.add(argon_molecule(), argon_resolved, 1);
    TempDir dir;

    Build unknown;
    unknown.add(make_molecule("neon", {{"Ne", {}}}, {}, false), argon_resolved, 1);
    auto file = dir.write("plain-file", "x");
    EXPECT_EQ(error_of(unknown.run(file)), "creating " + file + ": Not a directory (os error 20)");
    EXPECT_EQ(error_of(unknown.run(dir.file("unknown"))),
              "molecule 'neon' uses pseudo-atom type 'Ne' not present in the force field");
    EXPECT_FALSE(fs::exists(dir.file("unknown/data.lmp")));  // the directory stays, empty

    fs::create_directories(dir.file("blocked/forcefield.lmp"));
    EXPECT_EQ(error_of(b.run(dir.file("blocked"))),
              "writing " + dir.file("blocked/forcefield.lmp") + ": Is a directory (os error 21)");
    EXPECT_TRUE(fs::is_regular_file(dir.file("blocked/data.lmp")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("blocked")), fs::directory_iterator()),
              2);  // no temporary file left behind
}

// A write that fails part-way (here: the file-size limit, standing in for a full disk) leaves
// the previous data.lmp whole and no temporary file beside it.
TEST(Outputs, FailedWriteKeepsThePreviousFile) {
    TempDir dir;
    Build small;
    small.add(argon_molecule(), argon_resolved, 1);
    ASSERT_TRUE(small.run(dir.path()));
    const std::string good = read_file(dir.file("data.lmp"));

    Build large;
    large.add(argon_molecule(), argon_resolved, 2000);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &limited);
    auto result = large.run(dir.path());
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previous_handler);

    EXPECT_EQ(error_of(result),
              "writing " + dir.file("data.lmp") + ": File too large (os error 27)");
    EXPECT_EQ(read_file(dir.file("data.lmp")), good);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace boxwright
