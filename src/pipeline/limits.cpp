#include "pipeline/limits.hpp"

#include <fmt/format.h>

#include <cstdint>
#include <string_view>
#include <variant>

#include "base/numbers.hpp"
#include "lammps/system_totals.hpp"
#include "packmol/pack.hpp"

namespace boxwright {
namespace {

// The package's bounds on a box: an edge under 1 Å holds no molecule (a density of 1e300 kg/m³
// put every atom at the origin), and one Packmol run of more atoms than this takes days and
// gigabytes.
constexpr double MIN_BOX_EDGE_ANG = 1;
constexpr std::uint64_t MAX_ATOMS_IN_ONE_PACKMOL_RUN = 10000000;

Result<void> check_box_edge(double edge, std::string_view what) {
    if (edge >= MIN_BOX_EDGE_ANG) return {};
    return fail("{} a box {:.4g} \u00c5 wide, under the {} \u00c5 that any molecule needs", what,
                edge, plain_number(MIN_BOX_EDGE_ANG));
}

Result<void> check_packing_size(const BuildRequest& request, const ResolvedSystem& system,
                                std::uint64_t atoms) {
    const auto* packing = std::get_if<PackmolPlacement>(&request.placement);
    if (!packing || !request.full_report) return {};
    if (!packing->jobs && atoms > MAX_ATOMS_IN_ONE_PACKMOL_RUN) {
        return fail(
            "one Packmol run packs at most {} atoms, and the system has {}: give {} to "
            "split the box into sub-boxes",
            MAX_ATOMS_IN_ONE_PACKMOL_RUN, atoms, option_name("jobs", request.option_naming));
    }
    BW_TRY(const double edge,
           packing_box_edge(system.counted(), system.force_field(), packing->density));
    return check_box_edge(edge,
                          fmt::format("the density of {:.4g} kg/m\u00b3 gives", packing->density));
}

// LAMMPS numbers atoms with 32-bit IDs unless it is built with -DLAMMPS_BIGBIG.
constexpr std::uint64_t LAMMPS_MAX_ATOMS = 2147483647;

}  // namespace

// The totals must not wrap: the split packing sums the counts too.
Result<void> check_system_size(const BuildRequest& request, const ResolvedSystem& system) {
    BW_TRY(const auto totals, system_totals(system.active()));
    if (request.full_report && totals.atoms > LAMMPS_MAX_ATOMS) {
        return fail(
            "the system has {} atoms, more than LAMMPS numbers: its atom IDs are 32-bit, at most "
            "{}, unless LAMMPS is built with -DLAMMPS_BIGBIG (build fewer molecules)",
            totals.atoms, LAMMPS_MAX_ATOMS);
    }
    return check_packing_size(request, system, totals.atoms);
}

Result<void> check_given_box(const BuildRequest& request, double box_length) {
    if (!request.full_report) return {};
    return check_box_edge(box_length, "the coordinates come in");
}

}  // namespace boxwright
