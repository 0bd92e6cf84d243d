#include "base/closest_name.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "base/names.hpp"

namespace boxwright {
namespace {

// The optimal string alignment distance, if it is at most `limit`; else anything above it. Debian
// packages no C++ library for it. Three rows of the table suffice (a swap looks two rows back), so
// the memory grows with the second name only, and the comparison stops once a whole row exceeds
// the limit, as no later row can come below its smallest entry. `fold` maps each byte first.
template <class Fold>
std::size_t bounded_edit_distance(std::string_view a, std::string_view b, std::size_t limit,
                                  Fold fold) {
    std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        row[0] = i;
        std::size_t smallest = row[0];
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const bool same = fold(a[i - 1]) == fold(b[j - 1]);
            row[j] = std::min({previous[j] + 1, row[j - 1] + 1, previous[j - 1] + !same});
            if (i > 1 && j > 1 && fold(a[i - 1]) == fold(b[j - 2]) &&
                fold(a[i - 2]) == fold(b[j - 1])) {
                row[j] = std::min(row[j], before[j - 2] + 1);
            }
            smallest = std::min(smallest, row[j]);
        }
        if (smallest > limit) return limit + 1;
        std::swap(before, previous);
        std::swap(previous, row);
    }
    return previous[b.size()];
}

constexpr std::size_t SHORT_NAME = 4;  // characters; such a name is close within one edit
// Keys and pseudo-atom names are a few dozen characters; a longer name is no slip of the fingers,
// and comparing it would only cost time.
constexpr std::size_t LONGEST_SUGGESTED = 64;

}  // namespace

std::optional<std::string_view> closest_name(std::string_view name,
                                             std::span<const std::string_view> known) {
    using Score = std::pair<std::size_t, std::size_t>;  // edits folded, then as written
    if (name.size() > LONGEST_SUGGESTED) return std::nullopt;
    std::optional<std::string_view> best;
    Score best_score{};
    bool tied = false;
    for (std::string_view candidate : known) {
        const std::size_t limit = candidate.size() <= SHORT_NAME ? 1 : 2;
        // The difference in length is a lower bound of the edits: a long name costs nothing.
        const std::size_t shorter = std::min(name.size(), candidate.size());
        const std::size_t longer = std::max(name.size(), candidate.size());
        if (longer - shorter > limit) continue;
        const std::size_t folded = bounded_edit_distance(name, candidate, limit, ascii_lower);
        if (folded > limit) continue;
        // No two names are further apart than the longer one is long: no early exit here.
        const Score score{
            folded, bounded_edit_distance(name, candidate, longer, [](char ch) { return ch; })};
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
