// The package's checks of four-site waters, made once the species are resolved and before
// anything is packed: an M site where LAMMPS cannot place one, and a TIP4P preset asked for
// without a water that lj/cut/tip4p/long can run (LAMMPS refuses such a file, or hangs on it).
#pragma once

#include "base/error.hpp"
#include "pipeline/diagnostics.hpp"
#include "pipeline/request.hpp"
#include "pipeline/system.hpp"

namespace boxwright {

// The M sites of four-site waters lie this far from O, Å: TIP4P/2005 0.1546, TIP4P/Ew 0.125,
// TIP4P 0.15, TIP4P/Ice 0.1577; five-site and polarisable models aside, none is outside.
inline constexpr double M_SITE_PLAUSIBLE_MIN_ANG = 0.05;
inline constexpr double M_SITE_PLAUSIBLE_MAX_ANG = 0.3;

// An MSite at or beyond the water's O-H bond is refused (LAMMPS places the M site outside the
// molecule and hangs or overflows); one outside the plausible range is warned about. With the
// Tip4p preset asked for, the water it runs must be one tip4p_refusal accepts.
Result<void> check_four_site_waters(const BuildRequest& request, const ResolvedSystem& system,
                                    Diagnostics& diagnostics);

}  // namespace boxwright
