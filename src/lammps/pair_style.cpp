#include "lammps/pair_style.hpp"

#include "ff/invariant.hpp"

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

std::string gen_pair_style_setup(std::optional<PairSetup> setup, bool explicit_lb) {
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
    switch (*setup) {
        case PairSetup::Tip4p:
            block +=
                "pair_style lj/cut/tip4p/long 1 2 1 1 0.1546 10.0\n\nkspace_style pppm/tip4p "
                "1.0e-4\n";
            break;
        case PairSetup::LjCut:
            block += "pair_style lj/cut 10.0\n";
            break;
        case PairSetup::LjCutCoulLong:
            block += "pair_style lj/cut/coul/long 10.0 10.0\n\nkspace_style pppm 1.0e-4\n";
            break;
    }
    block += pair_modify;
    return block;
}

}  // namespace boxwright
