// Hashing for maps keyed by pseudo-atom names and by tuples of them, with lookups by string_view
// so that a hot lookup never builds a std::string.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.hpp"

namespace boxwright {

struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const noexcept {
        return std::hash<std::string_view>{}(name);
    }
};

template <std::size_t N>
struct NameTupleHash {
    std::size_t operator()(const std::array<std::string, N>& names) const noexcept {
        std::size_t seed = 0;
        for (const auto& name : names) {
            seed ^= NameHash{}(name) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
        }
        return seed;
    }
};

// Names compare byte by byte as unsigned values, a prefix before the longer name; this is exactly
// std::string_view's ordering with char_traits<char>, which compares as unsigned char.
using NamePair = std::array<std::string, 2>;

// The canonical order of a pair of names: the smaller name first; equal names give (a, a).
NamePair norm_pair_key(std::string_view a, std::string_view b);

// Keywords of the input files ("lennard-jones", "rigid", ...) match whatever their ASCII letter
// case; only A-Z and a-z fold, every other byte must be equal.
constexpr char ascii_lower(char ch) {
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}
bool equals_ignoring_ascii_case(std::string_view text, std::string_view word);

// Names end up in comments of the LAMMPS files, where a line feed would end the comment and turn
// the rest of the name into a command, three double quotes make LAMMPS join the lines that follow
// into one, and a line ending in '&' continues onto the next. So a name holding a control
// character (U+0000 to U+001F, U+007F), '"' or '&' is refused when its file is loaded;
// `shown_path` is the file in display form. The message is about `what` ("pseudo-atom name").
std::optional<std::string> name_refusal(std::string_view what, std::string_view name,
                                        std::string_view shown_path);
Result<void> check_pseudo_atom_name(std::string_view name, std::string_view shown_path);

}  // namespace boxwright
