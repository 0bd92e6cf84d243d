// TempWorkDir: a private working directory in the system's temporary directory that is removed with
// everything in it when its owner goes away, on every path out of a build.
#pragma once

#include <string>

#include "base/os_error.hpp"

namespace boxwright {

class TempWorkDir {
  public:
    // A new directory named ".tmp" and six random letters or digits in $TMPDIR (else /tmp),
    // created with mode 0777 before the umask. The failure is Creating: the system's error, or
    // "too many temporary files exist" when every name tried was taken.
    static OsResult<TempWorkDir> create();

    TempWorkDir(TempWorkDir&& other) noexcept;
    TempWorkDir& operator=(TempWorkDir&& other) noexcept;
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;
    ~TempWorkDir() { remove(); }

    const std::string& path() const { return path_; }
    // Removes the tree now; a failure to remove it is ignored.
    void remove() noexcept;

  private:
    explicit TempWorkDir(std::string path) : path_(std::move(path)) {}
    std::string path_;  // empty once removed or moved from
};

}  // namespace boxwright
