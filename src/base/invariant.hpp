// The one check for invariants of the program itself: a condition that no input can make false.
// A violated invariant is a bug, not a user error, so it prints where it was checked and aborts;
// user errors are always returned as FfError values.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <source_location>

namespace boxwright {

[[noreturn]] inline void invariant_violated(const char* what, std::source_location where) {
    std::fprintf(stderr, "%s:%u: internal error: %s\n", where.file_name(),
                 static_cast<unsigned>(where.line()), what);
    std::abort();
}

// `invariant(index < size, "type index in range");`
inline void invariant(bool holds, const char* what,
                      std::source_location where = std::source_location::current()) {
    if (!holds) [[unlikely]]
        invariant_violated(what, where);
}

// `unreachable("an enumerator in range");` where no path can lead: the invariant that fails there.
[[noreturn]] inline void unreachable(const char* what,
                                     std::source_location where = std::source_location::current()) {
    invariant_violated(what, where);
}

}  // namespace boxwright
