#include "pipeline/output_set.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "base/file_set.hpp"
#include "lammps/data_file.hpp"
#include "lammps/forcefield_file.hpp"
#include "lammps/type_registry.hpp"
#include "pipeline/build.hpp"
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

// --- attacks on the set, the lock and the directory ------------------------------------------

// Runs `body` in a child process as the user nobody and returns the text it hands back: where the
// system refuses one user what it allows another (a shared sticky folder, a write-only folder).
std::string as_another_user(const std::function<std::string()>& body) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return "<no pipe>";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe_fds[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const std::string text = body();
        const bool sent =
            ::write(pipe_fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::_exit(sent ? 0 : 3);
    }
    ::close(pipe_fds[1]);
    std::string text;
    char chunk[4096];
    for (ssize_t got; (got = ::read(pipe_fds[0], chunk, sizeof chunk)) > 0;)
        text.append(chunk, got);
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "<the child failed>";
}

// A folder that every user may write into, in a test directory others may enter.
std::string shared_folder(const TempDir& dir, mode_t mode) {
    ::chmod(dir.path().c_str(), 0755);
    const std::string folder = dir.file("shared");
    fs::create_directory(folder);
    ::chmod(folder.c_str(), mode);
    return folder;
}

Build water_with_input(bool writes_input) {
    Build b;
    b.add(water_molecule(), 2);
    b.request.pair_setup = PairSetup::LjCut;
    if (writes_input) b.request.input_script = RunSettings{};
    b.request.input_script_in_set = true;
    return b;
}

std::string set_of(const std::string& dir) {
    std::string set;
    for (const char* name : {"data.lmp", "forcefield.lmp", "in.lmp"}) {
        set += fmt::format("{}={};", name, read_file_if_any(join_path(dir, name)));
    }
    return set;
}

// What the report says of the output directory, a line each, with `dir` shown as DIR.
std::string directory_notes(const Result<BuildReport>& report, const std::string& dir) {
    if (!report) return "<" + report.error().message + ">";
    std::string texts;
    for (const auto& d : report->diagnostics) {
        if (d.kind == DiagnosticKind::OutputDirectory)
            texts += (d.level == DiagnosticLevel::Note ? "note: " : "warning: ") + d.text + "\n";
    }
    return replace_all(texts, dir, "DIR");
}

// The set is the set: a build that writes no in.lmp takes an earlier build's away with the rest
// (its settings would run the new data), and says so; the specified module's set never had one.
TEST(Attacks, StaleInputScriptGoesWithTheSet) {
    const struct {
        const char* name;
        bool writes_input, in_set;
        bool stale_kept;
        const char* note;  // with DIR for the directory
    } rows[] = {
        {"package without in.lmp", false, true, false,
         "note: removed DIR/in.lmp, left by an earlier build: this build writes no in.lmp, and "
         "that one would run the new data.lmp with its own settings\n"},
        {"package with in.lmp", true, true, false, ""},
        {"specified module", false, false, true, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        dir.write("in.lmp", "stale");
        Build b = water_with_input(row.writes_input);
        b.request.input_script_in_set = row.in_set;
        const auto report = b.run(dir.path());
        EXPECT_EQ(directory_notes(report, dir.path()), row.note);
        EXPECT_EQ(read_file_if_any(dir.file("in.lmp")) == "stale", row.stale_kept);
        EXPECT_EQ(fs::exists(dir.file("in.lmp")), row.stale_kept || row.writes_input);
        EXPECT_EQ(entries_in(dir.path()), 2 + (row.stale_kept || row.writes_input));
    }
}

// A member the system will not let this user replace (in a shared sticky folder, another user's
// in.lmp) puts back the members already in place: the old set stays whole, and the message says
// so, whether in.lmp was to be replaced or removed.
TEST(Attacks, AMemberThatCannotBeReplacedLeavesTheOldSet) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
    for (const bool writes_input : {true, false}) {
        SCOPED_TRACE(writes_input ? "in.lmp replaced" : "in.lmp removed");
        TempDir dir;
        const std::string shared = shared_folder(dir, 01777);
        for (const char* name : {"data.lmp", "forcefield.lmp"}) {
            write_file(join_path(shared, name), "old");
            ASSERT_EQ(::chown(join_path(shared, name).c_str(), 65534, 65534), 0);
        }
        write_file(join_path(shared, "in.lmp"), "old");  // root's
        const std::string old = set_of(shared);
        const std::string message =
            as_another_user([&] { return error_of(water_with_input(writes_input).run(shared)); });
        EXPECT_EQ(message, "writing " + shared +
                               "/in.lmp: Operation not permitted (os error 1); "
                               "nothing in " +
                               shared + " was replaced");
        EXPECT_EQ(set_of(shared), old);
        EXPECT_EQ(entries_in(shared), 3);
    }
}

// Temporary files that a killed build left beside the set are removed by the next build that
// holds the lock, with a note; only names of the set's own pattern, never a directory.
TEST(Attacks, LeftoverTemporariesOfTheSetAreRemoved) {
    TempDir dir;
    const char* removed[] = {"data.lmp.tmpAbC123", "forcefield.lmp.tmp000000", "in.lmp.tmpzZ9zZ9"};
    const char* kept[] = {"data.lmp.tmpAbC12",   "data.lmp.tmpAbC1234", "data.lmp.tmpAb-123",
                          "notes.txt.tmpAbC123", "xdata.lmp.tmpAbC123", "data.lmp"};
    for (const char* name : removed) dir.write(name, "32 MB, once");
    for (const char* name : kept) dir.write(name, "someone's");
    fs::create_directory(dir.file("in.lmp.tmpDIRxyz"));
    const auto report = water_with_input(false).run(dir.path());
    EXPECT_EQ(directory_notes(report, dir.path()),
              "note: removed 3 temporary files that an interrupted build left in DIR: "
              "data.lmp.tmpAbC123, forcefield.lmp.tmp000000, in.lmp.tmpzZ9zZ9\n");
    for (const char* name : removed) EXPECT_FALSE(fs::exists(dir.file(name))) << name;
    for (const char* name : kept) EXPECT_TRUE(fs::exists(dir.file(name))) << name;
    EXPECT_TRUE(fs::is_directory(dir.file("in.lmp.tmpDIRxyz")));
}

int no_locks(int, int) {
    errno = ENOLCK;
    return -1;
}

// A folder that cannot be locked (a file system without locks, a folder this user may write
// into but not open) is written unlocked, with a warning that says "locking"; leftovers are then
// left alone, since another build may be writing them.
TEST(Attacks, AFolderThatCannotBeLockedIsWrittenWithAWarning) {
    const std::string unlocked =
        "the files are written unlocked, so a build writing into the same directory at the "
        "same time could mix its files with these\n";
    {
        SCOPED_TRACE("no locks");
        TempDir dir;
        dir.write("data.lmp.tmpAbC123", "another build's, perhaps");
        DirectoryLock::lock_call = no_locks;
        const auto report = water_with_input(true).run(dir.path());
        DirectoryLock::lock_call = nullptr;
        EXPECT_EQ(directory_notes(report, dir.path()),
                  "warning: locking DIR: No locks available (os error 37); " + unlocked);
        EXPECT_EQ(entries_in(dir.path()), 4);
    }
    if (::geteuid() != 0) return;
    SCOPED_TRACE("write-only folder");
    TempDir dir;
    const std::string folder = shared_folder(dir, 0733);
    const std::string notes = as_another_user(
        [&] { return directory_notes(water_with_input(true).run(folder), folder); });
    EXPECT_EQ(notes, "warning: locking DIR: Permission denied (os error 13); " + unlocked);
    EXPECT_EQ(entries_in(folder), 3);
}

// A build into the folder that this thread's interrupted build holds (started from a signal
// handler) would wait for itself forever: it is refused at once, before any packing; a build of
// another thread is waited for, and a writer told to stop gives up waiting.
TEST(Attacks, ReentryIsRefusedAndOtherWritersWait) {
    TempDir dir, bin;
    const auto held = DirectoryLock::acquire(dir.path(), {});
    ASSERT_TRUE(held);

    auto path = packmol_on_path(bin, "touch '" + bin.file("packmol-ran") + "'; exit 1");
    BuildRequest request;
    request.species = {data_path("e2e/water.json")};
    request.counts = {2};
    request.force_field = data_path("e2e/force_field.json");
    request.out_dir = dir.path();
    request.placement = PackmolPlacement{1000};
    EXPECT_EQ(error_of(run_build(request)),
              "locking " + dir.path() +
                  ": a build of this process is writing into it already "
                  "and waits for this one to end (a build started from a signal handler or a "
                  "callback?); give this build another directory");
    EXPECT_FALSE(fs::exists(bin.file("packmol-ran")));

    int asked = 0;
    std::thread other([&] {
        const auto waited = DirectoryLock::acquire(dir.path(), [&] { return ++asked == 2; });
        ASSERT_FALSE(waited);
        EXPECT_EQ(waited.error().error_number(), ECANCELED);
    });
    other.join();
    EXPECT_EQ(asked, 2);
}
}  // namespace
}  // namespace boxwright
