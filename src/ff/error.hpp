// FfError and Result<T>: how every fallible operation below the Python boundary reports failure.
// A failure is one message and nothing else; whoever receives it passes it on or shows it.
// Knows nothing about files, JSON or LAMMPS.
#pragma once

#include <fmt/format.h>

#include <string>
#include <tl/expected.hpp>
#include <utility>

namespace boxwright {

struct FfError {
    std::string message;

    const std::string& what() const { return message; }
    bool operator==(const FfError&) const = default;
};

template <class T>
using Result = tl::expected<T, FfError>;

// `return fail("density must be positive");` or `return fail("no {} here", name);`
inline tl::unexpected<FfError> fail(std::string message) {
    return tl::unexpected<FfError>(FfError{std::move(message)});
}

template <class... Args>
tl::unexpected<FfError> fail(fmt::format_string<Args...> text, Args&&... args) {
    return fail(fmt::format(text, std::forward<Args>(args)...));
}

}  // namespace boxwright
