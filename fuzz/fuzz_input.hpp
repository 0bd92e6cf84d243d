// What the harnesses share: the loaders read paths, libFuzzer hands out bytes. Each input goes into
// one anonymous in-memory file of this process and the loader opens it by its /proc/self/fd path,
// so nothing touches the disk and nothing is left behind when a run ends in a crash.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/utf8.hpp"

namespace boxwright::fuzz {

// A harness's own check failed: report it like a crash so libFuzzer keeps the input.
[[noreturn]] inline void violated(const char* what, const std::string& detail) {
    std::fprintf(stderr, "harness check failed: %s\n%s\n", what, detail.c_str());
    std::abort();
}

inline void check(bool holds, const char* what, const std::string& detail = {}) {
    if (!holds) violated(what, detail);
}

// Replaces the contents of this process's input file with `data` and returns the file's path.
inline const std::string& input_file(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("fuzz-input", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    check(fd >= 0, "memfd_create");
    check(ftruncate(fd, 0) == 0, "ftruncate");
    std::size_t written = 0;
    while (written < size) {
        ssize_t n = pwrite(fd, data + written, size - written, static_cast<off_t>(written));
        check(n > 0, "pwrite");
        written += static_cast<std::size_t>(n);
    }
    return path;
}

// Every message reaches Python as a str, which must be valid UTF-8 (text from the input file is
// quoted into messages, so a cut through a multi-byte sequence would show up here).
inline void check_message(const std::string& message) {
    check(!message.empty(), "empty failure message");
    check(is_valid_utf8(message), "failure message is not valid UTF-8", message);
}

}  // namespace boxwright::fuzz
