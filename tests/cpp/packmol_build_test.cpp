#include "pipeline/packmol_build.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>

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

TEST(TempWorkDir, MissingTmpdirIsAnOsError) {
    test::TempDir tmp;
    test::ScopedEnv tmpdir("TMPDIR", tmp.file("gone"));
    auto dir = TempWorkDir::create();
    ASSERT_FALSE(dir);
    EXPECT_EQ(dir.error(), "No such file or directory (os error 2)");
}

}  // namespace
}  // namespace boxwright
