// closest_name: the one known name a misspelt name most likely meant, for the "did you mean"
// hints of messages about keys and pseudo-atom names. Knows nothing about what the names name.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace boxwright {

// The known name closest to `name`, when one is close and no other is as close. Names are compared
// with ASCII letters folded to one case, by the number of single-character edits (an insertion,
// a deletion, a substitution, or two neighbours swapped) that turn one into the other: a known
// name of up to four characters is close within one edit, a longer one within two. A tie on the
// folded names is settled by the edits on the names as written; a tie after that gives none.
std::optional<std::string_view> closest_name(std::string_view name,
                                             std::span<const std::string_view> known);

}  // namespace boxwright
