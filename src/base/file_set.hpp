// Files of one directory replaced as a set. Each member is written to a temporary file beside its
// target, and only commit() renames them, once every member is complete: a failure or an interrupt
// before it leaves every old file as it was and no temporary file behind. The directory is locked
// for the life of the set, so that two writers of one directory take turns and never leave a mix
// of their files.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "base/io.hpp"
#include "base/os_error.hpp"
#include "base/unique_fd.hpp"

namespace boxwright {

// An exclusive advisory lock on a directory, held on the directory itself (flock on its
// descriptor), so that nothing is left in it. Released when the lock goes away.
class DirectoryLock {
  public:
    // Waits for the lock, asking `give_up` a few times a second while another holder keeps it;
    // giving up fails as Opening with ECANCELED.
    static OsResult<DirectoryLock> acquire(const std::string& dir,
                                           const std::function<bool()>& give_up);

  private:
    explicit DirectoryLock(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;  // the lock goes with the descriptor
};

class FileSet {
  public:
    // Locks `dir`, which must exist. `give_up` is asked while another holder keeps the lock and
    // every few megabytes of writing; true ends either with ECANCELED.
    static OsResult<FileSet> open(const std::string& dir, const std::function<bool()>& give_up);

    // A new member named `name` in the directory; its text goes to the replacement returned,
    // which stays valid as long as the set. Failures name the member's path ("writing {}: {}").
    Result<FileReplacement*> add(const std::string& name);
    // Finishes every member, then renames each over its target, in the order they were added.
    Result<void> commit();

  private:
    FileSet(std::string dir, DirectoryLock lock, std::function<bool()> give_up)
        : dir_(std::move(dir)), lock_(std::move(lock)), give_up_(std::move(give_up)) {}

    std::string dir_;
    DirectoryLock lock_;
    std::function<bool()> give_up_;        // asked by every member while it is written
    std::deque<FileReplacement> members_;  // never moved once added
};

}  // namespace boxwright
