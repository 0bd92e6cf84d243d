// Helpers shared by the C++ test suites: a temporary directory that removes itself, whole-file
// fixture writes, the paths of the bundled test data and examples, and a failure's message.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "ff/error.hpp"

namespace boxwright::test {

// Writes `contents` to `path` as is (bytes, no newline added), creating missing parent directories.
inline void write_file(const std::string& path, std::string_view contents) {
    auto parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out) ADD_FAILURE() << "cannot write test file " << path;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) ADD_FAILURE() << "cannot read test file " << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh directory under TMPDIR (else /tmp), removed with everything in it on destruction.
class TempDir {
  public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/boxwright-test-XXXXXX";
        if (::mkdtemp(templ.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed for " << templ;
        path_ = templ;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // The path of `relative` inside the directory (nothing is created).
    std::string file(std::string_view relative) const {
        return path_ + "/" + std::string(relative);
    }
    // Writes `contents` to `relative` inside the directory and returns its path.
    std::string write(std::string_view relative, std::string_view contents) const {
        auto path = file(relative);
        write_file(path, contents);
        return path;
    }

  private:
    std::string path_;
};

// Paths of the checked-in fixtures (tests/data) and of the bundled examples.
inline std::string data_path(std::string_view relative) {
    return std::string(TEST_DATA_DIR) + "/" + std::string(relative);
}
inline std::string example_path(std::string_view relative) {
    return std::string(EXAMPLES_DIR) + "/" + std::string(relative);
}

// The failure's message, or "<success>" when the result holds a value: lets a test compare the
// exact text with EXPECT_EQ and read a clear diff either way.
template <class T>
std::string error_of(const Result<T>& result) {
    return result ? std::string("<success>") : result.error().message;
}

// Sets an environment variable (or removes it, given nullopt) until the guard goes away.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) old_ = old;
        set(value);
    }
    ~ScopedEnv() { set(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    void set(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    std::string name_;
    std::optional<std::string> old_;
};

// An executable shell script named `name` in a fresh directory that stands first on PATH while
// this lives: a stand-in for an external program.
class ProgramOnPath {
  public:
    ProgramOnPath(std::string_view name, std::string_view script)
        : path_("PATH", bin_.path() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "")) {
        auto file = bin_.write(name, "#!/bin/sh\n" + std::string(script));
        ::chmod(file.c_str(), 0755);
    }

  private:
    TempDir bin_;
    ScopedEnv path_;
};

}  // namespace boxwright::test
