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

}  // namespace

std::string quoted(std::string_view name) {
    std::string out = "\"";
    for (unsigned char ch : name) {
        if (auto escape = short_escape(ch); !escape.empty()) {
            out += escape;
        } else if (ch < 0x20 || ch == 0x7f) {
            fmt::format_to(std::back_inserter(out), "\\u{{{:x}}}", ch);
        } else {
            out += static_cast<char>(ch);
        }
    }
    out += '"';
    return out;
}

std::string name_list(std::span<const std::string> names) {
    std::vector<std::string> shown(names.size());
    std::transform(names.begin(), names.end(), shown.begin(), quoted);
    return fmt::format("[{}]", fmt::join(shown, ", "));
}

}  // namespace boxwright
