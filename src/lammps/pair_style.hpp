// PairSetup, the pair-style presets, and the block of LAMMPS commands each one puts into
// forcefield.lmp. Fixed text: nothing from the force-field file enters the block.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace boxwright {

// The stored values are also the integer values Python sees.
enum class PairSetup { Tip4p = 0, LjCut = 1, LjCutCoulLong = 2 };

std::string_view display_name(PairSetup setup);  // "Tip4p", "LjCut", "LjCutCoulLong"
bool has_long_range_solver(std::optional<PairSetup> setup);

// The "# Setting up pair style" block; `explicit_lb` picks the pair_modify line.
std::string gen_pair_style_setup(std::optional<PairSetup> setup, bool explicit_lb);

}  // namespace boxwright
