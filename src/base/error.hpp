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

// Propagation in one line where a chain of and_then/transform would not read well:
//     BW_TRY(auto molecule, Molecule::load(path));   // declares `molecule` on success
//     BW_TRY_VOID(write_file(path, text));            // for Result<void>
// On failure the enclosing function returns the same FfError.
#define BW_TRY_CONCAT_(a, b) a##b
#define BW_TRY_NAME_(counter) BW_TRY_CONCAT_(bw_try_result_, counter)
#define BW_TRY_WITH_(result, declaration, expression)              \
    auto result = (expression);                                    \
    if (!result) return tl::unexpected(std::move(result).error()); \
    declaration = std::move(result).value()
#define BW_TRY(declaration, expression) \
    BW_TRY_WITH_(BW_TRY_NAME_(__COUNTER__), declaration, expression)
#define BW_TRY_VOID(expression)                                       \
    do {                                                              \
        if (auto bw_try_status_ = (expression); !bw_try_status_)      \
            return tl::unexpected(std::move(bw_try_status_).error()); \
    } while (false)
