#include "base/closest_name.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "base/names.hpp"

namespace boxwright {
namespace {

// The optimal string alignment distance, in a few lines: Debian packages no C++ library for it,
// and the names compared are a few dozen bytes, so the full table costs nothing. `fold` maps each
// byte before comparing.
template <class Fold>
std::size_t edit_distance(std::string_view a, std::string_view b, Fold fold) {
    const std::size_t columns = b.size() + 1;
    std::vector<std::size_t> table((a.size() + 1) * columns);
    auto at = [&](std::size_t i, std::size_t j) -> std::size_t& { return table[i * columns + j]; };
    for (std::size_t i = 0; i <= a.size(); ++i) at(i, 0) = i;
    for (std::size_t j = 0; j <= b.size(); ++j) at(0, j) = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const bool same = fold(a[i - 1]) == fold(b[j - 1]);
            at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + !same});
            if (i > 1 && j > 1 && fold(a[i - 1]) == fold(b[j - 2]) &&
                fold(a[i - 2]) == fold(b[j - 1])) {
                at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
            }
        }
    }
    return at(a.size(), b.size());
}

constexpr std::size_t SHORT_NAME = 4;  // characters; such a name is close within one edit

}  // namespace

std::optional<std::string_view> closest_name(std::string_view name,
                                             std::span<const std::string_view> known) {
    using Score = std::pair<std::size_t, std::size_t>;  // edits folded, then as written
    std::optional<std::string_view> best;
    Score best_score{};
    bool tied = false;
    for (std::string_view candidate : known) {
        const std::size_t limit = candidate.size() <= SHORT_NAME ? 1 : 2;
        // The difference in length is a lower bound of the edits: a long name costs nothing.
        const std::size_t shorter = std::min(name.size(), candidate.size());
        const std::size_t longer = std::max(name.size(), candidate.size());
        if (longer - shorter > limit) continue;
        const std::size_t folded = edit_distance(name, candidate, ascii_lower);
        if (folded > limit) continue;
        const Score score{folded, edit_distance(name, candidate, [](char ch) { return ch; })};
        if (best && score == best_score) {
            tied = tied || candidate != *best;
        } else if (!best || score < best_score) {
            best = candidate;
            best_score = score;
            tied = false;
        }
    }
    if (tied) return std::nullopt;
    return best;
}

}  // namespace boxwright
