#include "pipeline/placement.hpp"

#include <filesystem>
#include <utility>

#include "base/io.hpp"
#include "base/numbers.hpp"
#include "base/units.hpp"
#include "base/utf8.hpp"
#include "coords/coordinate_file.hpp"
#include "coords/expected_atoms.hpp"
#include "decomposition/executor.hpp"
#include "geometry/bond_fit.hpp"
#include "geometry/molecule_wrap.hpp"
#include "lammps/pair_style.hpp"
#include "packmol/pack.hpp"
#include "pipeline/contact.hpp"
#include "pipeline/temp_dir.hpp"

namespace boxwright {
namespace {

// One Packmol over the whole box, run by the executor like a single sub-box so that the watch
// works alike.
Result<PackedBox> pack_whole_box(const std::string& work_dir,
                                 std::span<const CountedMolecule> species,
                                 const ForceField& force_field, const PackmolPlacement& packing,
                                 const Watch& watch) {
    std::optional<PackedSystem> packed;
    auto pack = [&](std::size_t, const std::stop_token& stop) -> Result<void> {
        BW_TRY(packed, pack_system(work_dir, species, force_field, packing.density,
                                   packing.tolerance, stop));
        return {};
    };
    BW_TRY_VOID(run_side_by_side(1, 1, pack, watch));
    return PackedBox{std::move(*packed), {}};
}

// Why a packing is not good enough, if it is not: Packmol's own word, or a contact under the
// tolerance it was asked to keep.
std::optional<std::string> shortcoming(const ResolvedSystem& system,
                                       const std::vector<std::string>& statuses,
                                       const PackingOutcome& outcome) {
    const auto& contact = outcome.closest;
    const bool too_close =
        contact && contact->distance < outcome.tolerance - PACKING_TOLERANCE_SLACK_ANG;
    if (!too_close && statuses.empty()) return std::nullopt;
    std::string why = too_close ? fmt::format("{}, closer than the packing tolerance of {} \u00c5",
                                              contact_text(*contact, system.active()),
                                              plain_number(outcome.tolerance))
                                : "Packmol reported that it did not finish the packing";
    why +=
        "; pack at a lower density or with a smaller tolerance, or keep the files anyway with "
        "accept_imperfect (--accept-imperfect)";
    for (const auto& status : statuses) why += "\n" + status;
    return why;
}

Result<PlacedAtoms> pack(const ResolvedSystem& system, const PackmolPlacement& packing,
                         const Watch& watch, ImperfectPacking imperfect, Diagnostics& diagnostics) {
    const auto species = system.counted();
    std::optional<DecompositionPlan> plan;
    if (packing.jobs) {
        const DecompositionRequest split{packing.subboxes, packing.seed.value_or(DEFAULT_BASE_SEED),
                                         *packing.jobs};
        BW_TRY(plan, plan_decomposition(species, system.force_field(), packing.density,
                                        packing.tolerance, split));
    }
    if (plan && packing.jobs && *packing.jobs > plan->split.concurrency) {
        diagnostics.add(DiagnosticKind::PackingJobs, DiagnosticLevel::Note,
                        fmt::format("jobs {}: {} Packmol process{} at a time, at most one per "
                                    "sub-box with molecules ({}) and {} per core",
                                    *packing.jobs, plan->split.concurrency,
                                    plan->split.concurrency == 1 ? "" : "es", plan->jobs.size(),
                                    MAX_JOBS_PER_CORE));
    }
    // Removed with everything Packmol left in it when this scope ends, whatever happens below.
    BW_TRY(auto work_dir, TempWorkDir::create().map_error(about("temp directory")));
    BW_TRY(auto packed,
           plan ? pack_decomposed(work_dir.path(), species, *plan, watch)
                : pack_whole_box(work_dir.path(), species, system.force_field(), packing, watch));
    auto statuses = std::move(packed.warnings);
    if (packed.packed.note) statuses.push_back(std::move(*packed.packed.note));
    PlacedAtoms placed{std::move(packed.packed.coordinates), std::nullopt, packed.packed.box_edge,
                       plan ? std::optional(plan->split) : std::nullopt};
    placed.packing =
        PackingOutcome{packing.tolerance,
                       closest_between_molecules(system.active(), placed.owned, placed.box_length,
                                                 [&watch] { return watch.stop_requested(); })};
    if (imperfect == ImperfectPacking::Fail) {
        if (auto why = shortcoming(system, statuses, *placed.packing)) {
            return fail("the packing failed: {}", *why);
        }
    }
    for (auto& status : statuses)
        diagnostics.warn(DiagnosticKind::PackingStatus, std::move(status));
    return placed;
}

Result<PlacedAtoms> read_file(const ResolvedSystem& system, const CoordinateFileSource& file,
                              const Watch& watch, Diagnostics& diagnostics) {
    BW_TRY(auto expected, ExpectedAtoms::of(system.counted()));
    const AtomTypeRegistry& atom_types = system.species.registries.atoms;
    const CoordinateReadOptions options{
        file.check_names, file.box_length, [&watch] { return watch.stop_requested(); }, file.frame,
        [&atom_types](const std::string& pseudo_atom) {
            return static_cast<std::uint64_t>(atom_types.type_number(pseudo_atom));
        }};
    BW_TRY(auto read, read_coordinate_file(file.path, expected, options));
    if (read.frame) {
        diagnostics.note(DiagnosticKind::CoordinateFrame, "read frame {} of {} of {}{}",
                         read.frame->number, read.frame->count, lossy_utf8(file.path),
                         read.frame->label.empty() ? "" : " (" + read.frame->label + ")");
    }
    PlacedAtoms placed{std::move(read.positions), std::nullopt, read.box_length};
    placed.velocities = std::move(read.velocities);
    return placed;
}

// "coords has 2 rows, but the species and counts make 3 atoms".
Result<void> check_row_count(const ResolvedSystem& system, std::size_t rows) {
    BW_TRY(const auto atoms, total_atoms(system.counted()));
    if (rows == atoms) return {};
    FfError error{fmt::format("coords has {} row{}, but the species and counts make {} atom{}",
                              rows, rows == 1 ? "" : "s", atoms, atoms == 1 ? "" : "s")};
    error.bad_argument = true;
    return tl::unexpected(std::move(error));
}

// Given coordinates fit the molecules when every bond has about its reference length; `off` is how
// the caller turns the check off, named in the failure.
// The check reads the positions as data.lmp will hold them, seven significant digits, so that
// what it passes is what LAMMPS reads.
Result<void> check_bond_lengths(const ResolvedSystem& system, const PlacedAtoms& placed,
                                std::string_view off) {
    const auto species = system.counted();
    std::vector<Position> as_written(placed.positions().begin(), placed.positions().end());
    for (auto& position : as_written) {
        for (double& coordinate : position) coordinate = exp6_value(coordinate);
    }
    const auto misfit = first_misfit_bond(species, as_written, placed.box_length);
    if (!misfit) return {};
    const Molecule& molecule = *species[misfit->species].molecule;
    const double half_box = placed.box_length / 2;
    return fail(
        "coordinates do not fit molecule {} of '{}': atoms {} ({}) and {} ({}) are {:.3f} "
        "\u00c5 apart{}, the molecule file has {:.3f} \u00c5 (check the atom order; {} skips "
        "this check)",
        misfit->molecule + 1, molecule.name, misfit->atoms[0] + 1,
        molecule.pseudo_atoms[misfit->in_molecule[0]].name, misfit->atoms[1] + 1,
        molecule.pseudo_atoms[misfit->in_molecule[1]].name, misfit->length,
        misfit->length > half_box
            ? fmt::format(" (more than half the box edge of {:.3f} \u00c5, so no image makes "
                          "the molecule whole)",
                          placed.box_length)
            : "",
        misfit->reference, off);
}

Result<PlacedAtoms> given_positions(const ResolvedSystem& system, const BuildRequest& request,
                                    PlacedAtoms placed) {
    if (request.wrap_molecules) {
        if (auto wrapped = molecules_wrapped_into_box(system.counted(), placed.positions(),
                                                      placed.box_length)) {
            placed.owned = std::move(*wrapped);
            placed.given.reset();
        }
    }
    if (request.bond_check_off) {
        BW_TRY_VOID(check_bond_lengths(system, placed, *request.bond_check_off));
    }
    return placed;
}

// RASPA3 reports this many times over a run: progress a user can follow, output that stays small.
constexpr std::uint64_t RASPA_REPORTS = 50;

// The cutoffs LAMMPS will run with (in.lmp's), so that both programs compute the same energy;
// RASPA3's minimum image allows at most half the box.
void raspa_cutoffs(const ResolvedSystem& system, const BuildRequest& request, double edge,
                   RaspaConditions& conditions, Diagnostics& diagnostics) {
    const PairSettings& pair = request.pair_settings;
    const double lj = pair.cutoff.value_or(system.force_field().cutoff_vdw);
    const double coulomb = pair.coulomb_cutoff.value_or(PRESET_CUTOFF);
    const double half = edge / 2;
    conditions.cutoff_vdw = std::min(lj, half);
    conditions.cutoff_coulomb = std::min(coulomb, half);
    const auto capped = [&](std::string_view what, double cutoff) {
        diagnostics.warn(DiagnosticKind::Raspa,
                         "RASPA3 ran with a {} cutoff of {:.4f} \u00c5, half the box edge, where "
                         "LAMMPS runs with {} \u00c5: its energy is not LAMMPS's; give a larger "
                         "box or a smaller cutoff",
                         what, half, plain_number(cutoff));
    };
    if (lj > half) capped("Lennard-Jones", lj);
    if (coulomb > half && carries_charges(system.counted(), system.force_field()))
        capped("Coulomb", coulomb);
}

Result<RaspaConditions> raspa_conditions(const ResolvedSystem& system, const BuildRequest& request,
                                         const RaspaPlacement& raspa, Diagnostics& diagnostics) {
    RaspaConditions conditions;
    if (raspa.box_length) {
        conditions.box_length = *raspa.box_length;
    } else {
        BW_TRY(conditions.box_length,
               packing_box_edge(system.counted(), system.force_field(), raspa.density.value_or(0)));
    }
    conditions.temperature = raspa.temperature;
    if (raspa.pressure) conditions.pressure_pa = *raspa.pressure * pascal_per(raspa.pressure_unit);
    conditions.init_cycles = raspa.init_cycles;
    conditions.cycles = raspa.cycles;
    conditions.seed = raspa.seed;
    conditions.print_every =
        std::max<std::uint64_t>(1, (raspa.init_cycles + raspa.cycles) / RASPA_REPORTS);
    raspa_cutoffs(system, request, conditions.box_length, conditions, diagnostics);
    return conditions;
}

// "Translation 48.2 %, Rotation 35.1 %" for each component, volume moves under "system".
std::string acceptance_text(const RaspaOutcome& outcome) {
    std::string text;
    std::string_view component;
    for (const auto& move : outcome.acceptance) {
        if (move.component != component) {
            component = move.component;
            text += fmt::format("{}{}: ", text.empty() ? "" : "; ", component);
        } else {
            text += ", ";
        }
        text += fmt::format("{} {:.1f} % of {}", move.move, 100 * move.accepted / move.attempted,
                            plain_number(move.attempted));
    }
    return text;
}

void report_raspa(const RaspaOutcome& outcome, const RaspaPlacement& raspa,
                  Diagnostics& diagnostics) {
    diagnostics.add(
        DiagnosticKind::Raspa, DiagnosticLevel::Note,
        fmt::format("RASPA3 ran {} initialisation and {} production cycles ({}); final potential "
                    "energy {:.2f} kcal/mol ({:.6g} K); Lennard-Jones cutoff {:.4g} \u00c5, "
                    "truncated, tail-corrected{}",
                    outcome.init_cycles, outcome.cycles, raspa.pressure ? "NPT" : "NVT",
                    outcome.energy_k * KB_KCAL_PER_K, outcome.energy_k, outcome.cutoff_vdw,
                    outcome.charged ? fmt::format("; Ewald sum, real-space cutoff {:.4g} \u00c5",
                                                  outcome.cutoff_coulomb)
                                    : ""));
    diagnostics.add(DiagnosticKind::Raspa, DiagnosticLevel::Note,
                    fmt::format("RASPA3 acceptance: {}", acceptance_text(outcome)));
    if (raspa.pressure) {
        diagnostics.add(
            DiagnosticKind::Raspa, DiagnosticLevel::Note,
            fmt::format("RASPA3 reached a box edge of {:.4f} \u00c5 at {} {}", outcome.box_length,
                        plain_number(*raspa.pressure), pressure_unit_name(raspa.pressure_unit)));
    }
}

// RASPA3 runs in a private temporary directory, removed with everything in it when this scope
// ends, or in the directory the caller asked to keep.
Result<PlacedAtoms> equilibrate(const ResolvedSystem& system, const BuildRequest& request,
                                const RaspaPlacement& raspa, const Watch& watch,
                                Diagnostics& diagnostics) {
    BW_TRY(auto program, find_raspa3(raspa.program));
    BW_TRY(auto conditions, raspa_conditions(system, request, raspa, diagnostics));
    std::optional<TempWorkDir> temporary;
    std::string run_dir;
    if (raspa.keep_dir) {
        run_dir = *raspa.keep_dir;
        BW_TRY_VOID(create_directories(run_dir).map_error(about(run_dir)));
        // RASPA3 names its files after the temperature and pressure: an earlier run's would be
        // taken for this one's.
        std::error_code unknown;  // then RASPA3's own failure says what is wrong
        if (std::filesystem::exists(run_dir + "/output", unknown)) {
            return fail(
                "{} holds the output of an earlier RASPA3 run; give a new or empty "
                "directory to keep this run in",
                lossy_utf8(run_dir));
        }
    } else {
        BW_TRY(temporary, TempWorkDir::create().map_error(about("temp directory")));
        run_dir = temporary->path();
    }
    const RaspaJob job{std::move(program), run_dir, conditions};
    BW_TRY(auto outcome, run_raspa3(job, system.counted(), system.force_field(), watch));
    report_raspa(outcome, raspa, diagnostics);
    PlacedAtoms placed{std::move(outcome.positions), std::nullopt, outcome.box_length};
    placed.raspa = std::move(outcome);
    return placed;
}

}  // namespace

Result<PlacedAtoms> place(const ResolvedSystem& system, const BuildRequest& request,
                          const Watch& watch, Diagnostics& diagnostics) {
    const Placement& placement = request.placement;
    if (const auto* given = std::get_if<GivenPositions>(&placement)) {
        if (given->counted_as_coords) BW_TRY_VOID(check_row_count(system, given->positions.size()));
        return given_positions(system, request,
                               PlacedAtoms{{}, given->positions, given->box_length});
    }
    if (const auto* file = std::get_if<CoordinateFileSource>(&placement)) {
        return read_file(system, *file, watch, diagnostics).and_then([&](PlacedAtoms placed) {
            return given_positions(system, request, std::move(placed));
        });
    }
    if (const auto* raspa = std::get_if<RaspaPlacement>(&placement)) {
        return equilibrate(system, request, *raspa, watch, diagnostics)
            .and_then([&](PlacedAtoms placed) {
                return given_positions(system, request, std::move(placed));
            });
    }
    return pack(system, std::get<PackmolPlacement>(placement), watch, request.imperfect_packing,
                diagnostics);
}

}  // namespace boxwright
