#include "decomposition/grid_layout.hpp"

#include <algorithm>
#include <cmath>

namespace boxwright {
namespace {

// Packmol's cost per molecule grows with the size of its problem, while every process has a fixed
// start-up cost and every seam leaves a thin layer without atoms; around 1,500 molecules per
// sub-box balances the three.
constexpr double MOLECULES_PER_SUBBOX = 1500.0;

double narrowest_subbox(const LayoutInput& input, const GridCells& cells) {
    std::uint32_t most = *std::max_element(cells.begin(), cells.end());
    return input.box_edge / most;
}

std::uint32_t cells_per_axis_for(std::uint64_t molecules) {
    double per_axis = std::round(std::cbrt(static_cast<double>(molecules) / MOLECULES_PER_SUBBOX));
    return static_cast<std::uint32_t>(std::max(per_axis, 1.0));
}

tl::unexpected<FfError> too_wide(const LayoutInput& input, std::string_view where) {
    return fail(
        "molecule '{}' is {:.2f} Å across and needs sub-boxes at least {:.2f} Å wide (twice its "
        "width plus the tolerance); {}",
        input.largest_name, input.largest_extent, minimum_subbox_edge(input), where);
}

// The largest distance between two atoms costs a pass over every pair; beyond this many atoms
// (100,000 took a minute) a bound in one pass stands in for it.
constexpr std::size_t EXACT_EXTENT_MAX_ATOMS = 4096;

// Twice the largest distance from the centroid: never less than the largest distance between two
// atoms, at most twice it.
double twice_the_reach(const std::vector<PseudoAtom>& atoms) {
    Position centroid{};
    for (const auto& atom : atoms) centroid = centroid + atom.position;
    for (double& c : centroid) c /= static_cast<double>(atoms.size());
    double reach = 0;
    for (const auto& atom : atoms) reach = std::max(reach, distance(atom.position, centroid));
    return 2 * reach;
}

}  // namespace

double molecule_extent(const Molecule& molecule) {
    const auto& atoms = molecule.pseudo_atoms;
    if (atoms.size() > EXACT_EXTENT_MAX_ATOMS) return twice_the_reach(atoms);
    double widest = 0;
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        for (std::size_t j = i + 1; j < atoms.size(); ++j) {
            widest = std::max(widest, distance(atoms[i].position, atoms[j].position));
        }
    }
    return widest;
}

double minimum_subbox_edge(const LayoutInput& input) {
    return 2 * input.largest_extent + input.tolerance;
}

Result<GridLayout> plan_grid(const LayoutInput& input, std::optional<GridCells> requested) {
    if (!std::isfinite(input.tolerance) || input.tolerance < 0) {
        return fail("tolerance must be a finite length of at least 0 to split the box, not {}",
                    input.tolerance);
    }
    double needed = minimum_subbox_edge(input);
    if (requested) {
        const GridCells& cells = *requested;
        if (std::find(cells.begin(), cells.end(), 0u) != cells.end()) {
            return fail("sub-box grid {}x{}x{} has a zero dimension", cells[0], cells[1], cells[2]);
        }
        // Every sub-box costs a job; more of them than molecules can only be a mistake.
        // (In floating point: the product of three large dimensions overflows any integer.)
        double subboxes = static_cast<double>(cells[0]) * cells[1] * cells[2];
        if (subboxes > static_cast<double>(input.molecules)) {
            return fail("sub-box grid {}x{}x{} has more sub-boxes than the {} molecules to pack",
                        cells[0], cells[1], cells[2], input.molecules);
        }
        double narrowest = narrowest_subbox(input, cells);
        if (narrowest < needed) {
            return too_wide(input,
                            fmt::format("the {}x{}x{} grid of the {:.2f} Å box makes them "
                                        "{:.2f} Å wide",
                                        cells[0], cells[1], cells[2], input.box_edge, narrowest));
        }
        return GridLayout{cells};
    }
    if (input.box_edge < needed) {
        return too_wide(input, fmt::format("the whole box is {:.2f} Å wide", input.box_edge));
    }
    std::uint32_t per_axis = cells_per_axis_for(input.molecules);
    while (per_axis > 1 && input.box_edge / per_axis < needed) --per_axis;
    return GridLayout{{per_axis, per_axis, per_axis}};
}

}  // namespace boxwright
