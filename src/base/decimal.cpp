#include "base/decimal.hpp"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

namespace boxwright {
namespace {

bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }

// The shape of an unsigned decimal number, and the power of ten just above its leading digit
// ("123" gives 3, "0.05" gives -1), which decides between infinity and zero when the value is out
// of the double range.
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
        // Saturates far beyond any digit count of a text in memory, so the sum below cannot
        // overflow; the exact size of a huge exponent does not matter.
        constexpr std::int64_t EXPONENT_LIMIT = 1'000'000'000'000'000'000;
        for (; i < text.size() && is_digit(text[i]); ++i) {
            if (exponent < EXPONENT_LIMIT / 10) exponent = exponent * 10 + (text[i] - '0');
        }
        if (i == first) return {};
        if (negative) exponent = -exponent;
    }
    if (i != text.size()) return {};
    std::int64_t lead = integer_digits > 0 ? integer_digits : -fraction_zeros;
    return {true, lead + exponent};
}

}  // namespace

std::optional<double> unsigned_decimal_value(std::string_view text) {
    // A text that starts with a digit or a point and that from_chars reads whole is a number of
    // this grammar (from_chars knows no sign here, and its words and hex forms start otherwise),
    // so the scan is needed only to tell infinity from zero for a value out of range. Coordinate
    // files hold millions of numbers: the common case is one pass.
    if (text.empty() || !(is_digit(text.front()) || text.front() == '.')) return std::nullopt;
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc{} && end == text.data() + text.size()) return value;
    if (error != std::errc::result_out_of_range) return std::nullopt;
    DecimalShape shape = scan_decimal(text);
    if (!shape.valid) return std::nullopt;
    return shape.magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

}  // namespace boxwright
