#include "pipeline/output_set.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <memory>

#include "base/file_set.hpp"
#include "lammps/data_file.hpp"
#include "lammps/forcefield_file.hpp"
#include "lammps/type_registry.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;
namespace fs = std::filesystem;

using Build = TestBuild;

// Sets the file-size limit (standing in for a full disk) until the guard goes away.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) : handler_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit previous_{};
    void (*handler_)(int);
};

// Writes the build into a fresh directory and compares data.lmp, forcefield.lmp and the summary
// (with the directory shown as OUT) with golden/<name>/.
void expect_golden_build(const std::string& name, const Build& build) {
    TempDir dir;
    auto report = build.run(dir.file("out"));
    ASSERT_TRUE(report) << report.error().message;
    expect_golden(name + "/data.lmp", read_file(dir.file("out/data.lmp")));
    expect_golden(name + "/forcefield.lmp", read_file(dir.file("out/forcefield.lmp")));
    expect_golden(name + "/summary.txt", replace_all(report->summary_text(), dir.path(), "OUT"));
    EXPECT_EQ(entries_in(dir.file("out")), 2);  // no temporary file left beside them
}

// One small system per feature, each compared whole with golden/<name>/.
TEST(OutputsGolden, EachFeatureWritesItsGoldenFiles) {
    Build water, butane, mixture, argon;
    water.add(water_molecule(), 3);  // rigid, placeholders only, after an imperfect packing
    water.request.pair_setup = PairSetup::Tip4p;
    water.packing_note = "packmol exited with status 173; the packing may be imperfect";
    butane.add(butane_molecule(), 2);  // flexible with torsions, every pair explicit
    butane.request.pair_setup = PairSetup::LjCut;
    butane.request.explicit_lb = true;
    mixture.add(butane_molecule(), 1);  // a count-0 species, no preset
    mixture.add(water_molecule(), 0);
    mixture.add(argon_molecule(), 2);
    mixture.skipped = {"water"};
    mixture.box = 31.07229;
    argon.add(argon_molecule(), 3);  // single sites without sources
    argon.request.pair_setup = PairSetup::LjCutCoulLong;
    argon.request.explicit_lb = true;
    for (const auto& [name, build] : {std::pair<const char*, const Build*>{"rigid_water", &water},
                                      {"butane", &butane},
                                      {"mixture", &mixture},
                                      {"argon", &argon}}) {
        SCOPED_TRACE(name);
        expect_golden_build(name, *build);
    }
}

// What the summary counts the golden files show; here, where the files go.
TEST(Outputs, CreatesMissingParentsOrWritesToTheCurrentDirectory) {
    Build b;
    b.add(argon_molecule(), 1);
    TempDir dir;
    auto summary = b.run(dir.file("a/b/"));
    ASSERT_TRUE(summary) << summary.error().message;
    EXPECT_EQ(entries_in(dir.file("a/b")), 2);

    // An empty directory path is the current directory: nothing to create, bare file names.
    auto previous = fs::current_path();
    fs::current_path(dir.path());
    summary = b.run("");
    fs::current_path(previous);
    ASSERT_TRUE(summary) << summary.error().message;
    EXPECT_TRUE(summary->summary_text().starts_with("Wrote data.lmp\nWrote forcefield.lmp\n"));
    EXPECT_EQ(entries_in(dir.path()), 3);
}

// (An unknown pseudo atom is refused before the directory is touched: PackSystem.ChecksComeFirst
// and the letter-case mistake end to end.)
TEST(Outputs, FailuresNameThePathAndReplaceNothing) {
    TempDir dir;
    Build b;
    b.add(water_molecule(), 2);
    fs::create_directories(dir.file("blocked/forcefield.lmp"));
    EXPECT_EQ(error_of(b.run(dir.file("blocked"))),
              "writing " + dir.file("blocked/forcefield.lmp") + ": Is a directory (os error 21)");
    // Refused before anything is written, so no data.lmp of a set that cannot be whole.
    EXPECT_EQ(entries_in(dir.file("blocked")), 1);
}

// A count times a molecule's atoms must not wrap: 2^63 + 1 copies of a two-atom molecule would
// wrap to 2 atoms, which two coordinates would then match.
TEST(Outputs, TotalsBeyond64BitsAreAnErrorNotAWrap) {
    Build b;
    b.add(make_molecule("co", {{"CH3", {}}, {"O", {}}}), (1ULL << 63) + 1);
    TempDir dir;
    EXPECT_EQ(error_of(b.run(dir.path(), std::vector<Position>(2))),
              "system too large: the total number of atoms exceeds the 64-bit range at "
              "9223372036854775809 copies of molecule 'co'");
}

// Every pair of many types, each mixed explicitly: a forcefield.lmp of megabytes.
Build many_types(int types) {
    Build b;
    std::vector<PseudoAtom> atoms;
    for (int n = 0; n < types; ++n) {
        const std::string name = fmt::format("T{}", n);
        b.ff.pseudo_atoms[name] = {
            12.0, 0, 50.0 + n % 50, 3.0 + n % 7 * 0.1, {fmt::format("source {}", n % 3)}, true};
        atoms.push_back({name, {3.0 * n, 0, 0}});
    }
    b.add(make_molecule("many", std::move(atoms), {}, true), 1);
    b.request.pair_setup = PairSetup::LjCut;
    b.request.explicit_lb = true;
    return b;
}

// data.lmp and forcefield.lmp are each replaced whole or not at all: megabytes reach the file in
// pieces that together are the text built whole; a write that fails part-way (here: the file-size
// limit, standing in for a full disk) or is interrupted leaves the previous files whole, the
// data.lmp written before a forcefield.lmp that fails too, since the files are one set. Never a
// temporary file beside them.
TEST(Outputs, LargeFilesAreReplacedWholeOrNotAtAll) {
    Build liquid;
    liquid.add(water_molecule(), 20000);
    liquid.add(butane_molecule(), 5000);
    const Build types = many_types(500);  // some 6.5 MB
    const auto registries_of = [](const Build& b) {
        return *build_type_registries(b.active, b.ff);
    };
    const struct {
        const char* file;
        const Build& build;
        std::string whole;
        rlim_t limit;  // reached part-way through the file
    } cases[] = {
        {"data.lmp", liquid,
         data_file_text(liquid.active, copy_positions(liquid.active), registries_of(liquid),
                        liquid.ff, liquid.box)
             .value(),
         4096},
        {"forcefield.lmp", types,
         generate_forcefield_file(types.ff, registries_of(types), PairSetup::LjCut, true, {}),
         1 << 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_GT(c.whole.size(), 3 * c.limit);
        TempDir dir;
        dir.write(c.file, "an older file");
        ASSERT_TRUE(c.build.run(dir.path()));
        EXPECT_TRUE(read_file(dir.file(c.file)) == c.whole) << "the pieces differ";
        const auto set = [&] {
            return read_file(dir.file("data.lmp")) + read_file(dir.file("forcefield.lmp"));
        };
        const std::string old = set();

        Build changed = c.build;
        changed.box = 40;
        Result<BuildReport> result = tl::unexpected(FfError{"not run"});
        {
            FileSizeLimit limit(c.limit);
            result = changed.run(dir.path());
        }
        EXPECT_EQ(error_of(result),
                  "writing " + dir.file(c.file) + ": File too large (os error 27)");
        EXPECT_TRUE(set() == old) << "an old file was touched";
        EXPECT_EQ(entries_in(dir.path()), 2);

        // Ctrl-C while the file is written: the host's poll, asked every few megabytes, stops
        // the writing there (and is asked once more before the renames would begin).
        changed.watch = Watch{};
        auto polls = std::make_shared<int>(0);
        changed.watch.poll = [stop = changed.watch.stop, polls] {
            ++*polls;
            stop.request_stop();
        };
        EXPECT_EQ(error_of(changed.run(dir.path())),
                  "the build was interrupted before its files were replaced; those in " +
                      dir.path() + " are unchanged");
        EXPECT_EQ(*polls, 2);
        EXPECT_TRUE(set() == old) << "an old file was touched";
        EXPECT_EQ(entries_in(dir.path()), 2);
    }
}

// A writer told to stop gives up waiting for the directory another holds (that the second writer
// waits and the sets never mix: the two-builds-into-one-directory test).
TEST(FileSet, AWriterToldToStopGivesUpWaiting) {
    TempDir dir;
    const auto first = FileSet::open(dir.path(), {});
    ASSERT_TRUE(first);
    int asked = 0;
    auto gave_up = FileSet::open(dir.path(), [&] { return ++asked == 2; });
    ASSERT_FALSE(gave_up);
    EXPECT_EQ(gave_up.error().error_number(), ECANCELED);
}

}  // namespace
}  // namespace boxwright
