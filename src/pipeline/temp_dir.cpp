#include "pipeline/temp_dir.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include "base/io.hpp"

namespace boxwright {
namespace {

constexpr int MAX_ATTEMPTS = 65536;

// $TMPDIR when it is set and not empty, else /tmp.
std::string system_temp_dir() {
    const char* configured = std::getenv("TMPDIR");
    return configured != nullptr && *configured != '\0' ? configured : "/tmp";
}

}  // namespace

OsResult<TempWorkDir> TempWorkDir::create() {
    std::string parent = system_temp_dir();
    for (int attempt = 0; attempt < MAX_ATTEMPTS; ++attempt) {
        std::string path = join_path(parent, temporary_name());
        if (::mkdir(path.c_str(), 0777) == 0) return TempWorkDir(std::move(path));
        if (errno != EEXIST) return os_failure(OsOperation::Creating);
    }
    return refusal(OsOperation::Creating, "too many temporary files exist");
}

TempWorkDir::TempWorkDir(TempWorkDir&& other) noexcept : path_(std::exchange(other.path_, {})) {}

TempWorkDir& TempWorkDir::operator=(TempWorkDir&& other) noexcept {
    if (this != &other) {
        remove();
        path_ = std::exchange(other.path_, {});
    }
    return *this;
}

void TempWorkDir::remove() noexcept {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    path_.clear();
}

}  // namespace boxwright
