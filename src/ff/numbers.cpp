#include "ff/numbers.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

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

void append_plain_number(fmt::memory_buffer& out, double value) {
    auto text = plain_number(value);
    out.append(text.data(), text.data() + text.size());
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
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ", ";
        out += list_number(values[i]);
    }
    out += ']';
    return out;
}

std::string escaped_name(std::string_view name) {
    std::string out = "\"";
    for (unsigned char ch : name) {
        // clang-format off
        switch (ch) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (ch < 0x20 || ch == 0x7f) {
                    out += fmt::format("\\u{{{:x}}}", ch);
                } else {
                    out += static_cast<char>(ch);
                }
        }
        // clang-format on
    }
    out += '"';
    return out;
}

std::string name_list(std::span<const std::string> names) {
    std::string out = "[";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += ", ";
        out += escaped_name(names[i]);
    }
    out += ']';
    return out;
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
    auto size = static_cast<int>(end - buffer.data());
    for (int pad = width - size; pad > 0; --pad) out.push_back(' ');
    out.append(buffer.data(), end);
}

void append_fixed(fmt::memory_buffer& out, double value, int decimals, int width) {
    std::array<char, 400> buffer;
    auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                std::chars_format::fixed, decimals);
    auto size = static_cast<int>(result.ptr - buffer.data());
    for (int pad = width - size; pad > 0; --pad) out.push_back(' ');
    out.append(buffer.data(), result.ptr);
}

namespace {

// Length of the valid UTF-8 sequence at the start of `s`, or 0 when it is not valid.
std::size_t utf8_sequence_length(std::string_view s) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    auto continuation = [&](std::size_t i) { return i < s.size() && (byte(i) & 0xC0) == 0x80; };
    unsigned char b0 = byte(0);
    if (b0 < 0x80) return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF) return continuation(1) ? 2 : 0;
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (s.size() < 2) return 0;
        unsigned char b1 = byte(1);
        if (b0 == 0xE0 && b1 < 0xA0) return 0;  // overlong
        if (b0 == 0xED && b1 > 0x9F) return 0;  // surrogate
        return continuation(1) && continuation(2) ? 3 : 0;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (s.size() < 2) return 0;
        unsigned char b1 = byte(1);
        if (b0 == 0xF0 && b1 < 0x90) return 0;  // overlong
        if (b0 == 0xF4 && b1 > 0x8F) return 0;  // beyond U+10FFFF
        return continuation(1) && continuation(2) && continuation(3) ? 4 : 0;
    }
    return 0;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
    while (!bytes.empty()) {
        auto length = utf8_sequence_length(bytes);
        if (length == 0) return false;
        bytes.remove_prefix(length);
    }
    return true;
}

std::string lossy_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        auto length = utf8_sequence_length(bytes);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            length = 1;
        } else {
            out.append(bytes.substr(0, length));
        }
        bytes.remove_prefix(length);
    }
    return out;
}

}  // namespace boxwright
