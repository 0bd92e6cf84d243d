#include "base/io.hpp"

#include <gtest/gtest.h>

#include <functional>

#include "test_support.hpp"

namespace boxwright {
namespace {

using test::TempDir;

// Each file helper's failure, once told its path, reads as the user sees it: the operation's own
// words, the path, then the system's text or the refusal. A path holding a NUL byte is refused
// before any call could quietly act on the shorter name in front of it.
TEST(FileHelpers, FailuresNameTheOperationAndThePath) {
    TempDir dir;
    const std::string missing = dir.file("missing");
    const std::string blocked = dir.write("plain", "") + "/sub";
    const std::string nul = dir.file(std::string("a\0b", 3));
    auto read_text = [](const std::string& p) {
        return read_utf8_file(p).transform([](auto&&) {});
    };
    auto open_file = [](const std::string& p) {
        return open_for_reading(p).transform([](auto&&) {});
    };
    auto replace_text = [](const std::string& p) { return replace_file(p, "x"); };
    const struct {
        std::string verb;
        std::function<OsResult<void>(const std::string&)> call;
        std::string path, system_text;
    } cases[] = {
        {"reading", read_text, missing, "No such file or directory (os error 2)"},
        {"opening", open_file, missing, "No such file or directory (os error 2)"},
        {"creating", create_directories, blocked, "Not a directory (os error 20)"},
        {"writing", replace_text, missing + "/file", "No such file or directory (os error 2)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.verb);
        auto failed = c.call(c.path);
        ASSERT_FALSE(failed);
        EXPECT_EQ(failed.error().about(c.path).message,
                  c.verb + " " + c.path + ": " + c.system_text);
        auto refused = c.call(nul);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().about(nul).message,
                  c.verb + " " + nul + ": file name contained an unexpected NUL byte");
    }
    EXPECT_EQ(test::entries_in(dir.path()), 1);  // only "plain": nothing was created beside it
}

}  // namespace
}  // namespace boxwright
