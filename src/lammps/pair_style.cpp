#include "lammps/pair_style.hpp"

#include "base/invariant.hpp"
#include "base/numbers.hpp"

namespace boxwright {

std::string_view display_name(PairSetup setup) {
    switch (setup) {
        case PairSetup::Tip4p:
            return "Tip4p";
        case PairSetup::LjCut:
            return "LjCut";
        case PairSetup::LjCutCoulLong:
            return "LjCutCoulLong";
    }
    unreachable("PairSetup enumerator in range");
}

bool has_long_range_solver(std::optional<PairSetup> setup) {
    return setup == PairSetup::Tip4p || setup == PairSetup::LjCutCoulLong;
}

bool has_coulomb_term(PairSetup setup) { return has_long_range_solver(setup); }

std::string_view kspace_style_name(PairSetup setup) {
    invariant(has_long_range_solver(setup), "a kspace style only for a long-range solver");
    return setup == PairSetup::Tip4p ? "pppm/tip4p" : "pppm";
}

std::string pair_style_command(PairSetup setup, const Tip4pTypes& water, double lj_cutoff,
                               double coulomb_cutoff) {
    // Cutoffs read like the presets' "10.0": shortest form with at least one decimal.
    const std::string lj = list_number(lj_cutoff), coulomb = list_number(coulomb_cutoff);
    switch (setup) {
        case PairSetup::Tip4p:
            return fmt::format("pair_style lj/cut/tip4p/long {} {} {} {} {} {}{}\n", water.oxygen,
                               water.hydrogen, water.bond, water.angle, plain_number(water.m_site),
                               lj, lj == coulomb ? "" : " " + coulomb);
        case PairSetup::LjCut:
            return fmt::format("pair_style lj/cut {}\n", lj);
        case PairSetup::LjCutCoulLong:
            return fmt::format("pair_style lj/cut/coul/long {} {}\n", lj, coulomb);
    }
    unreachable("PairSetup enumerator in range");
}

std::string gen_pair_style_setup(std::optional<PairSetup> setup, bool explicit_lb,
                                 const Tip4pTypes& water) {
    static constexpr std::string_view HEADER = "\n# Setting up pair style\n\n";
    // With explicit cross pairs every pair has its own pair_coeff line, so LAMMPS must not mix.
    std::string_view pair_modify =
        explicit_lb ? "pair_modify tail yes\n\n"
                    : "pair_modify tail yes mix arithmetic # ATC + LB mixing\n\n";
    std::string block(HEADER);
    if (!setup) {
        block +=
            "# INSERT YOUR CUSTOM PAIR STYLE HERE\n\n# DO NOT FORGET TO SET KSPACE STYLE IF "
            "NEEDED\n\n";
        return block;
    }
    block += pair_style_command(*setup, water, PRESET_CUTOFF, PRESET_CUTOFF);
    if (has_long_range_solver(setup)) {
        block += fmt::format("\nkspace_style {} 1.0e-4\n", kspace_style_name(*setup));
    }
    block += pair_modify;
    return block;
}

}  // namespace boxwright
