#include "packmol/pdb.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

#include "ff/io.hpp"
#include "ff/numbers.hpp"

namespace boxwright {
namespace {

bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }

bool is_blank(char ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); }

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

bool equals_ignoring_case(std::string_view text, std::string_view lower_word) {
    if (text.size() != lower_word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char ch = text[i];
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
        if (ch != lower_word[i]) return false;
    }
    return true;
}

std::optional<double> special_value(std::string_view word) {
    if (equals_ignoring_case(word, "inf") || equals_ignoring_case(word, "infinity")) {
        return std::numeric_limits<double>::infinity();
    }
    if (equals_ignoring_case(word, "nan")) return std::numeric_limits<double>::quiet_NaN();
    return std::nullopt;
}

// The shape of an unsigned decimal number, and the power of ten of its leading digit, which
// decides between infinity and zero when the value is out of the double range.
struct DecimalShape {
    bool valid = false;
    std::int64_t magnitude = 0;
};

DecimalShape scan_decimal(std::string_view text) {
    std::size_t i = 0;
    std::int64_t integer_digits = 0;  // after leading zeros
    std::int64_t fraction_zeros = 0;  // zeros right after the point, while the integer part is 0
    std::size_t digits = 0;
    bool seen_nonzero = false;
    for (; i < text.size() && is_digit(text[i]); ++i, ++digits) {
        if (text[i] != '0') seen_nonzero = true;
        if (seen_nonzero) ++integer_digits;
    }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && is_digit(text[i]); ++i, ++digits) {
            if (text[i] != '0') seen_nonzero = true;
            if (!seen_nonzero) ++fraction_zeros;
        }
    }
    if (digits == 0) return {};
    std::int64_t exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negative = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t first = i;
        for (; i < text.size() && is_digit(text[i]); ++i) {
            // Saturates long before overflow; the exact size of a huge exponent does not matter.
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');
        }
        if (i == first) return {};
        if (negative) exponent = -exponent;
    }
    if (i != text.size()) return {};
    std::int64_t lead = integer_digits > 0 ? integer_digits : -fraction_zeros;
    return {true, lead + exponent};
}

}  // namespace

std::optional<double> parse_coordinate(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::optional<double> value = special_value(text);
    if (!value) {
        DecimalShape shape = scan_decimal(text);
        if (!shape.valid) return std::nullopt;
        double parsed = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
        if (error == std::errc::result_out_of_range) {
            parsed = shape.magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        } else if (error != std::errc{} || end != text.data() + text.size()) {
            return std::nullopt;
        }
        value = parsed;
    }
    return negative ? -*value : *value;
}

Result<std::vector<Position>> parse_packed_pdb(const std::string& path) {
    BW_TRY(auto text, read_utf8_file(path).map_error(about("packmol output " + path)));

    struct Field {
        std::size_t begin;
        char axis;
    };
    static constexpr Field FIELDS[] = {{30, 'x'}, {38, 'y'}, {46, 'z'}};
    static constexpr std::size_t FIELD_WIDTH = 8;
    static constexpr std::size_t RECORD_LENGTH = 54;

    std::vector<Position> positions;
    std::string_view rest = text;
    while (!rest.empty()) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        // Only a carriage return that precedes a line feed belongs to the line ending.
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }

        if (line.size() < 6) continue;
        std::string_view record = line.substr(0, 6);
        if (record != "HETATM" && record != "ATOM  ") continue;
        if (line.size() < RECORD_LENGTH) {
            return fail("malformed PDB line in {}: {}", lossy_utf8(path), line);
        }
        Position position{};
        for (std::size_t axis = 0; axis < 3; ++axis) {
            auto value = parse_coordinate(trim(line.substr(FIELDS[axis].begin, FIELD_WIDTH)));
            if (!value) {
                return fail("bad {} coordinate in {}: {}", FIELDS[axis].axis, lossy_utf8(path),
                            line);
            }
            position[axis] = *value;
        }
        positions.push_back(position);
    }
    return positions;
}

}  // namespace boxwright
