// BuildRequest: everything one build is given, whichever module or entry asks for it. The
// species and their counts, the force field, where the positions come from (given rows, a
// coordinate file, one Packmol run or the split packing), the output directory and what to write
// into it. The entry points only fill it in; every rule about it is checked by the build.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/vec3.hpp"
#include "base/watch.hpp"
#include "decomposition/decomposed_pack.hpp"
#include "lammps/input_script.hpp"
#include "lammps/pair_style.hpp"
#include "pipeline/composition.hpp"
#include "pipeline/option_table.hpp"
#include "pipeline/settings_beside.hpp"

namespace boxwright {

// Positions the caller already has, in species, molecule, atom order, and the cube's edge.
struct GivenPositions {
    std::span<const Position> positions = {};  // must outlive the build
    double box_length = 0;                     // Å
    // The package's: positions that are not one per atom are the caller's mistake, refused by
    // the placement as a bad argument named "coords". The specified module leaves them to the
    // data writer's check, worded as its own.
    bool counted_as_coords = false;
};

// A coordinate file, read once the force field and the species have been checked.
struct CoordinateFileSource {
    std::string path = {};
    std::optional<double> box_length = std::nullopt;  // absent: the box the file states
    bool check_names = true;  // compare the file's atom names (a dump's types) with the species'
    // The frame of a file of several, from 1 at the start or -1 at the end; absent: the last.
    std::optional<std::int64_t> frame = std::nullopt;
};

// Packmol places the molecules at a mass density: in one run over the whole box, or, given
// `jobs`, in a grid of sub-boxes packed that many at a time (0: one per core). `seed` and
// `subboxes` apply to the split box only.
struct PackmolPlacement {
    double density = 0;    // kg/m³
    double tolerance = 2;  // Å between atoms of different molecules
    std::optional<std::int64_t> jobs = std::nullopt;
    std::optional<std::uint64_t> seed = std::nullopt;  // DEFAULT_BASE_SEED when absent
    std::optional<GridCells> subboxes = std::nullopt;  // else chosen from the system
};

// RASPA3 places the molecules by Monte Carlo and equilibrates them, starting from a cube of the
// density or the edge given; with a pressure, volume moves let the box find its own size.
struct RaspaPlacement {
    std::optional<double> density = std::nullopt;     // kg/m³; or
    std::optional<double> box_length = std::nullopt;  // Å
    double temperature = 298.15;                      // K
    std::optional<double> pressure = std::nullopt;    // in pressure_unit; none runs NVT
    PressureUnit pressure_unit = PressureUnit::Atm;
    std::uint64_t init_cycles = 200;
    std::uint64_t cycles = 300;
    std::optional<std::uint64_t> seed = std::nullopt;   // RASPA3 picks one when absent
    std::optional<std::string> program = std::nullopt;  // else $BOXWRIGHT_RASPA3, else PATH
    // RASPA3 runs in this directory, created when missing and kept afterwards, rather than in a
    // private temporary one.
    std::optional<std::string> keep_dir = std::nullopt;
};

using Placement =
    std::variant<GivenPositions, CoordinateFileSource, PackmolPlacement, RaspaPlacement>;

// What a packing that Packmol reports as failed, or that left atoms closer than the tolerance,
// does to the build: a warning (the specified module's behaviour), or a failure, nothing written.
enum class ImperfectPacking { Warn, Fail };

// How a build settles its pair-style preset once its species are known: as the caller asked, or
// (the package's "auto") Tip4p when a species is a water that declares its M site and that the
// TIP4P pair style can run (tip4p_refusal), else
// LjCutCoulLong when any atom of the build carries a charge, else LjCut.
enum class PresetRule { AsRequested, FromCharges };

// The preset a caller chose, and whether the build settles it from the charges.
struct PairChoice {
    PresetRule rule = PresetRule::FromCharges;
    std::optional<PairSetup> setup = std::nullopt;
};

// A preset by one of PRESET_NAMES, the names the package and the command line give them.
std::optional<PairChoice> pair_choice_named(std::string_view name);
// Those names as a list for a message: 'auto', 'tip4p', 'lj-cut', 'lj-cut-coul-long', 'none'.
std::string pair_choice_names();

struct BuildRequest {
    std::vector<std::string> species = {};  // molecule files, one per species
    std::vector<std::uint64_t> counts = {};
    std::string force_field = {};  // may be empty when model_force_fields is not
    // The force-field entries of the bundled models that species name, merged after force_field's.
    std::vector<std::string> model_force_fields = {};
    std::string out_dir = {};
    Placement placement = {};
    std::optional<PairSetup> pair_setup = std::nullopt;
    PresetRule preset_rule = PresetRule::AsRequested;
    bool explicit_lb = false;
    ImperfectPacking imperfect_packing = ImperfectPacking::Warn;
    // The package's: a water's declared M site ("MSite") sets the TIP4P distance and makes
    // "auto" choose Tip4p, and the four-site waters are checked (check_four_site_waters). The
    // specified module keeps TIP4P/2005's distance whatever is declared, and writes any water.
    bool declared_m_site = false;
    std::optional<RunSettings> input_script = std::nullopt;  // none writes no in.lmp
    // The package's: in.lmp belongs to the set even when none is written, so that a build
    // without one removes an earlier build's, which would run the new data with other settings.
    // The specified module's set is data.lmp and forcefield.lmp alone.
    bool input_script_in_set = false;
    // Those of its settings the caller gave: the others of a rebuild from a final.data are
    // taken from the in.lmp beside it.
    GivenRunSettings run_given = {};
    PairSettings pair_settings = {};  // set in in.lmp, so only with input_script
    // The package's report: each species, the density, the closest contact and the checks of
    // doubtful set-ups. Without it the build tells only what its summary shows.
    bool full_report = false;
    // A strict build fails on its first warning and writes nothing; the input's warnings stop it
    // before the packing.
    bool strict = false;
    // The package's: a path holding a control character is shown escaped in the messages; the
    // specified module prints every path as given.
    bool escape_paths = false;
    // The package's: a pseudo-atom name the force field lacks is told with the closest one it has.
    bool suggest_names = false;
    // The package's check of given positions and coordinate files against the bond lengths of
    // the molecule files, and the words that turn it off where the caller is ("check_bonds=False"),
    // named in its failure. Absent: no check (packing, and the specified module's coordinates).
    std::optional<std::string> bond_check_off = std::nullopt;
    // The package's: given positions and coordinate files have each molecule moved whole into
    // the box, so that positions unwrapped far away keep their digits in data.lmp. The
    // specified module writes every position as given.
    bool wrap_molecules = false;
    // The package's mixture by composition, in place of `counts` (left empty): the build works
    // the counts out from it before anything is read.
    std::optional<Composition> composition = std::nullopt;
    // How the settings' failures and warnings name an option: as the package's keyword
    // ("kspace_accuracy") or as the command line's option ("--kspace-accuracy").
    OptionNaming option_naming = OptionNaming::Python;
};

}  // namespace boxwright
