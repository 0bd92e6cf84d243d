#include "base/numbers.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace boxwright {
namespace {

// std::to_chars gives correctly rounded digits; the layouts required here (no exponent ever,
// exponents without "+" or leading zeros) are not printf or {fmt} forms, so they are thin rewrites
// of its output.
struct Chars {
    std::array<char, 64> buffer;
    std::size_t size;
    std::string_view view() const { return {buffer.data(), size}; }
};

Chars shortest_scientific(double value) {
    Chars c{};
    auto result = std::to_chars(c.buffer.data(), c.buffer.data() + c.buffer.size(), value,
                                std::chars_format::scientific);
    c.size = static_cast<std::size_t>(result.ptr - c.buffer.data());
    return c;
}

// Splits "-1.2345e-07" into sign, digits "12345" and decimal exponent -7.
struct Decomposed {
    bool negative;
    std::string_view digits_with_point;
    int exponent;
};

Decomposed decompose(std::string_view sci) {
    Decomposed d{false, sci, 0};
    if (!sci.empty() && sci.front() == '-') {
        d.negative = true;
        sci.remove_prefix(1);
    }
    auto e = sci.find('e');
    d.digits_with_point = sci.substr(0, e);
    std::from_chars(sci.data() + e + 1 + (sci[e + 1] == '+'), sci.data() + sci.size(), d.exponent);
    return d;
}

std::string digits_only(std::string_view digits_with_point) {
    std::string digits;
    for (char ch : digits_with_point) {
        if (ch != '.') digits.push_back(ch);
    }
    return digits;
}

// Places the shortest digits around the decimal point without an exponent.
void append_positional(std::string& out, const std::string& digits, int exponent,
                       bool force_fraction) {
    int point = exponent + 1;  // digits before the point
    if (point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
        out += digits;
        return;
    }
    auto before = static_cast<std::size_t>(point);
    if (before >= digits.size()) {
        out += digits;
        out.append(before - digits.size(), '0');
        if (force_fraction) out += ".0";
        return;
    }
    out.append(digits, 0, before);
    out += '.';
    out.append(digits, before);
}

std::string non_finite(double value) {
    if (std::isnan(value)) return "NaN";
    return value < 0 ? "-inf" : "inf";
}

}  // namespace

std::string plain_number(double value) {
    if (!std::isfinite(value)) return non_finite(value);
    if (value == 0) return std::signbit(value) ? "-0" : "0";
    auto chars = shortest_scientific(value);
    auto d = decompose(chars.view());
    std::string out = d.negative ? "-" : "";
    append_positional(out, digits_only(d.digits_with_point), d.exponent, false);
    return out;
}

std::string list_number(double value) {
    if (!std::isfinite(value)) return non_finite(value);
    if (value == 0) return std::signbit(value) ? "-0.0" : "0.0";
    auto chars = shortest_scientific(value);
    auto d = decompose(chars.view());
    std::string out = d.negative ? "-" : "";
    double magnitude = std::fabs(value);
    if (magnitude < 1e-4 || magnitude >= 1e16) {
        out += d.digits_with_point;
        out += 'e';
        out += std::to_string(d.exponent);
        return out;
    }
    append_positional(out, digits_only(d.digits_with_point), d.exponent, true);
    return out;
}

std::string number_list(std::span<const double> values) {
    std::vector<std::string> shown(values.size());
    std::transform(values.begin(), values.end(), shown.begin(), list_number);
    return fmt::format("[{}]", fmt::join(shown, ", "));
}

void append_exp6(fmt::memory_buffer& out, double value, int width) {
    std::array<char, 48> buffer;
    char* end = buffer.data();
    if (!std::isfinite(value)) {
        auto text = non_finite(value);
        end = std::copy(text.begin(), text.end(), buffer.data());
    } else {
        auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::scientific, 6);
        // Rewrite the exponent "e+01" / "e-07" as "e1" / "e-7".
        char* e = std::find(buffer.data(), result.ptr, 'e');
        char* digits = e + 1;
        bool negative = *digits == '-';
        if (*digits == '+' || *digits == '-') ++digits;
        while (digits + 1 < result.ptr && *digits == '0') ++digits;
        end = e + 1;
        if (negative) *end++ = '-';
        end = std::copy(digits, result.ptr, end);
    }
    // Padded here rather than by a {fmt} width: that measures a string's display width code point
    // by code point, which bench/write_outputs_bench shows to slow the data file down noticeably
    // at three coordinates per atom.
    auto size = static_cast<int>(end - buffer.data());
    for (int pad = width - size; pad > 0; --pad) out.push_back(' ');
    out.append(buffer.data(), end);
}

double exp6_value(double value) {
    if (!std::isfinite(value)) return value;
    std::array<char, 48> buffer;
    const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                       std::chars_format::scientific, 6);
    double read = value;
    std::from_chars(buffer.data(), written.ptr, read);
    return read;
}

}  // namespace boxwright
