#include "pipeline/shown_paths.hpp"

#include <algorithm>

#include "base/io.hpp"
#include "base/quoted.hpp"
#include "base/utf8.hpp"

namespace boxwright {

ShownPaths::ShownPaths(const BuildRequest& request) {
    std::vector<std::string> paths = request.species;
    paths.push_back(request.force_field);
    paths.insert(paths.end(), request.model_force_fields.begin(), request.model_force_fields.end());
    if (const auto* file = std::get_if<CoordinateFileSource>(&request.placement)) {
        paths.push_back(file->path);
    }
    // The files of the set are named by the directory joined with their names.
    paths.push_back(request.out_dir);
    for (const char* member : {"data.lmp", "forcefield.lmp", "in.lmp"}) {
        paths.push_back(join_path(request.out_dir, member));
    }
    for (const auto& path : paths) {
        std::string shown = lossy_utf8(path);
        if (needs_escaping(shown)) escapes_.emplace_back(shown, shown_path(shown));
    }
    // A longer path first, so that a directory inside it does not cut it in two.
    std::sort(escapes_.begin(), escapes_.end(),
              [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
}

std::string ShownPaths::in(std::string text) const {
    for (const auto& [given, shown] : escapes_) {
        // The escaped form holds no control character, so no path is found in another's.
        for (auto at = text.find(given); at != std::string::npos;
             at = text.find(given, at + shown.size())) {
            text.replace(at, given.size(), shown);
        }
    }
    return text;
}

}  // namespace boxwright
