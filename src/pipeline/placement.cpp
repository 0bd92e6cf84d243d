#include "pipeline/placement.hpp"

#include <utility>

#include "base/numbers.hpp"
#include "base/utf8.hpp"
#include "coords/coordinate_file.hpp"
#include "coords/expected_atoms.hpp"
#include "decomposition/executor.hpp"
#include "geometry/bond_fit.hpp"
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
    auto pack = [&](std::size_t, std::stop_token stop) -> Result<void> {
        BW_TRY(packed, pack_system(work_dir, species, force_field, packing.density,
                                   packing.tolerance, std::move(stop)));
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
Result<void> check_bond_lengths(const ResolvedSystem& system, const PlacedAtoms& placed,
                                std::string_view off) {
    const auto species = system.counted();
    const auto misfit = first_misfit_bond(species, placed.positions(), placed.box_length);
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
    if (request.bond_check_off) {
        BW_TRY_VOID(check_bond_lengths(system, placed, *request.bond_check_off));
    }
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
    return pack(system, std::get<PackmolPlacement>(placement), watch, request.imperfect_packing,
                diagnostics);
}

}  // namespace boxwright
