#include "pipeline/diagnostics.hpp"

#include "base/invariant.hpp"

namespace boxwright {

bool shown_in_summary(DiagnosticKind kind) {
    return kind == DiagnosticKind::RigidPlaceholder || kind == DiagnosticKind::PackingStatus ||
           kind == DiagnosticKind::LongRangeSolver;
}

bool is_about_input(DiagnosticKind kind) {
    return kind == DiagnosticKind::Density || kind == DiagnosticKind::LennardJones ||
           kind == DiagnosticKind::BondLength || kind == DiagnosticKind::Mass ||
           kind == DiagnosticKind::UnknownKey || kind == DiagnosticKind::Setting;
}

std::string_view kind_name(DiagnosticKind kind) {
    switch (kind) {
        case DiagnosticKind::RigidPlaceholder:
            return "rigid-placeholder";
        case DiagnosticKind::PackingStatus:
            return "packing-status";
        case DiagnosticKind::LongRangeSolver:
            return "long-range-solver";
        case DiagnosticKind::NetCharge:
            return "net-charge";
        case DiagnosticKind::PresetAndCharges:
            return "preset-and-charges";
        case DiagnosticKind::PseudoAtom:
            return "pseudo-atom";
        case DiagnosticKind::FlexibleMolecule:
            return "flexible-molecule";
        case DiagnosticKind::Cutoff:
            return "cutoff";
        case DiagnosticKind::Overlap:
            return "overlap";
        case DiagnosticKind::PackingTolerance:
            return "packing-tolerance";
        case DiagnosticKind::PackingJobs:
            return "packing-jobs";
        case DiagnosticKind::Composition:
            return "composition";
        case DiagnosticKind::KeptVelocities:
            return "kept-velocities";
        case DiagnosticKind::OutputDirectory:
            return "output-directory";
        case DiagnosticKind::Raspa:
            return "raspa3";
        case DiagnosticKind::CoordinateFrame:
            return "coordinate-frame";
        case DiagnosticKind::RunSettings:
            return "run-settings";
        case DiagnosticKind::Density:
            return "density";
        case DiagnosticKind::LennardJones:
            return "lennard-jones";
        case DiagnosticKind::BondLength:
            return "bond-length";
        case DiagnosticKind::Mass:
            return "mass";
        case DiagnosticKind::UnknownKey:
            return "unknown-key";
        case DiagnosticKind::Setting:
            return "setting";
    }
    unreachable("a diagnostic kind of the enumeration");
}

}  // namespace boxwright
