#include "base/file_set.hpp"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace boxwright {
namespace {

constexpr std::chrono::milliseconds LOCK_POLL{50};

}  // namespace

OsResult<DirectoryLock> DirectoryLock::acquire(const std::string& dir,
                                               const std::function<bool()>& give_up) {
    UniqueFd fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return os_failure(OsOperation::Opening);
    // Polled rather than blocking, so that an interrupt is seen while another build writes.
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return os_failure(OsOperation::Opening);
        if (give_up && give_up()) return os_failure(OsOperation::Opening, ECANCELED);
        std::this_thread::sleep_for(LOCK_POLL);
    }
    return DirectoryLock(std::move(fd));
}

OsResult<FileSet> FileSet::open(const std::string& dir, const std::function<bool()>& give_up) {
    BW_TRY(auto lock, DirectoryLock::acquire(dir, give_up));
    return FileSet(dir, std::move(lock), give_up);
}

Result<FileReplacement*> FileSet::add(const std::string& name) {
    const std::string path = join_path(dir_, name);
    BW_TRY(auto member, FileReplacement::create(path).map_error(about(path)));
    member.give_up_when(give_up_);
    members_.push_back(std::move(member));
    return &members_.back();
}

Result<void> FileSet::commit() {
    for (auto& member : members_) BW_TRY_VOID(member.finish().map_error(about(member.path())));
    for (auto& member : members_) BW_TRY_VOID(member.commit().map_error(about(member.path())));
    return {};
}

}  // namespace boxwright
