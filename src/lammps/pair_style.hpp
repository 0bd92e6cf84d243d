// PairSetup, the pair-style presets, and the block of LAMMPS commands each one puts into
// forcefield.lmp. Fixed text, apart from the type numbers of the TIP4P water: nothing from the
// force-field file enters the block.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace boxwright {

// The stored values are also the integer values Python sees.
enum class PairSetup { Tip4p = 0, LjCut = 1, LjCutCoulLong = 2 };

// The Lennard-Jones and Coulomb cutoff every preset writes, Å.
inline constexpr double PRESET_CUTOFF = 10.0;

// What lj/cut/tip4p/long must know of the water: its oxygen and hydrogen atom types, its O-H bond
// type and its H-O-H angle type. The defaults are those of water listed first, O before H.
// The M site's distance from O, Å, when the water declares none: TIP4P/2005's.
inline constexpr double DEFAULT_M_SITE_ANG = 0.1546;

struct Tip4pTypes {
    std::size_t oxygen = 1, hydrogen = 2, bond = 1, angle = 1;
    double m_site = DEFAULT_M_SITE_ANG;  // Å from O along the H-O-H bisector
    bool operator==(const Tip4pTypes&) const = default;
};

std::string_view display_name(PairSetup setup);  // "Tip4p", "LjCut", "LjCutCoulLong"
bool has_long_range_solver(std::optional<PairSetup> setup);
bool has_coulomb_term(PairSetup setup);
// The preset's kspace style: "pppm/tip4p" or "pppm"; a preset without a long-range solver has none.
std::string_view kspace_style_name(PairSetup setup);

// "pair_style lj/cut/coul/long 12.0 10.0\n": the preset's pair style with the given cutoffs, one
// cutoff written when both are the same and the style takes them together.
std::string pair_style_command(PairSetup setup, const Tip4pTypes& water, double lj_cutoff,
                               double coulomb_cutoff);

// The "# Setting up pair style" block; `explicit_lb` picks the pair_modify line.
std::string gen_pair_style_setup(std::optional<PairSetup> setup, bool explicit_lb,
                                 const Tip4pTypes& water);

}  // namespace boxwright
