#include "pipeline/option_table.hpp"

#include "lammps/input_script.hpp"

namespace boxwright {
namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
// LAMMPS reads its step counts and intervals as 32-bit integers.
constexpr double LAMMPS_STEPS = 2147483647;

// (low, high], [low, high] ...: the intervals the rows below use.
constexpr ValueRange above(double low, double high = INF) { return {low, high, true, false}; }
constexpr ValueRange from(double low, double high = INF) { return {low, high, false, false}; }
constexpr ValueRange between(double low, double high) { return {low, high, true, true}; }
constexpr ValueRange anything() { return {}; }

// The ranges LAMMPS can run were found by running in.lmp of 200 waters (an 18 Å box) for 100
// steps, 3 s as built: with a timestep of 10 fs, a PPPM accuracy of 1e-12, a temperature of 1e6 K
// or 1e-300 K, a pressure of 1e7 atm or a cutoff of 0.5 Å it had not finished after 25 s; at
// 0.01 K its box collapsed (neighbour list overflow), and a cutoff of 50 Å or 1e-300 Å stopped it.
// The dampings were found alike on 100 TIP4P/2005 waters and 20 methanols at 950 kg/m³, 300 steps
// of 1 fs per stage: a thermostat damping of 0.01 to 2 fs lost atoms in the start, 3 fs overflowed
// the neighbour lists in the hand-over, 4 fs and more ran; a barostat damping of 1 to 300 fs tore
// the box apart in the hand-over, 500 fs and more ran, 10^8 fs too (the barostat all but off).
constexpr std::array OPTIONS = {
    OptionSpec{
        .name = "temperature",
        .kind = OptionKind::Run,
        .type = OptionType::Number,
        .unit = "K",
        .metavar = "K",
        .default_value = "298.15",
        .runnable = from(0.1, 1e5),
        .runnable_words = "a number of kelvin from 0.1 to 100000",
        .plausible = from(1, 1e4),
        .implausible_words = "outside the 1 K to 10,000 K of any liquid or dense gas (a slip of "
                             "unit or digit?)",
        .help = "temperature of the run, K",
        .default_words = "298.15",
    },
    OptionSpec{
        .name = "pressure",
        .kind = OptionKind::Run,
        .type = OptionType::OptionalNumber,
        .unit = "atm",  // of the ranges; the value is in pressure_unit
        .metavar = "P",
        .default_value = "1.0",
        .runnable = from(-1e6, 1e6),
        .runnable_words = "a number of {unit} from {low} to {high}",
        .plausible = from(-1e5, 1e5),
        .implausible_words = "beyond the {high} {unit} of any liquid or dense gas (a slip of "
                             "unit or digit?)",
        .help = "pressure of the NPT run in --pressure-unit, or with its own unit ('5MPa', "
                "'50 bar'), or 'none' for NVT at the density as built",
        .default_words = "1.0",
    },
    OptionSpec{
        .name = "pressure_unit",
        .kind = OptionKind::Run,
        .type = OptionType::Choice,
        .unit = "",
        .metavar = "UNIT",
        .default_value = "'atm'",
        .choices = PRESSURE_UNIT_NAMES,
        .runnable = anything(),
        .runnable_words = "one of atm, bar, kPa, MPa, Pa",
        .plausible = anything(),
        .implausible_words = "",
        .help = "the unit of the pressure: atm, bar, kPa, MPa or Pa; in.lmp keeps it and "
                "converts it to the atm of LAMMPS's real units",
        .default_words = "atm",
    },
    OptionSpec{
        .name = "timestep",
        .kind = OptionKind::Run,
        .type = OptionType::Number,
        .unit = "fs",
        .metavar = "FS",
        .default_value = "1.0",
        .runnable = between(0, 10),
        .runnable_words = "a number of femtoseconds above 0 and below 10",
        .plausible = from(0, 5),
        .implausible_words = "over 5 fs, too long to follow the motion of any molecule (most "
                             "runs take 1 to 2 fs)",
        .help = "timestep, fs",
        .default_words = "1.0",
    },
    OptionSpec{
        .name = "steps",
        .kind = OptionKind::Run,
        .type = OptionType::Count,
        .unit = "",
        .metavar = "N",
        .default_value = "100000",
        // LAMMPS's run command takes at most 2^31 - 1 steps.
        .runnable = from(0, LAMMPS_STEPS),
        .runnable_words = "at most 2147483647, the most LAMMPS's run command takes",
        .plausible = anything(),
        .implausible_words = "",
        .help = "steps of the production run",
        .default_words = "100000",
    },
    OptionSpec{
        .name = "thermostat_damping",
        .kind = OptionKind::Run,
        .type = OptionType::Number,
        .unit = "fs",
        .metavar = "FS",
        .default_value = "100.0",
        .runnable = above(0, 1e9),  // and longer than the timestep, see settings_check.cpp
        .runnable_words = "a positive number of femtoseconds up to 10^9",
        .plausible = from(10, 1e5),
        .implausible_words = "outside the 10 fs to 100,000 fs in which a thermostat holds the "
                             "temperature without overdamping the motion (100 fs is usual)",
        .help = "damping time of every thermostat of in.lmp (the start's Langevin and the "
                "production's Nose-Hoover), fs",
        .default_words = "100.0",
    },
    OptionSpec{
        .name = "barostat_damping",
        .kind = OptionKind::Run,
        .type = OptionType::Number,
        .unit = "fs",
        .metavar = "FS",
        .default_value = "1000.0",
        .runnable = above(0, 1e9),  // and longer than the timestep, see settings_check.cpp
        .runnable_words = "a positive number of femtoseconds up to 10^9",
        .plausible = from(500, 1e6),
        .implausible_words = "outside the 500 fs to 1,000,000 fs in which a barostat brings a "
                             "packed box to its pressure without tearing it (1000 fs is usual)",
        .help = "damping time of the hand-over's Berendsen and the production's Nose-Hoover "
                "barostat, fs",
        .default_words = "1000.0",
    },
    OptionSpec{
        .name = "thermo_every",
        .kind = OptionKind::Run,
        .type = OptionType::Count,
        .unit = "",
        .metavar = "N",
        .default_value = "1000",
        .runnable = from(1, LAMMPS_STEPS),
        .runnable_words = "from 1 to 2147483647, the most LAMMPS's thermo command takes",
        .plausible = anything(),
        .implausible_words = "",
        .help = "steps between the thermo lines of in.lmp's runs",
        .default_words = "1000",
    },
    OptionSpec{
        .name = "dump_every",
        .kind = OptionKind::Run,
        .type = OptionType::Count,
        .unit = "",
        .metavar = "N",
        .default_value = "1000",
        .runnable = from(0, LAMMPS_STEPS),
        .runnable_words = "at most 2147483647, the most LAMMPS's dump command takes",
        .plausible = anything(),
        .implausible_words = "",
        .help = "steps between the frames of the production's trajectory, "
                "trajectory.lammpstrj; 0 writes none",
        .default_words = "1000",
    },
    OptionSpec{
        .name = "start_steps",
        .kind = OptionKind::Run,
        .type = OptionType::Count,
        .unit = "",
        .metavar = "N",
        .default_value = "10000",
        .runnable = from(0, LAMMPS_STEPS),
        .runnable_words = "at most 2147483647, the most LAMMPS's run command takes",
        .plausible = anything(),
        .implausible_words = "",
        .help = "steps of the thermostatted start at the volume as built",
        .default_words = "10000",
    },
    OptionSpec{
        .name = "handover_steps",
        .kind = OptionKind::Run,
        .type = OptionType::Count,
        .unit = "",
        .metavar = "N",
        .default_value = "5000",
        .runnable = from(0, LAMMPS_STEPS),
        .runnable_words = "at most 2147483647, the most LAMMPS's run command takes",
        .plausible = anything(),
        .implausible_words = "",
        .help = "steps of the Berendsen barostat that brings the pressure to the target before "
                "an NPT production",
        .default_words = "5000",
    },
    OptionSpec{
        .name = "cutoff",
        .kind = OptionKind::Pair,
        .type = OptionType::OptionalNumber,
        .unit = "\u00c5",
        .metavar = "ANG",
        .default_value = "None",
        .runnable = from(1, 100),
        .runnable_words = "a number of \u00e5ngstr\u00f6m from 1 to 100",
        .plausible = anything(),  // against the build's σ and box, once they are known
        .implausible_words = "",
        .help = "Lennard-Jones cutoff, \u00c5, in place of the force field's CutOffVDW",
        .default_words = "CutOffVDW",
    },
    OptionSpec{
        .name = "coulomb_cutoff",
        .kind = OptionKind::Pair,
        .type = OptionType::OptionalNumber,
        .unit = "\u00c5",
        .metavar = "ANG",
        .default_value = "None",
        .runnable = from(1, 100),
        .runnable_words = "a number of \u00e5ngstr\u00f6m from 1 to 100",
        .plausible = anything(),  // against the build's box, once it is known
        .implausible_words = "",
        .help = "Coulomb cutoff, \u00c5, for a preset with a Coulomb term",
        .default_words = "the preset's 10",
    },
    OptionSpec{
        .name = "kspace_accuracy",
        .kind = OptionKind::Pair,
        .type = OptionType::OptionalNumber,
        .unit = "",
        .metavar = "X",
        .default_value = "None",
        .runnable = between(1e-12, 1),
        .runnable_words = "a relative error above 1e-12 and below 1",
        .plausible = from(1e-8, 1),
        .implausible_words = "under 1e-8, which costs PPPM a mesh far finer than any force "
                             "field's accuracy needs (1e-4 to 1e-6 is usual)",
        .help = "PPPM accuracy, the relative error in forces, for a preset with a long-range "
                "solver",
        .default_words = "the preset's 1.0e-4",
    },
    OptionSpec{
        .name = "density",
        .kind = OptionKind::Packing,
        .type = OptionType::Number,
        .unit = "kg/m\u00b3",
        .metavar = "KG_M3",
        .default_value = "",
        .runnable = above(0),
        .runnable_words = "a positive number of kg/m\u00b3",
        .plausible = anything(),  // the input's plausibility check says what is likely meant
        .implausible_words = "",
        .help = "target mass density of the mixture, kg/m\u00b3; sets the box edge",
        .default_words = "required",
    },
    OptionSpec{
        .name = "tolerance",
        .kind = OptionKind::Packing,
        .type = OptionType::Number,
        .unit = "\u00c5",
        .metavar = "ANG",
        .default_value = "2.0",
        .runnable = from(0),  // Packmol crashes on a negative tolerance
        .runnable_words = "a finite length of at least 0 \u00c5",
        .plausible = anything(),
        .implausible_words = "",
        .help = "minimum distance Packmol keeps between atoms of different molecules, \u00c5",
        .default_words = "2.0",
    },
    OptionSpec{
        .name = "jobs",
        .kind = OptionKind::SplitPacking,
        .type = OptionType::OptionalInt,
        .unit = "",
        .metavar = "N",
        .default_value = "None",
        .runnable = from(0),
        .runnable_words = "0 (one per core) or a positive number",
        .plausible = anything(),
        .implausible_words = "",
        .help = "split the box and run N Packmol processes at once, 0 for one per core; "
                "progress goes to standard error",
        .default_words = "one Packmol run for the whole box",
    },
    OptionSpec{
        .name = "seed",
        .kind = OptionKind::SplitPacking,
        .type = OptionType::OptionalCount,
        .unit = "",
        .metavar = "S",
        .default_value = "None",
        .runnable = anything(),
        .runnable_words = "",
        .plausible = anything(),
        .implausible_words = "",
        .help = "the seed each sub-box's Packmol seed derives from",
        .default_words = "a fixed one",
    },
    OptionSpec{
        .name = "subboxes",
        .kind = OptionKind::SplitPacking,
        .type = OptionType::OptionalGrid,
        .unit = "",
        .metavar = "NX,NY,NZ",
        .default_value = "None",
        .runnable = anything(),
        .runnable_words = "",
        .plausible = anything(),
        .implausible_words = "",
        .help = "the grid of sub-boxes",
        .default_words = "chosen from the system, about 1,500 molecules each, none narrower than "
                         "twice the widest molecule plus the tolerance",
    },
    OptionSpec{
        .name = "timeout",
        .kind = OptionKind::Packing,
        .type = OptionType::OptionalNumber,
        .unit = "s",
        .metavar = "SECONDS",
        .default_value = "None",
        .runnable = above(0),
        .runnable_words = "a positive number of seconds",
        .plausible = anything(),
        .implausible_words = "",
        .help = "stop every Packmol and write nothing once packing has taken this long",
        .default_words = "no limit",
    },
    OptionSpec{
        .name = "frame",
        .kind = OptionKind::Coordinates,
        .type = OptionType::OptionalInt,
        .unit = "",
        .metavar = "N",
        .default_value = "None",
        // Every whole number but 0 names a frame; whether the file has it is the reader's to say.
        .runnable = anything(),
        .runnable_words = "a frame number, from 1 at the start or from -1 at the end",
        .plausible = anything(),
        .implausible_words = "",
        .help = "the frame of a coordinate file of several (XYZ or .gro frames, PDB models, "
                "dump frames): from 1 at the start, or from -1 at the end; the report says "
                "which of how many was read",
        .default_words = "the last",
    },
};

}  // namespace

bool ValueRange::contains(double value) const {
    const bool above_low = low_open ? value > low : value >= low;
    const bool below_high = high_open ? value < high : value <= high;
    return above_low && below_high;
}

std::span<const OptionSpec> option_table() { return OPTIONS; }

const OptionSpec* find_option(std::string_view name) {
    for (const auto& spec : OPTIONS) {
        if (spec.name == name) return &spec;
    }
    return nullptr;
}

std::string option_name(std::string_view python_name, OptionNaming naming) {
    if (naming == OptionNaming::Python) return std::string(python_name);
    std::string name = "--";
    for (const char c : python_name) name += c == '_' ? '-' : c;
    return name;
}

std::string option_name(const OptionSpec& spec, OptionNaming naming) {
    return option_name(spec.name, naming);
}

std::span<const std::string_view> preset_names() { return PRESET_NAMES; }

}  // namespace boxwright
