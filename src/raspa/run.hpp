// run_raspa3: places and equilibrates a system with the external RASPA3 Monte Carlo program. Writes
// its input into a run directory the caller owns (input_files), runs `raspa3` there with no
// arguments, watching it as the packing is watched (the stop token ends it, the time limit too,
// and its progress in cycles is read from the output it writes as it runs), and reads the final
// configuration back (read_raspa_restart), its energy and the acceptance of its moves. RASPA3's
// own failures (it writes them to standard error and exits with 255) carry its message.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "base/vec3.hpp"
#include "base/watch.hpp"
#include "ff/counted_molecule.hpp"
#include "ff/force_field.hpp"
#include "raspa/input_files.hpp"

namespace boxwright {

// The environment variable that names the raspa3 program when no path is given.
inline constexpr char RASPA3_VARIABLE[] = "BOXWRIGHT_RASPA3";

// The program to run: `given` (a path or a name looked up through PATH), else $BOXWRIGHT_RASPA3,
// else `raspa3` through PATH. Missing: a failure that says how to install RASPA3.
Result<std::string> find_raspa3(const std::optional<std::string>& given);

// One kind of move of one component: how many RASPA3 tried and how many it accepted, over the
// whole run.
struct MoveAcceptance {
    std::string component;
    std::string move;  // RASPA3's name: "Translation", "Rotation", "Reinsertion (CBMC)", ...
    double accepted = 0;
    double attempted = 0;
};

struct RaspaOutcome {
    std::vector<Position> positions;  // species, molecule, atom order; M sites dropped
    double box_length = 0;            // Å, the box RASPA3 ended with (NPT: the box reached)
    double energy_k = 0;              // the final total potential energy / k_B, K
    std::uint64_t init_cycles = 0, cycles = 0;
    std::vector<MoveAcceptance> acceptance;     // moves RASPA3 tried, by component
    double cutoff_vdw = 0, cutoff_coulomb = 0;  // Å, as RASPA3 ran
    bool charged = false;                       // an Ewald sum ran
};

struct RaspaJob {
    std::string program;  // as find_raspa3 gives it
    std::string run_dir;  // exists; RASPA3's files are left there for the caller to remove or keep
    RaspaConditions conditions;
};

// Progress counts initialisation and production cycles together. The stop and the time limit end
// RASPA3 (SIGTERM to its process group, then SIGKILL) and fail the call.
Result<RaspaOutcome> run_raspa3(const RaspaJob& job, std::span<const CountedMolecule> species,
                                const ForceField& force_field, const Watch& watch);

}  // namespace boxwright
