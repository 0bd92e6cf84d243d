#include "ff/names.hpp"

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

}  // namespace boxwright
