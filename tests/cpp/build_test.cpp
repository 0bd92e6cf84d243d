#include "pipeline/build.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;
namespace fs = std::filesystem;

// Water, methane with count 0 (dropped before packing) and butane.
BuildRequest small_mixture(const std::string& out_dir) {
    return {.species = {example_path("water.json"), example_path("methane.json"),
                        example_path("butane.json")},
            .counts = {2, 0, 1},
            .force_field = example_path("force_field.json"),
            .out_dir = out_dir,
            .placement = PackmolPlacement{.density = 50, .tolerance = 2.0},
            .pair_setup = PairSetup::LjCut};
}

// The note of a Packmol run that failed but left a usable structure.
std::string packing_note(const BuildReport& report) {
    for (const auto& diagnostic : report.diagnostics) {
        if (diagnostic.kind == DiagnosticKind::PackingStatus) return diagnostic.text;
    }
    return "<no note>";
}
constexpr int SMALL_MIXTURE_ATOMS = 2 * 3 + 4;

// A stand-in packmol: reads the job from standard input into $job, writes `atoms` atom records to
// the output file ($out) the job names, then runs `ending`.
std::string stand_in(int atoms, std::string_view ending = "") {
    return fmt::format(R"(job=$(cat)
out=$(printf '%s\n' "$job" | sed -n 's/^output //p')
i=0
while [ $i -lt {} ]; do
  echo 'HETATM    1 X    xxx     1       1.000   2.000   3.000  1.00  0.00'
  i=$((i+1))
done > "$out"
{}
)",
                       atoms, ending);
}

// Templates are numbered by position in the active list: methane, dropped, takes no number.
TEST(BuildPacked, JobNumbersTemplatesAmongActiveSpecies) {
    TempDir tmp, out, capture, bin;
    auto path = test::packmol_on_path(
        bin, stand_in(SMALL_MIXTURE_ATOMS, fmt::format("printf '%s\\n' \"$job\" > '{0}/pack.inp'\n"
                                                       "cp \"${{out%/*}}\"/species_* '{0}/'",
                                                       capture.path())));
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    ASSERT_TRUE(run_build(small_mixture(out.path())));
    expect_golden("pack/pipeline.pack.inp",
                  replace_all(test::with_fixed_work_dir(read_file(capture.file("pack.inp"))),
                              tmp.path(), "TMP"));
    EXPECT_TRUE(read_file(capture.file("species_1_butane.pdb")).starts_with("COMPND    butane\n"));
    EXPECT_EQ(entries_in(capture.path()), 3);
}

// Every outcome once the working directory exists leaves TMPDIR empty. An unsuccessful packmol
// whose output passes every check is a note, which the summary shows as its last warning.
TEST(BuildPacked, PackmolFailuresAreExplainedAndLeaveNothingInTmpdir) {
    TempDir tmp, out;
    const std::string not_a_dir = out.write("file", "");
    const std::string output = tmp.path() + "/.tmpXXXXXX/simbox.pdb";
    const struct {
        const char* name;
        std::string packmol;
        std::string out_dir;
        std::string result;  // the note of a success, or the failure's message
    } cases[] = {
        {"exit 1", stand_in(SMALL_MIXTURE_ATOMS, "printf 'almost\\n\\377'; echo oops >&2; exit 1"),
         out.path(),
         "packmol exited with status Some(1):\nstdout:\nalmost\n\xEF\xBF\xBD\nstderr:\noops\n"},
        {"killed", stand_in(SMALL_MIXTURE_ATOMS, "kill -KILL $$"), out.path(),
         "packmol exited with status None:\nstdout:\n\nstderr:\n"},
        {"no output", "echo bye; exit 3", out.path(),
         "packmol did not produce the expected output file " + output +
             "\npackmol exited with status Some(3):\nstdout:\nbye\n\nstderr:\n"},
        {"one atom too few", stand_in(SMALL_MIXTURE_ATOMS - 1), out.path(),
         "packmol output has 9 atoms, expected 10"},
        {"output directory is a file", stand_in(SMALL_MIXTURE_ATOMS), not_a_dir + "/sub",
         "creating " + not_a_dir + "/sub: Not a directory (os error 20)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir bin;
        auto path = test::packmol_on_path(bin, c.packmol);
        ScopedEnv tmpdir("TMPDIR", tmp.path());
        auto result = run_build(small_mixture(c.out_dir));
        const std::string got =
            result ? packing_note(*result) : test::with_fixed_work_dir(result.error().message);
        EXPECT_EQ(got, c.result);
        EXPECT_TRUE(fs::is_empty(tmp.path()));
    }
}

// A Packmol that reports a failure yet leaves a complete structure is a warning where the request
// accepts imperfect packings (as _native does), and a failure that writes nothing where it does
// not; so is a structure whose atoms are closer than the tolerance, whatever Packmol said.
TEST(BuildPacked, AnImperfectPackingFailsUnlessAccepted) {
    TempDir tmp, bin, out;
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    // The stand-in puts every atom in one place: only a tolerance of 0 accepts that.
    const struct {
        const char* name;
        std::string packmol;
        double tolerance;
        std::string failure;
    } cases[] = {
        {"status 173", stand_in(SMALL_MIXTURE_ATOMS, "exit 173"), 0,
         "the packing failed: Packmol reported that it did not finish the packing; pack at a "
         "lower density or with a smaller tolerance, or keep the files anyway with "
         "accept_imperfect (--accept-imperfect)\npackmol exited with status Some(173):\nstdout:"
         "\n\nstderr:\n"},
        {"every atom in one place, status 0", stand_in(SMALL_MIXTURE_ATOMS), 2,
         "the packing failed: atoms 1 and 4 (of water 1 and water 2) are 0.000 \u00c5 apart, "
         "closer than the packing tolerance of 2 \u00c5; pack at a lower density or with a "
         "smaller tolerance, or keep the files anyway with accept_imperfect (--accept-imperfect)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto path = test::packmol_on_path(bin, c.packmol);
        auto request = small_mixture(out.file("refused"));
        std::get<PackmolPlacement>(request.placement).tolerance = c.tolerance;
        request.imperfect_packing = ImperfectPacking::Fail;
        EXPECT_EQ(error_of(run_build(request)), c.failure);
        EXPECT_FALSE(fs::exists(out.file("refused")));
        EXPECT_TRUE(fs::is_empty(tmp.path()));

        request.out_dir = out.file("kept");
        request.imperfect_packing = ImperfectPacking::Warn;
        EXPECT_TRUE(run_build(request));
    }
}

TEST(BuildPacked, LoadingFailuresComeBeforeTheWorkingDirectory) {
    TempDir out;
    // TMPDIR names no directory: reaching the working directory would change the message.
    ScopedEnv tmpdir("TMPDIR", out.file("gone"));
    auto request = small_mixture(out.path());
    request.counts = {0, 0, 0};
    EXPECT_EQ(error_of(run_build(request)), "all species have count 0; nothing to build");
    request.counts = {1, 0, 1};
    EXPECT_EQ(error_of(run_build(request)),
              "creating temp directory: No such file or directory (os error 2)");
}

}  // namespace
}  // namespace boxwright
