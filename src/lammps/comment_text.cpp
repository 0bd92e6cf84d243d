#include "lammps/comment_text.hpp"

namespace boxwright {
namespace {

constexpr std::string_view TRIPLE_QUOTE = R"(""")";
// What LAMMPS skips after an '&' that continues a line: a vertical tab or a form feed there joins
// the next line as a blank does (tried with lmp), and no other control character does.
constexpr std::string_view LAMMPS_WHITE_SPACE = " \t\r\v\f";

// One pass from left to right, three quotes at a time. It leaves the last three of a run of 5, 8,
// 11 ... quotes, so it is repeated; repeating it, rather than stepping over two quotes at a time,
// keeps every run that one pass settles as forcefield.lmp has always shown it.
bool break_triple_quotes_once(std::string& text) {
    bool broke = false;
    for (auto at = text.find(TRIPLE_QUOTE); at != std::string::npos;
         at = text.find(TRIPLE_QUOTE, at + TRIPLE_QUOTE.size())) {
        text[at + 1] = '\'';
        broke = true;
    }
    return broke;
}

}  // namespace

std::string lammps_comment_text(std::string_view text) {
    std::string shown(text);
    while (break_triple_quotes_once(shown)) {
    }
    const auto last = shown.find_last_not_of(LAMMPS_WHITE_SPACE);
    if (last == std::string::npos || shown[last] != '&') return shown;
    shown.insert(last + 1, 1, '.');
    return shown;
}

}  // namespace boxwright
