// The run settings a rebuild from a final.data takes from the in.lmp that wrote it: a system run
// at 350 K and 2 fs and rebuilt from where it stopped goes on at 350 K and 2 fs unless the caller
// says otherwise. Knows in.lmp only through its run-settings lines; reads nothing else.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "lammps/input_script.hpp"

namespace boxwright {

// Which of the run settings the caller gave; the others are the defaults, or those of the in.lmp
// beside a final.data.
struct GivenRunSettings {
    bool temperature = true, pressure = true, timestep = true;
};

// The settings of the in.lmp beside a coordinate file named final.data, when that in.lmp is one
// of ours; none for any other file, or when it is missing or unreadable.
struct SettingsBeside {
    std::string path;  // of the in.lmp
    std::optional<double> temperature, timestep;
    std::optional<double> pressure;  // none: an NVT run
    PressureUnit pressure_unit = PressureUnit::Atm;
};

std::optional<SettingsBeside> settings_beside(const std::string& coordinate_file);

// `run` with the settings the caller did not give taken from `beside`; the text of a note that
// says where each of them came from.
std::string take_settings_beside(RunSettings& run, const GivenRunSettings& given,
                                 const SettingsBeside& beside);

}  // namespace boxwright
