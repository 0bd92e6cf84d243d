#include "coords/reader_support.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/numbers.hpp"
#include "coords/coordinate_text.hpp"
#include "coords/pdb_record.hpp"

namespace boxwright::coords {
namespace {

bool is_field_blank(char ch) { return ch == ' ' || ch == '\t'; }

template <class Integer>
std::optional<Integer> parse_whole(std::string_view text) {
    Integer value{};
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || stop != end) return std::nullopt;
    return value;
}

}  // namespace

Result<std::string_view> required_line(LineReader& lines, std::string_view what) {
    BW_TRY(auto line, lines.next());
    if (!line) return fail_at_end(lines, "the file ends before {}", what);
    return *line;
}

std::size_t split_fields(std::string_view line, std::span<std::string_view> fields) {
    std::size_t count = 0, i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_field_blank(line[i])) ++i;
        if (i == line.size()) break;
        const std::size_t begin = i;
        while (i < line.size() && !is_field_blank(line[i])) ++i;
        if (count < fields.size()) fields[count] = line.substr(begin, i - begin);
        ++count;
    }
    return count;
}

std::optional<std::uint64_t> parse_count(std::string_view text) {
    return parse_whole<std::uint64_t>(text);
}

std::optional<std::int64_t> parse_integer(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    return parse_whole<std::int64_t>(text);
}

Result<double> finite_number(const LineReader& lines, std::string_view what,
                             std::string_view field) {
    const auto value = parse_coordinate(field);
    if (!value || !std::isfinite(*value)) return not_finite(lines, what, field);
    return *value;
}

tl::unexpected<FfError> not_finite(const LineReader& lines, std::string_view what,
                                   std::string_view field) {
    return fail_at(lines, "{} '{}' is not a finite number", what, field);
}

Result<void> check_atom_count(const LineReader& lines, std::uint64_t found,
                              const ExpectedAtoms& expected, FrameContext frame) {
    if (found == expected.size()) return {};
    if (frame.several) {
        return fail("{}: frame {} has {} atoms but the species and counts need {}",
                    lines.shown_path(), frame.number, found, expected.size());
    }
    return fail("{} has {} atoms but the species and counts need {}", lines.shown_path(), found,
                expected.size());
}

Result<void> check_atom_name(const LineReader& lines, const ExpectedAtoms& expected,
                             std::uint64_t index, std::string_view found, std::size_t characters) {
    const auto atom = expected.at(index);
    const std::string_view name = leading_characters(atom.name, characters);
    if (found == name) return {};
    return fail_at(lines,
                   "atom {} is named '{}' but the species and counts expect '{}' of {} there",
                   index + 1, found, name, atom.species);
}

Result<double> settle_box(const LineReader& lines, std::optional<StatedBox> stated,
                          std::optional<double> given) {
    if (!stated) {
        if (given) return *given;
        return fail("{} states no cubic box, so the box length must be given", lines.shown_path());
    }
    if (given && !same_length(*given, stated->length)) {
        return fail_at_line(lines, stated->line,
                            fmt::format("the file's box edge {} differs from the box length {} "
                                        "given",
                                        plain_number(stated->length), plain_number(*given)));
    }
    return given.value_or(stated->length);
}

bool same_length(double a, double b) {
    return std::fabs(a - b) <= 1e-10 * std::max(std::fabs(a), std::fabs(b));
}

}  // namespace boxwright::coords
