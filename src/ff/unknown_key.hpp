// UnknownKey: a key of a force-field or molecule file that no record of the format reads. The
// loaders skip such keys (files carry notes in them) and keep where each stood, so that a build
// can tell a misspelt key, and the known key it most likely meant, from a note.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace boxwright {

struct UnknownKey {
    std::string key;
    std::string where;     // the record: "top level", "SelfInteractions[3]" (entries from 0)
    std::size_t line = 0;  // of the key, from 1
    std::optional<std::string> suggestion;  // a key of the same record, when one is close

    bool operator==(const UnknownKey&) const = default;
};

}  // namespace boxwright
