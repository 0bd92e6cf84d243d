#include "base/names.hpp"

#include <fmt/format.h>

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

std::optional<std::string> name_refusal(std::string_view what, std::string_view name,
                                        std::string_view shown_path) {
    const bool control = std::any_of(name.begin(), name.end(), [](char ch) {
        return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f;
    });
    if (control) {
        return fmt::format("{} {} in {} contains a control character", what, quoted(name),
                           shown_path);
    }
    if (name.find_first_of("\"&") != std::string_view::npos) {
        return fmt::format(
            "{} {} in {} contains '\"' or '&', which LAMMPS reads as syntax even "
            "in a comment",
            what, quoted(name), shown_path);
    }
    return std::nullopt;
}

Result<void> check_pseudo_atom_name(std::string_view name, std::string_view shown_path) {
    if (auto refusal = name_refusal("pseudo-atom name", name, shown_path)) return fail(*refusal);
    return {};
}

}  // namespace boxwright
