// FfError and Result<T>: how every fallible operation below the Python boundary reports failure.
// A failure is its message, which says everything a reader needs; whoever receives it passes it
// on or shows it. Beside the message it may say where it lies (the input file and the line the
// message names) and whether a value the caller passed is at fault, for callers that tell
// failures apart without reading their text. Knows nothing about JSON or LAMMPS.
#pragma once

#include <fmt/format.h>

#include <cstdint>
#include <optional>
#include <string>
#include <tl/expected.hpp>
#include <utility>

namespace boxwright {

struct FfError {
    std::string message;
    // The input file at fault, as the caller named it (its bytes, not the display form), and the
    // line in it, from 1, when one line is; set where the failure is made or by the step that
    // read the file.
    std::optional<std::string> file = std::nullopt;
    std::optional<std::uint64_t> line = std::nullopt;
    // A value the caller passed that only the loaded inputs show to be wrong (positions that are
    // not one per atom), rather than a fault of an input file or of a step of the build.
    bool bad_argument = false;
    // The caller's setting at fault (its Python keyword, "kspace_accuracy"), when the failure is
    // about one setting's value: a command line shows it as a usage error.
    std::optional<std::string> option = std::nullopt;

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

// A failure of the file `file`, which the message names.
template <class... Args>
tl::unexpected<FfError> fail_in(std::string file, fmt::format_string<Args...> text,
                                Args&&... args) {
    return tl::unexpected<FfError>(
        FfError{fmt::format(text, std::forward<Args>(args)...), std::move(file)});
}

// A failure at one line of a file whose message already names both.
inline tl::unexpected<FfError> fail_at_line(std::string file, std::uint64_t line,
                                            std::string message) {
    return tl::unexpected<FfError>(FfError{std::move(message), std::move(file), line});
}

// Places every failure of a step that reads `file` in it, unless a step nearer to the failure
// already placed it: `load(path).map_error(in_file(path))`.
inline auto in_file(std::string file) {
    return [file = std::move(file)](FfError error) {
        if (!error.file) error.file = file;
        return error;
    };
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
