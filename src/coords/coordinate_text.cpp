#include "coords/coordinate_text.hpp"

#include <limits>

#include "base/decimal.hpp"
#include "base/names.hpp"

namespace boxwright {
namespace {

bool is_blank(char ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); }

std::optional<double> special_value(std::string_view word) {
    if (equals_ignoring_ascii_case(word, "inf") || equals_ignoring_ascii_case(word, "infinity")) {
        return std::numeric_limits<double>::infinity();
    }
    if (equals_ignoring_ascii_case(word, "nan")) return std::numeric_limits<double>::quiet_NaN();
    return std::nullopt;
}

}  // namespace

std::optional<double> parse_coordinate(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::optional<double> value = unsigned_decimal_value(text);
    // The words are tried last: coordinate files hold millions of numbers and few of them.
    if (!value) value = special_value(text);
    if (!value) return std::nullopt;
    return negative ? -*value : *value;
}

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace boxwright
