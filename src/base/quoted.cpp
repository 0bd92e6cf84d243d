#include "base/quoted.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace boxwright {
namespace {

// The two-character escape of a byte that has one; empty for every other byte.
std::string_view short_escape(unsigned char ch) {
    switch (ch) {
        case '"':
            return "\\\"";
        case '\\':
            return "\\\\";
        case '\n':
            return "\\n";
        case '\r':
            return "\\r";
        case '\t':
            return "\\t";
        default:
            return {};
    }
}

bool is_control(unsigned char ch) { return ch < 0x20 || ch == 0x7f; }

void escape_control(unsigned ch, std::string& out) {
    fmt::format_to(std::back_inserter(out), "\\u{{{:x}}}", ch);
}

// The UTF-8 form of U+0080 to U+009F: 0xC2 and a second byte from 0x80 to 0x9F.
bool is_c1_control(std::string_view text, std::size_t i) {
    const auto second = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    return static_cast<unsigned char>(text[i]) == 0xc2 && second >= 0x80 && second <= 0x9f;
}

bool starts_character(unsigned char ch) { return (ch & 0xc0) != 0x80; }

}  // namespace

std::string quoted(std::string_view name) {
    std::string out = "\"";
    for (unsigned char ch : name) {
        if (auto escape = short_escape(ch); !escape.empty()) {
            out += escape;
        } else if (is_control(ch)) {
            escape_control(ch, out);
        } else {
            out += static_cast<char>(ch);
        }
    }
    out += '"';
    return out;
}

std::string excerpt(std::string_view text) {
    std::string out;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto ch = static_cast<unsigned char>(text[i]);
        if (starts_character(ch) && ++characters > EXCERPT_CHARACTERS) {
            fmt::format_to(std::back_inserter(out), "... ({} bytes in all)", text.size());
            break;
        }
        if (is_c1_control(text, i)) {
            escape_control(static_cast<unsigned char>(text[++i]), out);
        } else if (ch == '\t' || !is_control(ch)) {
            out += static_cast<char>(ch);
        } else {
            escape_control(ch, out);
        }
    }
    return out;
}

bool needs_escaping(std::string_view path) {
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (is_control(static_cast<unsigned char>(path[i])) || is_c1_control(path, i)) return true;
    }
    return false;
}

std::string shown_path(std::string_view path) {
    if (!needs_escaping(path)) return std::string(path);
    std::string out = "\"";
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto ch = static_cast<unsigned char>(path[i]);
        if (is_c1_control(path, i)) {
            escape_control(static_cast<unsigned char>(path[++i]), out);
        } else if (auto escape = short_escape(ch); !escape.empty()) {
            out += escape;
        } else if (is_control(ch)) {
            escape_control(ch, out);
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out + '"';
}

std::string name_list(std::span<const std::string> names) {
    std::vector<std::string> shown(names.size());
    std::transform(names.begin(), names.end(), shown.begin(), quoted);
    return fmt::format("[{}]", fmt::join(shown, ", "));
}

}  // namespace boxwright
