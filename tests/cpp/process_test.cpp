#include "base/process.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "test_support.hpp"

namespace boxwright {
namespace {

using test::TempDir;

// Runs `script` with sh, which reads it from standard input, in `dir`.
OsResult<ChildOutput> run_script(const TempDir& dir, const std::string& script,
                                 std::stop_token stop = {}) {
    const std::string path = dir.write("script.sh", script);
    UniqueFd input(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return run_to_completion({"sh", input.get(), dir.path()}, std::move(stop));
}

// A process killed while it was not our child may take a moment to finish dying.
bool ends_soon(pid_t pid) {
    for (int tries = 0; tries < 500 && test::process_runs(pid); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !test::process_runs(pid);
}

pid_t pid_in(const std::string& file) { return std::stoi(test::read_file(file)); }

bool has_content(const std::string& file) {
    std::error_code missing;
    return std::filesystem::file_size(file, missing) > 0 && !missing;
}

// Once the child has exited, what the pipes hold is its output: a grandchild that keeps them
// open is not waited for (nor stopped).
TEST(RunToCompletion, CapturesBothStreamsWithoutWaitingForAGrandchildHoldingThePipes) {
    TempDir dir;
    const auto started = std::chrono::steady_clock::now();
    auto child = run_script(dir, "sleep 60 & echo $! > grandchild; pwd; echo oops >&2; exit 3");
    const auto waited = std::chrono::steady_clock::now() - started;
    const pid_t grandchild = pid_in(dir.file("grandchild"));
    EXPECT_TRUE(test::process_runs(grandchild));
    ::kill(grandchild, SIGKILL);
    ASSERT_TRUE(child);
    EXPECT_EQ(child->exit_code, 3);
    EXPECT_EQ(child->standard_output, std::filesystem::canonical(dir.path()).string() + "\n");
    EXPECT_EQ(child->standard_error, "oops\n");
    EXPECT_LT(waited, std::chrono::seconds(30));  // not a measurement: a hang would take 60 s
}

// Megabytes on both streams, standard error first, must not stall the parent, nor all be kept.
TEST(RunToCompletion, DrainsBothStreamsAtOnceAndKeepsTheirEnds) {
    TempDir dir;
    auto child = run_script(dir,
                            "head -c 3000000 /dev/zero | tr '\\0' e >&2\n"
                            "head -c 3000000 /dev/zero | tr '\\0' o");
    ASSERT_TRUE(child);
    EXPECT_LT(child->standard_output.size() + child->standard_error.size(), 300'000u);
    EXPECT_TRUE(child->standard_error.ends_with("eee") && child->standard_output.ends_with("ooo"));
}

// Asked to stop once the child has written its pid: SIGTERM, or SIGKILL for one that ignores it;
// either way it is gone, with everything it started, when the call returns.
TEST(RunToCompletion, StopsAndReapsTheChildWhenCancelled) {
    const struct {
        const char* name;
        const char* script;
    } cases[] = {
        {"sleeps", "echo $$ > pid; exec sleep 60"},
        {"ignores SIGTERM", "trap '' TERM; echo $$ > pid; while :; do sleep 0.1; done"},
        {"started a worker", "sleep 60 & echo $! > pid; wait"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        // The stop arrives from another thread once the script has started, as an interrupt would.
        std::stop_source stop;
        std::jthread interrupt([&] {
            while (!has_content(dir.file("pid")))
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            stop.request_stop();
        });
        auto child = run_script(dir, c.script, stop.get_token());
        ASSERT_FALSE(child);
        EXPECT_EQ(child.error().operation(), OsOperation::Running);
        EXPECT_EQ(child.error().error_number(), ECANCELED);
        EXPECT_TRUE(ends_soon(pid_in(dir.file("pid"))));
    }
}

TEST(RunToCompletion, LaunchFailuresCarryTheErrorNumber) {
    TempDir bin, dir;
    ::chmod(bin.write("packmol", "#!/bin/sh\n").c_str(), 0644);
    test::ScopedEnv path("PATH", bin.path());
    UniqueFd input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    const std::pair<LaunchRequest, int> cases[] = {
        {{"absent", input.get(), ""}, ENOENT},
        {{"packmol", input.get(), ""}, EACCES},
        {{"/bin/sh", input.get(), dir.file("gone")}, ENOENT},
    };
    for (const auto& [request, error_number] : cases) {
        SCOPED_TRACE(request.program);
        auto child = run_to_completion(request);
        ASSERT_FALSE(child);
        EXPECT_EQ(child.error().operation(), OsOperation::Launching);
        EXPECT_EQ(child.error().error_number(), error_number);
    }
}

}  // namespace
}  // namespace boxwright
