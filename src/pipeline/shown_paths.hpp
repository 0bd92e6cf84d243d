// The paths of a package build as its messages show them. Every message names files by the path
// the caller gave, unquoted; a path that holds a control character would let a file name forge a
// line of its own ("warning: ...") or drive the terminal, so the package's failure and
// diagnostics show such a path escaped and quoted, the way names are shown. Knows the request's
// paths and nothing of the messages that carry them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "pipeline/request.hpp"

namespace boxwright {

class ShownPaths {
  public:
    explicit ShownPaths(const BuildRequest& request);
    // `text` with each of the request's paths that needs escaping in its escaped form.
    std::string in(std::string text) const;
    bool any() const { return !escapes_.empty(); }

  private:
    std::vector<std::pair<std::string, std::string>> escapes_;  // as given, as shown; longest first
};

}  // namespace boxwright
