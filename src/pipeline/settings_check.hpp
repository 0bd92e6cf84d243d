// The settings check: every setting of a build checked in one place and one order, before any
// file is opened. First what and how much is built (species against counts or mole fractions),
// then each option of the option table that is given, against its ranges (outside what LAMMPS or
// Packmol can run: a failure; outside the plausible: a warning), then the rules between options.
// A failure names the option as the caller does (OptionNaming) and says which option it is, so a
// command line can show it as a usage error. What needs the loaded system (a preset that "auto"
// settles from the charges, a cutoff against the build's σ) is checked once the system is known.
#pragma once

#include "base/error.hpp"
#include "base/watch.hpp"
#include "pipeline/diagnostics.hpp"
#include "pipeline/request.hpp"

namespace boxwright {

struct ResolvedSystem;

// Everything that needs no file.
Result<void> check_settings(const BuildRequest& request, const Watch& watch,
                            Diagnostics& diagnostics);

// What needs the system: the preset "auto" chose, the force field's CutOffVDW as the cutoff
// option's range takes it, and the cutoffs against the build's largest σ.
Result<void> check_settings_against(const BuildRequest& request, const ResolvedSystem& system,
                                    Diagnostics& diagnostics);

// The pressure unit a caller names; a name of none is the caller's mistake, told as the
// option's refusal in the caller's words.
Result<PressureUnit> pressure_unit_option(std::string_view name, OptionNaming naming);

// A failure about the option `python_name`, named as the request's caller names it.
FfError setting_error(std::string_view python_name, std::string message);

}  // namespace boxwright
