#include "base/file_set.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <fmt/ranges.h>
#include <stdio.h>  // renameat2
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

#include "base/utf8.hpp"

namespace boxwright {
namespace {

constexpr std::chrono::milliseconds LOCK_POLL{50};
constexpr auto LOCKING = OsOperation::Locking;

// The directories this process holds locked, and by which thread. flock cannot tell: a second
// descriptor of the same directory in the same process waits like any other process would, for
// a holder that may be the very thread now waiting.
struct HeldDirectory {
    dev_t device;
    ino_t inode;
    std::thread::id thread;
};
std::mutex held_mutex;
std::vector<HeldDirectory> held_directories;

bool held_by_this_thread(dev_t device, ino_t inode) {
    const std::lock_guard guard(held_mutex);
    return std::any_of(held_directories.begin(), held_directories.end(), [&](const auto& held) {
        return held.device == device && held.inode == inode &&
               held.thread == std::this_thread::get_id();
    });
}

int lock_without_waiting(int fd) {
    return DirectoryLock::lock_call ? DirectoryLock::lock_call(fd, LOCK_EX | LOCK_NB)
                                    : ::flock(fd, LOCK_EX | LOCK_NB);
}

}  // namespace

OsResult<DirectoryLock> DirectoryLock::acquire(const std::string& dir,
                                               const std::function<bool()>& give_up) {
    UniqueFd fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return os_failure(LOCKING);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return os_failure(LOCKING);
    if (held_by_this_thread(info.st_dev, info.st_ino)) return os_failure(LOCKING, EDEADLK);
    // Polled rather than blocking, so that an interrupt is seen while another build writes.
    while (lock_without_waiting(fd.get()) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return os_failure(LOCKING);
        if (give_up && give_up()) return os_failure(LOCKING, ECANCELED);
        std::this_thread::sleep_for(LOCK_POLL);
    }
    return DirectoryLock(std::move(fd), info.st_dev, info.st_ino);
}

DirectoryLock::DirectoryLock(UniqueFd fd, dev_t device, ino_t inode)
    : fd_(std::move(fd)), device_(device), inode_(inode), held_(true) {
    const std::lock_guard guard(held_mutex);
    held_directories.push_back({device, inode, std::this_thread::get_id()});
}

DirectoryLock::DirectoryLock(DirectoryLock&& other) noexcept
    : fd_(std::move(other.fd_)),
      device_(other.device_),
      inode_(other.inode_),
      held_(std::exchange(other.held_, false)) {}

DirectoryLock::~DirectoryLock() {
    if (!held_) return;
    const std::lock_guard guard(held_mutex);
    const auto held = std::find_if(held_directories.begin(), held_directories.end(),
                                   [this](const HeldDirectory& entry) {
                                       return entry.device == device_ && entry.inode == inode_ &&
                                              entry.thread == std::this_thread::get_id();
                                   });
    if (held != held_directories.end()) held_directories.erase(held);
}

Result<FileReplacement*> FileSet::add(const std::string& name) {
    const std::string path = join_path(dir_, name);
    BW_TRY(auto member, FileReplacement::create(path).map_error(about(path)));
    member.give_up_when(give_up_);
    members_.push_back(std::move(member));
    return &members_.back();
}

// A file left out of the set, moved aside under a temporary name until the set is in place.
struct FileSet::SetAside {
    std::string path;
    std::string parked = {};  // empty when there was nothing to move

    OsResult<void> move_aside() {
        std::string name = path + temporary_name();
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) {
            parked = std::move(name);
            return {};
        }
        if (errno == ENOENT) return {};
        return os_failure(OsOperation::Writing);
    }
    bool undo() const { return parked.empty() || ::rename(parked.c_str(), path.c_str()) == 0; }
};

Result<std::vector<std::string>> FileSet::commit() {
    for (auto& member : members_) BW_TRY_VOID(member.finish().map_error(about(member.path())));
    std::vector<SetAside> aside;
    aside.reserve(left_out_.size());
    for (const auto& name : left_out_) aside.push_back({join_path(dir_, name)});

    // Every step until the last can be taken back, so the first that fails leaves the old set.
    // (The step that failed has changed nothing, so taking it back changes nothing either.)
    std::optional<FfError> failed;
    std::size_t placed = 0, moved = 0;
    for (; placed < members_.size() && !failed; ++placed) {
        auto& member = members_[placed];
        if (auto swapped = member.swap_in(); !swapped) {
            failed = swapped.error().about(member.path());
        }
    }
    for (; moved < aside.size() && !failed; ++moved) {
        if (auto gone = aside[moved].move_aside(); !gone) {
            failed = gone.error().about(aside[moved].path);
        }
    }
    if (failed) {
        failed->message += take_back(std::span(aside).first(moved), placed);
        return tl::unexpected(std::move(*failed));
    }
    for (auto& member : members_) member.discard_old();
    std::vector<std::string> removed;
    for (const auto& file : aside) {
        if (file.parked.empty()) continue;
        ::unlink(file.parked.c_str());
        removed.push_back(file.path);
    }
    return removed;
}

std::string FileSet::take_back(std::span<const SetAside> moved, std::size_t placed) {
    std::vector<std::string> left;  // what could not be taken back
    for (std::size_t i = moved.size(); i-- > 0;) {
        if (!moved[i].undo()) left.push_back(lossy_utf8(moved[i].path) + " is removed");
    }
    for (std::size_t i = placed; i-- > 0;) {
        if (!members_[i].undo()) left.push_back(lossy_utf8(members_[i].path()) + " is new");
    }
    const std::string dir = lossy_utf8(dir_.empty() ? "." : dir_);
    return left.empty()
               ? fmt::format("; nothing in {} was replaced", dir)
               : fmt::format("; {} holds a mix of two builds: {}", dir, fmt::join(left, ", "));
}

namespace {

bool is_temporary_of(std::string_view name, std::string_view member) {
    constexpr std::string_view TMP = ".tmp";
    constexpr std::size_t RANDOM = 6;
    if (name.size() != member.size() + TMP.size() + RANDOM || !name.starts_with(member)) {
        return false;
    }
    name.remove_prefix(member.size());
    if (!name.starts_with(TMP)) return false;
    name.remove_prefix(TMP.size());
    return std::all_of(name.begin(), name.end(), [](char ch) {
        return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9');
    });
}

}  // namespace

std::vector<std::string> remove_leftover_temporaries(const std::string& dir,
                                                     std::span<const std::string_view> members) {
    std::vector<std::string> removed;
    DIR* listing = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!listing) return removed;  // nothing to tidy where nothing can be listed
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        const bool ours = std::any_of(members.begin(), members.end(), [&](std::string_view member) {
            return is_temporary_of(name, member);
        });
        if (!ours) continue;
        // Names only: unlinkat neither follows a link nor removes a directory.
        if (::unlinkat(::dirfd(listing), entry->d_name, 0) == 0) removed.emplace_back(name);
    }
    ::closedir(listing);
    std::sort(removed.begin(), removed.end());
    return removed;
}

}  // namespace boxwright
