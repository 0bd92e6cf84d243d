#include "pipeline/packmol_build.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>

#include "pipeline/temp_dir.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

bool is_empty_dir(const std::string& path) { return std::filesystem::is_empty(path); }

TEST(TempWorkDir, PrivateDirectoryInTmpdirRemovedWithItsContents) {
    test::TempDir tmp;
    test::ScopedEnv tmpdir("TMPDIR", tmp.path());
    mode_t old_mask = ::umask(0);
    auto dir = TempWorkDir::create();
    ::umask(old_mask);
    ASSERT_TRUE(dir) << dir.error();
    std::filesystem::path path = dir->path();
    EXPECT_EQ(path.parent_path(), tmp.path());
    EXPECT_TRUE(std::regex_match(path.filename().string(), std::regex(R"(\.tmp[A-Za-z0-9]{6})")));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0777u);

    test::write_file(dir->path() + "/nested/simbox.pdb", "END\n");
    auto moved = std::move(*dir);
    EXPECT_FALSE(is_empty_dir(tmp.path()));
    moved.remove();
    EXPECT_TRUE(is_empty_dir(tmp.path()));
}

// --- the whole build -------------------------------------------------------------------------

// The small mixture of the pipeline tests: methane has count 0 and drops out before packing.
PackCommonArgs small_mixture(const std::string& out_dir, double density = 50) {
    PackCommonArgs request;
    request.species = {test::example_path("water.json"), test::example_path("methane.json"),
                       test::example_path("butane.json")};
    request.counts = {2, 0, 1};
    request.force_field = test::example_path("force_field.json");
    request.out_dir = out_dir;
    request.density = density;
    request.pair_setup = PairSetup::LjCut;
    return request;
}
constexpr int SMALL_MIXTURE_ATOMS = 2 * 3 + 4;

// A stand-in packmol: reads the job from standard input (keeping a copy in `capture` when given),
// writes `atoms` atom records to the output file the job names, then runs `ending`.
std::string stand_in(int atoms, std::string_view ending = "", const std::string& capture = "") {
    std::string script =
        capture.empty() ? "while read -r key value; do [ \"$key\" = output ] && out=$value; done\n"
                        : fmt::format(
                              "cat > '{0}/pack.inp'\nout=$(sed -n 's/^output //p' '{0}/pack.inp')\n"
                              "cp \"${{out%/*}}\"/species_* '{0}/'\n",
                              capture);
    return script + fmt::format(R"(i=0
while [ $i -lt {} ]; do
  echo 'HETATM    1 X    xxx     1       1.000   2.000   3.000  1.00  0.00'
  i=$((i+1))
done > "$out"
{}
)",
                                atoms, ending);
}

// The working directory's random name made fixed, so that messages can be compared whole.
std::string with_fixed_work_dir(const std::string& text) {
    return std::regex_replace(text, std::regex(R"(/\.tmp[A-Za-z0-9]{6}/)"), "/.tmpXXXXXX/");
}

TEST(RunPackPackmol, RealPackmolPacksAMixtureInTemplateOrder) {
    test::TempDir tmp, out;
    test::ScopedEnv tmpdir("TMPDIR", tmp.path());
    PackCommonArgs request;
    request.species = {test::example_path("water.json"), test::example_path("butane.json")};
    request.counts = {100, 20};
    request.force_field = test::example_path("force_field.json");
    request.out_dir = out.path();
    request.density = 800;
    auto summary = run_pack_packmol(request, 2.0);
    ASSERT_TRUE(summary) << summary.error().message;
    EXPECT_TRUE(is_empty_dir(tmp.path()));
    EXPECT_EQ(summary->extra_warning, std::nullopt);
    ASSERT_EQ(summary->atom_count, 100u * 3 + 20u * 4);
    EXPECT_TRUE(std::filesystem::exists(out.file("forcefield.lmp")));

    // Atom lines: id, molecule, type, charge, x, y, z. Types number Ow, Hw, CH3, CH2 by first
    // appearance, so the sequence of types shows each template's atom order copy after copy.
    std::istringstream data(test::read_file(out.file("data.lmp")));
    std::string line;
    while (std::getline(data, line) && line != "Atoms") {
    }
    std::getline(data, line);
    std::string types;
    for (std::uint64_t i = 0; i < summary->atom_count && std::getline(data, line); ++i) {
        std::istringstream fields(line);
        std::uint64_t id = 0, molecule = 0;
        int type = 0;
        double charge = 0, x = -1, y = -1, z = -1;
        fields >> id >> molecule >> type >> charge >> x >> y >> z;
        for (double c : {x, y, z}) EXPECT_TRUE(c >= 0 && c <= summary->box_length) << line;
        types += std::to_string(type);
    }
    std::string expected;
    for (int i = 0; i < 100; ++i) expected += "122";
    for (int i = 0; i < 20; ++i) expected += "3443";
    EXPECT_EQ(types, expected);
}

TEST(RunPackPackmol, TemplatesAreNumberedByPositionAmongActiveSpecies) {
    test::TempDir tmp, out, capture;
    test::ProgramOnPath packmol("packmol", stand_in(SMALL_MIXTURE_ATOMS, "", capture.path()));
    test::ScopedEnv tmpdir("TMPDIR", tmp.path());
    ASSERT_TRUE(run_pack_packmol(small_mixture(out.path()), 2.0));

    EXPECT_EQ(with_fixed_work_dir(test::read_file(capture.file("pack.inp"))),
              fmt::format(R"(# created by mixgrid
tolerance 2.00
filetype pdb
output {0}/simbox.pdb

structure {0}/species_0_water.pdb
  number 2
  inside box 2.0000 2.0000 2.0000 12.6231 12.6231 12.6231
end structure

structure {0}/species_1_butane.pdb
  number 1
  inside box 2.0000 2.0000 2.0000 12.6231 12.6231 12.6231
end structure
)",
                          tmp.path() + "/.tmpXXXXXX"));
    EXPECT_EQ(test::read_file(capture.file("species_0_water.pdb")), R"(COMPND    water
HETATM    1 Ow   wat     1       0.000   0.000   0.000  1.00  0.00
HETATM    2 Hw   wat     1       0.757   0.586   0.000  1.00  0.00
HETATM    3 Hw   wat     1      -0.757   0.586   0.000  1.00  0.00
END
)");
    EXPECT_EQ(test::read_file(capture.file("species_1_butane.pdb")), R"(COMPND    butane
HETATM    1 CH3  but     1       0.000   0.000   0.000  1.00  0.00
HETATM    2 CH2  but     1       1.292   0.839   0.000  1.00  0.00
HETATM    3 CH2  but     1       2.583   0.000   0.000  1.00  0.00
HETATM    4 CH3  but     1       3.875   0.839   0.000  1.00  0.00
END
)");
}

// Several megabytes on both streams, standard error first: a parent that read standard output to
// its end before it looked at standard error would wait forever.
constexpr std::size_t CHATTER = 3'000'000;

TEST(RunPackPackmol, UnsuccessfulPackmolWithUsableOutputWarnsLast) {
    const struct {
        const char* name;
        std::string ending;
        std::string note;
    } cases[] = {
        {"exit 1", "printf 'almost\\n\\377'; echo oops >&2; exit 1",
         "packmol exited with status Some(1):\nstdout:\nalmost\n\xEF\xBF\xBD\nstderr:\noops\n"},
        {"killed", "kill -KILL $$", "packmol exited with status None:\nstdout:\n\nstderr:\n"},
        {"talkative",
         fmt::format("head -c {0} /dev/zero | tr '\\0' e >&2\n"
                     "head -c {0} /dev/zero | tr '\\0' o\nexit 2",
                     CHATTER),
         "packmol exited with status Some(2):\nstdout:\n" + std::string(CHATTER, 'o') +
             "\nstderr:\n" + std::string(CHATTER, 'e')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir out;
        test::ProgramOnPath packmol("packmol", stand_in(SMALL_MIXTURE_ATOMS, c.ending));
        auto summary = run_pack_packmol(small_mixture(out.path()), 2.0);
        ASSERT_TRUE(summary) << summary.error().message;
        ASSERT_FALSE(summary->warnings.empty());  // water's rigid bonds and angle come first
        EXPECT_TRUE(summary->extra_warning == c.note) << summary->extra_warning->substr(0, 200);
        auto text = summary->display();
        auto tail = "warning: " + summary->warnings.back() + "\nwarning: " + c.note + "\n";
        EXPECT_TRUE(text.ends_with(tail)) << text.substr(0, 1000);
    }
}

// Every failure after the working directory exists removes it again.
TEST(RunPackPackmol, FailuresLeaveNothingInTmpdir) {
    test::TempDir tmp, out;
    const std::string not_a_dir = out.write("file", "");
    const std::string output = tmp.path() + "/.tmpXXXXXX/simbox.pdb";
    const struct {
        const char* name;
        std::optional<std::string> packmol;  // absent: no packmol on PATH at all
        double density;
        std::string out_dir;
        std::string message;
    } cases[] = {
        {"density 0", stand_in(SMALL_MIXTURE_ATOMS), 0, out.path(), "density must be positive"},
        {"no packmol", std::nullopt, 50, out.file("never"),
         "failed to launch packmol (is it installed and on PATH?): "
         "No such file or directory (os error 2)"},
        {"no output", "echo bye; exit 3", 50, out.path(),
         "packmol did not produce the expected output file " + output +
             "\npackmol exited with status Some(3):\nstdout:\nbye\n\nstderr:\n"},
        {"one atom too few", stand_in(SMALL_MIXTURE_ATOMS - 1), 50, out.path(),
         "packmol output has 9 atoms, expected 10"},
        {"malformed line", stand_in(1, "echo 'HETATM    1 short' >> \"$out\""), 50, out.path(),
         "malformed PDB line in " + output + ": HETATM    1 short"},
        {"output directory is a file", stand_in(SMALL_MIXTURE_ATOMS), 50, not_a_dir + "/sub",
         "creating " + not_a_dir + "/sub: Not a directory (os error 20)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir empty_bin;
        std::optional<test::ScopedEnv> bare_path;
        std::optional<test::ProgramOnPath> packmol;
        if (c.packmol) {
            packmol.emplace("packmol", *c.packmol);
        } else {
            bare_path.emplace("PATH", empty_bin.path());
        }
        test::ScopedEnv tmpdir("TMPDIR", tmp.path());
        auto result = run_pack_packmol(small_mixture(c.out_dir, c.density), 2.0);
        EXPECT_EQ(with_fixed_work_dir(test::error_of(result)), c.message);
        EXPECT_TRUE(is_empty_dir(tmp.path()));
    }
    EXPECT_FALSE(std::filesystem::exists(out.file("never")));
}

TEST(RunPackPackmol, LoadingFailuresComeBeforeTheWorkingDirectory) {
    test::TempDir out;
    // TMPDIR names no directory: reaching the working directory would change the message.
    test::ScopedEnv tmpdir("TMPDIR", out.file("gone"));
    auto request = small_mixture(out.path());
    request.counts = {0, 0, 0};
    EXPECT_EQ(test::error_of(run_pack_packmol(request, 2.0)),
              "all species have count 0; nothing to build");
    request.counts = {1, 0, 1};
    EXPECT_EQ(test::error_of(run_pack_packmol(request, 2.0)),
              "creating temp directory: No such file or directory (os error 2)");
}

}  // namespace
}  // namespace boxwright
