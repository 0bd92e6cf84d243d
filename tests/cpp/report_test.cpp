#include "pipeline/report.hpp"

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;

// The test force field with every self interaction given (H's as zero), Na+ and Cl- ions, and a
// cutoff equal to the presets'.
ForceField checked_force_field() {
    ForceField ff = test_force_field();
    for (auto& [name, params] : ff.pseudo_atoms) params.self_interaction = true;
    ff.pseudo_atoms["Na"] = {22.99, 1, 50, 2.5, {}, true};
    ff.pseudo_atoms["Cl"] = {35.45, -1, 50, 4.4, {}, true};
    ff.cutoff_vdw = PRESET_CUTOFF;
    return ff;
}

Molecule ion(const char* name) { return make_molecule(name, {{name, {0, 0, 0}}}); }

// The water fixture declared as the four-site water it is run as.
Molecule four_site_water() {
    Molecule m = water_molecule();
    m.m_site = 0.1546;
    return m;
}

// O-H-H-O, flexible: the bonds to its bare H join into a chain.
Molecule bare_chain() {
    Molecule m = make_molecule(
        "ohho", {{"O", {0, 0, 0}}, {"H", {1, 0, 0}}, {"H", {1, 1, 0}}, {"O", {2, 1, 0}}},
        {{0, 1}, {1, 2}, {2, 3}});
    m.bonds = {{{"O", "H"}, "HARMONIC", {1000, 1}}, {{"H", "H"}, "HARMONIC", {1000, 1}}};
    m.bends = {{{"O", "H", "H"}, "HARMONIC", {100, 90}}};
    m.torsions = {{{"O", "H", "H", "O"}, "TRAPPE", {0, 0, 0, 0}}};
    return m;
}

Molecule edited(Molecule m, void (*edit)(Molecule&)) {
    edit(m);
    return m;
}

// The note of a box edge under twice the cutoff, both as the note shows them.
std::string images_note(std::string_view edge, std::string_view cutoff) {
    return fmt::format(
        "note: the box edge {} \u00c5 is under twice the cutoff of {} \u00c5: an atom meets some "
        "neighbours in more than one periodic image (pack more molecules, or shorten the cutoff)",
        edge, cutoff);
}

// A packing of the box split in two, with its tolerance.
void split_packing(TestBuild& build, double tolerance) {
    build.split = SplitPacking{{{2, 1, 1}}, 2, tolerance};
    build.request.placement = PackmolPlacement{.tolerance = tolerance};
}

struct Case {
    const char* name;
    std::vector<std::pair<Molecule, std::uint64_t>> species;
    std::optional<PairSetup> setup;
    std::vector<std::string> expected;
    void (*change)(TestBuild&) = [](TestBuild&) {};  // of a packed 40 Å box with in.lmp
};

// The report's own warnings and notes (those after the summary's), for copies 5 Å apart.
std::vector<std::string> checks_of(const Case& c) {
    TestBuild build;
    build.ff = checked_force_field();
    for (const auto& [molecule, count] : c.species) build.add(molecule, count);
    build.request.pair_setup = c.setup;
    build.request.full_report = true;
    build.request.placement = PackmolPlacement{.tolerance = 2};
    build.request.input_script = RunSettings{};
    build.box = 40;
    c.change(build);
    TempDir dir;
    auto report = build.run(dir.path());
    EXPECT_TRUE(report) << report.error().message;
    std::vector<std::string> checks;
    for (const auto& diagnostic : report->diagnostics) {
        if (shown_in_summary(diagnostic.kind)) continue;
        const bool note = diagnostic.level == DiagnosticLevel::Note;
        checks.push_back((note ? "note: " : "") + diagnostic.text);
    }
    return checks;
}

TEST(ReportChecks, EachDoubtfulSetUpIsSaid) {
    const Case cases[] = {
        {"Tip4p adds an M site to a water that declares none",
         {{water_molecule(), 2}},
         PairSetup::Tip4p,
         {"pair style Tip4p adds an M site 0.1546 \u00c5 from O to a water that declares none "
          "(MSite in its molecule file): if the model has no M site, choose LjCutCoulLong or "
          "auto"}},
        {"a four-site water run with three sites",
         {{four_site_water(), 2}},
         PairSetup::LjCutCoulLong,
         {"molecule 'water' is a four-site water (MSite 0.1546 \u00c5), but pair style "
          "LjCutCoulLong has no M site: the M site's charge sits on O and the model is not its "
          "paper's (choose Tip4p, or auto)"}},
        {"net charge",
         {{ion("Na"), 2}, {ion("Cl"), 1}},
         PairSetup::LjCutCoulLong,
         {"the system carries a net charge of 1 e (per molecule: Na 1, Cl -1); LAMMPS runs it "
          "with only a note that it is not charge neutral"}},
        {"charges dropped by LjCut",
         {{water_molecule(), 1}, {argon_molecule(), 1}},
         PairSetup::LjCut,
         {"pair style LjCut has no Coulomb term: the charges of 'O', 'H' are dropped (choose "
          "LjCutCoulLong, or auto)"}},
        {"a Coulomb solver without charges",
         {{argon_molecule(), 2}},
         PairSetup::LjCutCoulLong,
         {"pair style LjCutCoulLong sets a long-range Coulomb solver, but no atom carries a "
          "charge: LAMMPS refuses to run it (choose LjCut, or auto)"}},
        {"Tip4p without water",
         {{ion("Na"), 1}, {ion("Cl"), 1}},
         PairSetup::Tip4p,
         {"pair style Tip4p, but no species is a TIP4P water (rigid, three atoms, the two bonded "
          "to the third at a bent angle and of one type): lj/cut/tip4p/long keeps the types 1 2 "
          "1 1"}},
        {"a pseudo atom without a self interaction",
         {{four_site_water(), 1}},
         PairSetup::Tip4p,
         {"pseudo atom 'H' has no SelfInteractions entry, so no Lennard-Jones core (written as "
          "epsilon 0, sigma 0); is its name misspelt there?"},
         [](TestBuild& b) { b.ff.pseudo_atoms["H"].self_interaction = false; }},
        {"a mass of zero",
         {{argon_molecule(), 1}},
         PairSetup::LjCut,
         {"pseudo atom 'Ar' has mass 0: LAMMPS refuses a mass of zero or below"},
         [](TestBuild& b) { b.ff.pseudo_atoms["Ar"].mass = 0; }},
        // Flexible water's bonds to its bare H are held by SHAKE; a chain of them cannot be.
        {"bare charges held by SHAKE", {{flexible_water(), 1}}, PairSetup::LjCutCoulLong, {}},
        {"bare charges in a chain SHAKE cannot hold",
         {{bare_chain(), 1}},
         PairSetup::LjCutCoulLong,
         {"the system carries a net charge of -0.8476 e (per molecule: ohho -0.8476); LAMMPS "
          "runs it with only a note that it is not charge neutral",
          "molecule 'ohho' is flexible, and the bonds it holds fixed (to a charged site without "
          "epsilon or sigma, or named in FixedBonds) form chains that SHAKE cannot hold (one atom "
          "and at most three bonded to it): they stay flexible, and a bare charge can fall onto a "
          "neighbouring one (declare the molecule rigid, or give the site a Lennard-Jones core)",
          "note: the stiffest flexible bond, H-H of molecule 'ohho', vibrates with a period of "
          "154.7 fs: 154.7 timesteps of 1 fs"}},
        {"a bond too stiff for the timestep",
         {{edited(make_molecule("ar2", {{"Ar", {0, 0, 0}}, {"Ar", {2, 0, 0}}}, {{0, 1}}),
                  [](Molecule& m) {
                      m.bonds = {{{"Ar", "Ar"}, "HARMONIC", {1e7, 2}}};
                  }),
           1}},
         PairSetup::LjCut,
         {"the stiffest flexible bond, Ar-Ar of molecule 'ar2', vibrates with a period of 9.7 fs: "
          "9.7 timesteps of 1 fs; under 10 the run cannot follow it (shorten the timestep, or "
          "hold the bond fixed with FixedBonds)"}},
        {"dihedrals without Torsions entries",
         {{edited(butane_molecule(), [](Molecule& m) { m.torsions.clear(); }), 1}},
         PairSetup::LjCut,
         {"molecule 'butane' leaves out the dihedrals that have no Torsions entry: 1 of 1 "
          "(CH3-CH2-CH2-CH3)",
          "note: the stiffest flexible bond, CH2-CH2 of molecule 'butane', vibrates with a period "
          "of 58.7 fs: 58.7 timesteps of 1 fs"}},
        {"the force field's cutoff, given again in in.lmp",
         {{argon_molecule(), 1}},
         PairSetup::LjCut,
         {"note: the force field's CutOffVDW is 12 \u00c5, the LjCut preset's cutoff 10 \u00c5: "
          "in.lmp gives the pair style again with 12 \u00c5, which keeps the coefficients"},
         [](TestBuild& b) { b.ff.cutoff_vdw = 12; }},
        {"the force field's cutoff without in.lmp",
         {{argon_molecule(), 1}},
         PairSetup::LjCut,
         {"the force field's CutOffVDW is 12 \u00c5, but forcefield.lmp has the LjCut preset's "
          "10 \u00c5: give the pair style again with your cutoff after including it (LAMMPS "
          "keeps the coefficients)"},
         [](TestBuild& b) {
             b.ff.cutoff_vdw = 12;
             b.request.input_script.reset();
         }},
        // Copies sit 5 Å apart in a box of 6 Å: through the wall they are 1 Å apart.
        {"given coordinates that overlap",
         {{argon_molecule(), 2}},
         PairSetup::LjCut,
         {images_note("5.990", "10"),
          "atoms 1 and 2 (of argon 1 and argon 2) are 0.990 \u00c5 apart: atoms of different "
          "molecules closer than 1 \u00c5 overlap in the given coordinates"},
         [](TestBuild& b) {
             b.box = 5.99;
             b.request.placement = GivenPositions{};
         }},
        // Packmol keeps the tolerance only to within 0.01 Å.
        {"a split packing closer than its tolerance",
         {{argon_molecule(), 2}},
         PairSetup::LjCut,
         {"atoms 1 and 2 (of argon 1 and argon 2) are 5.000 \u00c5 apart, closer than the "
          "packing tolerance of 5.5 \u00c5"},
         [](TestBuild& b) { split_packing(b, 5.5); }},
        {"a split packing within its tolerance",
         {{argon_molecule(), 2}},
         PairSetup::LjCut,
         {},
         [](TestBuild& b) { split_packing(b, 5.005); }},
        // The longest cutoff of the run, the Lennard-Jones one asked for in place of the force
        // field's, which goes unsaid.
        {"cutoffs asked for",
         {{four_site_water(), 2}},
         PairSetup::Tip4p,
         {images_note("22.000", "11.5")},
         [](TestBuild& b) {
             b.ff.cutoff_vdw = 12;
             b.box = 22;
             b.request.pair_settings = {.cutoff = 11, .coulomb_cutoff = 11.5};
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(checks_of(c), c.expected);
    }
}

}  // namespace
}  // namespace boxwright
