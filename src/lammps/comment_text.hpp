// Free text from an input file (a force field's sources) as a comment line of a LAMMPS input
// shows it. LAMMPS reads two pieces of syntax even inside a comment: three double quotes in a row
// open (or close) a text that runs over the lines after it, and an '&' that ends a line, white
// space after it included, joins the next line to it. Knows nothing of where the line is written.
#pragma once

#include <string>
#include <string_view>

namespace boxwright {

// Three double quotes in a row lose their middle one to a single quote until no three are left
// in a row, and an '&' that would end the line is followed by a full stop, so that LAMMPS reads
// the comment and nothing more. Every other byte is kept.
std::string lammps_comment_text(std::string_view text);

}  // namespace boxwright
