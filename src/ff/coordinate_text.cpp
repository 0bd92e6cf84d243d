#include "ff/coordinate_text.hpp"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

#include "ff/names.hpp"

namespace boxwright {
namespace {

bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }

bool is_blank(char ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); }

std::optional<double> special_value(std::string_view word) {
    if (equals_ignoring_ascii_case(word, "inf") || equals_ignoring_ascii_case(word, "infinity")) {
        return std::numeric_limits<double>::infinity();
    }
    if (equals_ignoring_ascii_case(word, "nan")) return std::numeric_limits<double>::quiet_NaN();
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
    // Starting with a digit or a point, a text that from_chars reads whole is a decimal number of
    // the grammar; only a value out of range needs the full scan. Coordinate files hold millions
    // of fields, so the common case is one pass.
    std::optional<double> value;
    if (text.empty() || !(is_digit(text.front()) || text.front() == '.')) {
        value = special_value(text);
    } else {
        double parsed = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
        if (error == std::errc{} && end == text.data() + text.size()) {
            value = parsed;
        } else if (error == std::errc::result_out_of_range) {
            DecimalShape shape = scan_decimal(text);
            if (!shape.valid) return std::nullopt;
            value = shape.magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        }
    }
    if (!value) return std::nullopt;
    return negative ? -*value : *value;
}

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace boxwright
