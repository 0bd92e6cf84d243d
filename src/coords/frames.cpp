#include "coords/frames.hpp"

namespace boxwright::coords {

tl::unexpected<FfError> no_such_frame(const LineReader& lines, std::uint64_t frames,
                                      std::int64_t choice) {
    return fail("{} has {} frame{}, so frame {} cannot be read", lines.shown_path(), frames,
                frames == 1 ? "" : "s", choice);
}

}  // namespace boxwright::coords
