#include "base/names.hpp"

#include <algorithm>

#include "base/quoted.hpp"

namespace boxwright {

NamePair norm_pair_key(std::string_view a, std::string_view b) {
    if (b < a) return {std::string(b), std::string(a)};
    return {std::string(a), std::string(b)};
}

bool equals_ignoring_ascii_case(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (ascii_lower(text[i]) != ascii_lower(word[i])) return false;
    }
    return true;
}

bool has_control_character(std::string_view name) {
    return std::any_of(name.begin(), name.end(),
                       [](char ch) { return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f; });
}

Result<void> check_pseudo_atom_name(std::string_view name, std::string_view shown_path) {
    if (!has_control_character(name)) return {};
    return fail("pseudo-atom name {} in {} contains a control character", quoted(name), shown_path);
}

}  // namespace boxwright
