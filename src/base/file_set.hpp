// Files of one directory replaced as a set. Each member is written to a temporary file beside its
// target, and only commit() puts them in place, once every member is complete: a failure or an
// interrupt before it leaves every old file as it was and no temporary file behind, and a member
// that cannot take its target's place puts the ones before it back. The directory is locked
// while a set is written, so that two writers of one directory take turns and never leave a mix
// of their files.
#pragma once

#include <sys/types.h>

#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>
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
    // giving up fails with ECANCELED. A directory that this same thread holds already (a build
    // started from a signal handler into the directory of the build it interrupted) fails at
    // once with EDEADLK, since the wait would never end; another thread's lock is waited for.
    // Otherwise failures are the system's: ENOLCK where the file system has no locks, EACCES
    // for a directory that may be written but not opened. The operation is Locking.
    static OsResult<DirectoryLock> acquire(const std::string& dir,
                                           const std::function<bool()>& give_up);
    DirectoryLock(DirectoryLock&& other) noexcept;
    DirectoryLock& operator=(DirectoryLock&&) = delete;
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
    ~DirectoryLock();

    // The lock call itself, replaceable so that a test can play a file system without locks.
    static inline int (*lock_call)(int fd, int operation) = nullptr;

  private:
    DirectoryLock(UniqueFd fd, dev_t device, ino_t inode);
    UniqueFd fd_;  // the lock goes with the descriptor
    dev_t device_ = 0;
    ino_t inode_ = 0;
    bool held_ = false;  // registered as this thread's, until moved from or destroyed
};

class FileSet {
  public:
    // A set written into `dir`, which must exist and which the caller has locked. `give_up` is
    // asked every few megabytes of writing; true ends the writing with ECANCELED.
    FileSet(std::string dir, std::function<bool()> give_up)
        : dir_(std::move(dir)), give_up_(std::move(give_up)) {}

    // A new member named `name` in the directory; its text goes to the replacement returned,
    // which stays valid as long as the set. Failures name the member's path ("writing {}: {}").
    Result<FileReplacement*> add(const std::string& name);
    // A file of the set that this writing leaves out: commit() removes it together with the
    // rest, so that no earlier build's member stays beside the new ones.
    void leave_out(const std::string& name) { left_out_.push_back(name); }

    // Finishes every member, then puts each in its target's place, in the order they were
    // added, and removes those left out. When one cannot be put in place, those before it are
    // put back and the message ends "; nothing in {dir} was replaced" (or, should even that
    // fail, names the files that are new). The names of the files removed are returned.
    Result<std::vector<std::string>> commit();

  private:
    struct SetAside;
    // Takes back the first `placed` members and the files `moved` aside, last first; the end of
    // the message: the folder unchanged, or what in it could not be taken back.
    std::string take_back(std::span<const SetAside> moved, std::size_t placed);

    std::string dir_;
    std::function<bool()> give_up_;        // asked by every member while it is written
    std::deque<FileReplacement> members_;  // never moved once added
    std::vector<std::string> left_out_;
};

// Removes what a writer killed before it could clean up left behind: files of `dir` named after
// one of `members` followed by a temporary_name() (".tmp" and six letters or digits). Only for a
// directory its caller has locked, since another writer's temporaries look the same. Returns the
// names removed.
std::vector<std::string> remove_leftover_temporaries(const std::string& dir,
                                                     std::span<const std::string_view> members);

}  // namespace boxwright
