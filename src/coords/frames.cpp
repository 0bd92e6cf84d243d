#include "coords/frames.hpp"

namespace boxwright::coords {

Result<void> check_frame_choice(std::optional<std::int64_t> choice) {
    if (choice != 0) return {};
    FfError error{
        "frame 0 does not exist: frames count from 1 at the start and from -1 at the end"};
    error.bad_argument = true;
    return tl::unexpected(std::move(error));
}

tl::unexpected<FfError> no_such_frame(const LineReader& lines, std::uint64_t frames,
                                      std::int64_t choice) {
    return fail("{} has {} frame{}, so frame {} cannot be read", lines.shown_path(), frames,
                frames == 1 ? "" : "s", choice);
}

}  // namespace boxwright::coords
