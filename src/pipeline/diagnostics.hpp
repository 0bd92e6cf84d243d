// Diagnostics: the one list every step of a build reports to. Each entry has a kind (which
// check or step said it), a level (a routine note, or a warning the user should act on) and its
// text. The summary of the specified module shows the kinds it has always shown, in the order
// they were reported; the package's report shows them all.
#pragma once

#include <fmt/format.h>

#include <string>
#include <string_view>
#include <vector>

namespace boxwright {

enum class DiagnosticKind {
    // Shown in the build summary.
    RigidPlaceholder,  // a bond or angle type without parameters, held at its reference
    PackingStatus,     // Packmol failed but left a usable structure
    LongRangeSolver,   // the preset sets a long-range Coulomb solver the user may tune
    // The package's checks of the finished build.
    NetCharge,
    PresetAndCharges,
    PseudoAtom,
    FlexibleMolecule,
    Cutoff,
    Overlap,
    PackingTolerance,
    PackingJobs,      // fewer Packmol processes at once than asked for
    Composition,      // how mole fractions were rounded to whole molecules
    KeptVelocities,   // the temperature of the velocities a data file carries through
    OutputDirectory,  // written unlocked, or files of an earlier build removed from it
    Raspa,            // what the RASPA3 run did: cycles, energy, acceptance, box, cutoffs
    CoordinateFrame,  // which frame of a coordinate file of several was read
    RunSettings,      // where the run settings of a rebuild from a final.data came from
    // Plausibility of the input: numbers in the wrong unit, swapped or misspelt.
    Density,
    LennardJones,
    BondLength,
    Mass,
    UnknownKey,
    Setting,  // a setting of the build outside what runs usually take
};

enum class DiagnosticLevel { Note, Warning };

struct Diagnostic {
    DiagnosticKind kind;
    DiagnosticLevel level;
    std::string text;
};

// Whether the kind is one of the checks of the input's plausibility.
bool is_about_input(DiagnosticKind kind);
// Whether the specified build summary shows this kind as one of its "warning:" lines.
bool shown_in_summary(DiagnosticKind kind);
// "rigid-placeholder", "packing-status", ...: the kind as the package's report names it.
std::string_view kind_name(DiagnosticKind kind);

class Diagnostics {
  public:
    void add(DiagnosticKind kind, DiagnosticLevel level, std::string text) {
        entries_.push_back({kind, level, std::move(text)});
    }
    void warn(DiagnosticKind kind, std::string text) {
        add(kind, DiagnosticLevel::Warning, std::move(text));
    }
    void note(DiagnosticKind kind, std::string text) {
        add(kind, DiagnosticLevel::Note, std::move(text));
    }
    // The same with the text formatted in place, as the checks write their messages.
    template <class... Args>
    void warn(DiagnosticKind kind, fmt::format_string<Args...> text, Args&&... args) {
        warn(kind, fmt::format(text, std::forward<Args>(args)...));
    }
    template <class... Args>
    void note(DiagnosticKind kind, fmt::format_string<Args...> text, Args&&... args) {
        note(kind, fmt::format(text, std::forward<Args>(args)...));
    }
    const std::vector<Diagnostic>& entries() const { return entries_; }

  private:
    std::vector<Diagnostic> entries_;
};

}  // namespace boxwright
