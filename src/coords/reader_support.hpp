// What the coordinate readers share: the fields of a line, whole and finite numbers, the checks of
// the atom count and the atom names, and the "{path}:{line}: " form of their messages.
// Internal to src/coords.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "base/error.hpp"
#include "base/quoted.hpp"
#include "base/text_lines.hpp"
#include "coords/expected_atoms.hpp"

namespace boxwright::coords {

// Text from the file goes into a message escaped and cut short: a line may hold anything.
template <class T>
auto shown_in_message(const T& argument) {
    if constexpr (std::is_convertible_v<const T&, std::string_view>) {
        return excerpt(std::string_view(argument));
    } else {
        return argument;
    }
}

// The message with every text argument shown_in_message; `text` was checked against the
// arguments where it was written.
template <class... Args>
std::string message_of(fmt::string_view text, const Args&... args) {
    auto shown = std::make_tuple(shown_in_message(args)...);
    return std::apply(
        [&](const auto&... a) { return fmt::vformat(text, fmt::make_format_args(a...)); }, shown);
}

// A failure of line `line` of the file `lines` reads: "{path}:{line}: " and the text.
inline tl::unexpected<FfError> fail_at_line(const LineReader& lines, std::uint64_t line,
                                            std::string_view text) {
    return boxwright::fail_at_line(lines.path(), line,
                                   fmt::format("{}:{}: {}", lines.shown_path(), line, text));
}

// A failure of the line `lines` returned last: "{path}:{line}: " and the text.
template <class... Args>
tl::unexpected<FfError> fail_at(const LineReader& lines, fmt::format_string<Args...> text,
                                Args&&... args) {
    return fail_at_line(lines, lines.line_number(), message_of(fmt::string_view(text), args...));
}

// How a message names the coordinate field of each axis.
inline constexpr const char* COORDINATE_FIELD[3] = {"the x coordinate", "the y coordinate",
                                                    "the z coordinate"};

// A failure at the end of the file, named at the line where more was expected (the one after
// the last).
template <class... Args>
tl::unexpected<FfError> fail_at_end(const LineReader& lines, fmt::format_string<Args...> text,
                                    Args&&... args) {
    return fail_at_line(lines, lines.line_number() + 1,
                        message_of(fmt::string_view(text), args...));
}

// The next line, or "{path}:{line}: the file ends before {what}" at the end of the file.
Result<std::string_view> required_line(LineReader& lines, std::string_view what);

// Splits `line` at runs of spaces and tabs. Stores the first fields.size() fields and returns
// how many the line has.
std::size_t split_fields(std::string_view line, std::span<std::string_view> fields);

// Decimal digits only, within 64 bits.
std::optional<std::uint64_t> parse_count(std::string_view text);
// An optional sign, then decimal digits, within 64 bits.
std::optional<std::int64_t> parse_integer(std::string_view text);

// A field of the coordinate grammar that is finite; otherwise not_finite's failure.
Result<double> finite_number(const LineReader& lines, std::string_view what,
                             std::string_view field);
// "{path}:{line}: {what} '{field}' is not a finite number"
tl::unexpected<FfError> not_finite(const LineReader& lines, std::string_view what,
                                   std::string_view field);

// The frame a reader reads, and whether the file has others (then its messages name the frame).
struct FrameContext {
    std::uint64_t number = 1;
    bool several = false;
};

// "{path} has {found} atoms but the species and counts need {needed}" unless they agree; in a
// file of several frames, "{path}: frame {number} has {found} atoms but ...".
Result<void> check_atom_count(const LineReader& lines, std::uint64_t found,
                              const ExpectedAtoms& expected, FrameContext frame = {});

// The atom at 0-based `index` must be named as its pseudo atom, cut to `characters` characters
// where the file's name column is that narrow.
Result<void> check_atom_name(const LineReader& lines, const ExpectedAtoms& expected,
                             std::uint64_t index, std::string_view found,
                             std::size_t characters = std::string_view::npos);

// A box the file states: its edge and the line that states it.
struct StatedBox {
    double length = 0;
    std::uint64_t line = 0;
};

// The box edge once the file has had its place to state one: the given length, else the file's.
// "{path}:{line}: the file's box edge {} differs from the box length {} given" when both are there
// and disagree; "{path} states no cubic box, so the box length must be given" when neither is.
Result<double> settle_box(const LineReader& lines, std::optional<StatedBox> stated,
                          std::optional<double> given);

// Two edges of a box are the same length when they agree to about ten significant digits, which
// the decimal texts of one cube always do.
bool same_length(double a, double b);

}  // namespace boxwright::coords
