#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "pipeline/build.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr double TOLERANCE = 2.0;

BuildRequest water_and_butane(const std::string& out_dir, std::uint64_t waters,
                              std::uint64_t butanes) {
    return {.species = {example_path("water.json"), example_path("butane.json")},
            .counts = {waters, butanes},
            .force_field = example_path("force_field.json"),
            .out_dir = out_dir,
            .placement = PackmolPlacement{.density = 600, .tolerance = TOLERANCE},
            .pair_setup = PairSetup::LjCut};
}

Result<BuildReport> pack_split(BuildRequest request, const DecompositionRequest& decomposition,
                               const Watch& watch = {}) {
    auto& packing = std::get<PackmolPlacement>(request.placement);
    packing.jobs = decomposition.jobs;
    packing.seed = decomposition.seed;
    packing.subboxes = decomposition.subboxes;
    return run_build(request, watch);
}

struct Atom {
    int molecule = 0;
    Position at{};
};

std::vector<Atom> atoms_of(const std::string& data_file, std::uint64_t count) {
    std::istringstream lines(data_file.substr(data_file.find("\nAtoms\n\n") + 8));
    std::vector<Atom> atoms(count);
    std::string line;
    for (auto& atom : atoms) {
        std::getline(lines, line);
        auto& [x, y, z] = atom.at;
        EXPECT_EQ(
            std::sscanf(line.c_str(), "%*d %d %*d %*f %lf %lf %lf", &atom.molecule, &x, &y, &z), 4);
    }
    return atoms;
}

double periodic_distance(const Position& a, const Position& b, double edge) {
    double squares = 0;
    for (int axis = 0; axis < 3; ++axis) {
        double d = std::fabs(a[axis] - b[axis]);
        d = std::fmin(d, edge - d);
        squares += d * d;
    }
    return std::sqrt(squares);
}

// The sub-box an atom lies in, as one number.
int subbox_of(const Position& at, double edge, const GridCells& cells) {
    int index = 0;
    for (int axis = 0; axis < 3; ++axis) {
        int cell = static_cast<int>(at[axis] / (edge / cells[axis]));
        index = index * static_cast<int>(cells[axis]) + cell;
    }
    return index;
}

// Packmol keeps the tolerance inside one sub-box only to about 0.01 Å; across the faces between
// sub-boxes, and across the periodic faces of the box, the inset must keep it in full.
TEST(BuildPackmolSplit, RealPackmolKeepsTheToleranceAcrossEveryFace) {
    TempDir tmp, out;
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    const GridCells grid{2, 2, 1};
    auto build = pack_split(water_and_butane(out.path(), 150, 30), {grid, 7, 3});
    ASSERT_TRUE(build) << build.error().message;
    EXPECT_TRUE(fs::is_empty(tmp.path()));
    for (const auto& warning : build->warnings()) EXPECT_FALSE(warning.starts_with("sub-box"));

    const double edge = build->summary.box_length;
    auto atoms = atoms_of(read_file(out.file("data.lmp")), build->summary.atom_count);
    // Inside the box, and each water, merged back from its sub-box, still shaped like the molecule.
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        for (double c : atoms[i].at) EXPECT_TRUE(c >= 0 && c <= edge) << "atom " << i + 1;
    }
    for (std::size_t i = 0; i < 450; i += 3) {
        EXPECT_NEAR(periodic_distance(atoms[i].at, atoms[i + 1].at, edge), 0.9572, 0.01);
    }

    // Pairs within one sub-box are Packmol's own business; the inset answers for the others.
    double closest_across = 1e9;
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        for (std::size_t j = i + 1; j < atoms.size(); ++j) {
            if (atoms[i].molecule == atoms[j].molecule ||
                subbox_of(atoms[i].at, edge, grid) == subbox_of(atoms[j].at, edge, grid))
                continue;
            closest_across =
                std::fmin(closest_across, periodic_distance(atoms[i].at, atoms[j].at, edge));
        }
    }
    EXPECT_GE(closest_across, TOLERANCE);
}

// A Packmol that exits unsuccessfully but leaves a complete structure is a warning naming its
// sub-box; the others are fine.
TEST(BuildPackmolSplit, AnImperfectSubboxIsAWarning) {
    TempDir tmp, out, bin;
    // Packmol rewinds its input, so the real one reads the job file itself.
    auto path = packmol_on_path(bin, R"(/usr/bin/packmol > /dev/null
case $(readlink /proc/$$/fd/0) in */subbox_1/*) echo complaint >&2; exit 3;; esac
)");
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    auto build = pack_split(water_and_butane(out.path(), 40, 0), {GridCells{1, 1, 2}, 1, 2});
    ASSERT_TRUE(build) << build.error().message;
    const auto warnings = build->warnings();
    ASSERT_EQ(warnings.size(), 3u);  // after the two placeholders of water
    EXPECT_EQ(warnings.back(),
              "sub-box 1 at (0, 0, 1): packmol exited with status Some(3):\nstdout:\n\nstderr:\n"
              "complaint\n");
    EXPECT_TRUE(fs::is_empty(tmp.path()));
}

// One sub-box failing stops every Packmol still running: none is left behind, the working
// directory is gone and nothing is written. The stand-ins note their process ids and wait; the one
// for sub-box 2 fails at once.
TEST(BuildPackmolSplit, AFailingSubboxEndsEveryPackmolAndWritesNothing) {
    TempDir tmp, out, pids, bin;
    auto path = packmol_on_path(bin, fmt::format("echo $$ >> '{}/pids'\n"
                                                 "case $(readlink /proc/$$/fd/0) in */subbox_2/*) "
                                                 "echo 'no luck' >&2; exit 1;; esac\n"
                                                 "exec sleep 30\n",
                                                 pids.path()));
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    const auto started = std::chrono::steady_clock::now();
    auto build = pack_split(water_and_butane(out.file("never"), 40, 0), {GridCells{2, 2, 1}, 1, 4});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));  // not 30 s
    EXPECT_EQ(with_fixed_work_dir(error_of(build)),
              "sub-box 2 at (1, 0, 0) failed: packmol did not produce the expected output file " +
                  tmp.path() +
                  "/.tmpXXXXXX/subbox_2/simbox.pdb\npackmol exited with status Some(1):\nstdout:"
                  "\n\nstderr:\nno luck\n");
    EXPECT_TRUE(fs::is_empty(tmp.path()));
    EXPECT_FALSE(fs::exists(out.file("never")));
    std::istringstream started_pids(read_file(pids.file("pids")));
    int count = 0;
    for (pid_t pid; started_pids >> pid; ++count) EXPECT_FALSE(process_runs(pid)) << pid;
    EXPECT_GE(count, 1);
}

}  // namespace
}  // namespace boxwright
