#include "lammps/input_script.hpp"

#include <fmt/ranges.h>
#include <gtest/gtest.h>

#include "base/text_lines.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;

Molecule carbon_dioxide() {
    return make_molecule("co2", {{"C", {0, 0, 0}}, {"Oc", {1.16, 0, 0}}, {"Oc", {-1.16, 0, 0}}},
                         {{0, 1}, {0, 2}}, true);
}

ForceField test_force_field_with_co2() {
    ForceField ff = test_force_field();
    ff.pseudo_atoms["C"] = {12.011, 0.7, 27.0, 2.8, {}, true};
    ff.pseudo_atoms["Oc"] = {15.9994, -0.35, 79.0, 3.05, {}, true};
    return ff;
}

struct Plan {
    ForceField ff = test_force_field_with_co2();
    Species species;
    TypeRegistries registries;

    InputScriptPlan make(std::optional<PairSetup> setup, const RunSettings& run = {},
                         const PairSettings& asked = {}) {
        registries = *build_type_registries(species.active, ff);
        return plan_input_script(species.active, registries, ff, setup, run, asked);
    }
};

Molecule butane_fixed_ends() {
    Molecule m = butane_molecule();
    m.fixed_bonds = {{"CH2", "CH3"}};
    return m;
}

// How a species is held: "<hold> bonds <SHAKE's bond types> angles <its angle types>", and
// "straight" for a rigid body put back onto its axis.
std::string held_as(const Molecule& molecule) {
    const ForceField ff = test_force_field_with_co2();
    Species species;
    species.add(molecule, 1);
    const auto h =
        hold_for(species.active[0].resolved, *build_type_registries(species.active, ff), ff);
    const char* holds[] = {"nothing", "shake", "rigid"};
    return fmt::format("{} bonds {} angles {}{}", holds[static_cast<int>(h.hold)],
                       fmt::join(h.bond_types, " "), fmt::join(h.angle_types, " "),
                       h.straight_offsets.empty() ? "" : " straight");
}

TEST(Constraints, EachRigidShapeGetsWhatLammpsCanHoldItWith) {
    const std::pair<Molecule, const char*> cases[] = {
        {water_molecule(), "shake bonds 1 angles 1"},  // bent: SHAKE with its angle
        {make_molecule("o2", {{"O", {0, 0, 0}}, {"O", {1.2, 0, 0}}}, {{0, 1}}, true),
         "shake bonds 1 angles "},
        {carbon_dioxide(), "rigid bonds  angles  straight"},
        // Three bonds around one atom: SHAKE would hold the bonds but not the angles.
        {make_molecule("ch3",
                       {{"C", {0, 0, 0}}, {"O", {1, 0, 0}}, {"O", {0, 1, 0}}, {"O", {0, 0, 1}}},
                       {{0, 1}, {0, 2}, {0, 3}}, true),
         "rigid bonds  angles "},
        {butane_molecule(), "nothing bonds  angles "},
        {flexible_water(), "shake bonds 1 angles "},  // the bonds to its bare H
        {butane_fixed_ends(), "shake bonds 1 angles "},
        {make_molecule("ar", {{"Ar", {0, 0, 0}}}, {}, true), "nothing bonds  angles "},
    };
    for (const auto& [molecule, held] : cases) EXPECT_EQ(held_as(molecule), held) << molecule.name;
}

// Butane first, then water (SHAKE), then a straight CO2 (rigid bodies): the Tip4p pair style
// names the water's types 3 4 3 2 again with the force field's 12 Å cutoff; water's bare H
// has the minimisation run with the charges off. NPT, the atoms outside the bodies carrying the
// barostat. From a data file with velocities: those kept, with no seed, relaxation or start.
TEST(InputScript, MixtureOfEveryHoldGolden) {
    Plan p;
    p.ff.cutoff_vdw = 12;
    p.species.add(butane_molecule(), 2);
    p.species.add(water_molecule(), 3);
    p.species.add(carbon_dioxide(), 4);
    auto plan = p.make(PairSetup::Tip4p);
    expect_golden("input_script/mixture.in.lmp", input_script_text(plan));
    plan.velocities_kept = true;
    expect_golden("input_script/kept_velocities.in.lmp", input_script_text(plan));
}

// Without a preset the user's pair style comes first; argon and butane carry no charge, so the
// script minimises; no pressure runs NVT, and no rigid bodies means no mobile subset.
TEST(InputScript, CustomPairStyleNvtWithMinimisationGolden) {
    Plan p;
    p.species.add(argon_molecule(), 5);
    p.species.add(butane_molecule(), 1);
    const RunSettings run{.temperature = 350,
                          .pressure = std::nullopt,
                          .timestep = 2.0,
                          .steps = 5000,
                          .dump_every = 0};
    expect_golden("input_script/custom_nvt.in.lmp", input_script_text(p.make(std::nullopt, run)));
}

// Coordinates of an equilibrated fluid: no minimisation, velocities drawn and the start; a
// pressure in MPa converted to the atm of LAMMPS's real units.
TEST(InputScript, EquilibratedPositionsInMegapascalGolden) {
    Plan p;
    p.species.add(water_molecule(), 3);
    const RunSettings run{.pressure = 5, .pressure_unit = PressureUnit::MPa, .equilibrated = true};
    expect_golden("input_script/equilibrated_mpa.in.lmp",
                  input_script_text(p.make(PairSetup::Tip4p, run)));
}

// Rigid bodies carry the barostat, which places their atoms in the scaled box; among many other
// atoms its piston's damping time is lengthened to weigh it as the whole system's: 10 butanes of
// 12 degrees of freedom and one straight CO2 of 5.
TEST(InputScript, RigidBodiesCarryAPistonOfTheWholeSystemsWeight) {
    const struct {
        const char* name;
        std::uint64_t co2, butane;
        std::vector<std::string> expected;
    } cases[] = {
        {"bodies alone",
         4,
         0,
         {"fix             bodies bodies rigid/npt/small molecule temp ${temperature} "
          "${temperature} ${thermostat_damping} iso ${pressure} ${pressure} ${barostat_damping} "
          "dilate all\n"}},
        {"bodies among other atoms",
         1,
         10,
         {"variable        piston_damping equal ${barostat_damping}*sqrt(125/5)\n",
          "iso ${pressure} ${pressure} ${piston_damping} dilate all\n",
          "fix             md mobile nvt temp"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Plan p;
        p.species.add(carbon_dioxide(), c.co2);
        if (c.butane > 0) p.species.add(butane_molecule(), c.butane);
        const std::string text = input_script_text(p.make(PairSetup::LjCutCoulLong));
        const std::string production = text.substr(text.find("Production"));
        for (const auto& expected : c.expected)
            EXPECT_NE(production.find(expected), std::string::npos) << expected;
        EXPECT_EQ(production.find("piston_damping") != std::string::npos, c.butane > 0);
    }
}

// After forcefield.lmp: the pair style again wherever a cutoff of the run differs from the
// preset's 10 Å (the one asked for before the force field's), the PPPM accuracy asked for. (An
// asked cutoff over the force field's, as LAMMPS runs it: the cutoffs-from-the-command-line run.)
TEST(InputScript, CutoffsAndAccuracyOfTheRunFollowForcefieldLmp) {
    const struct {
        const char* name;
        PairSetup setup;
        double cutoff_vdw;
        PairSettings asked;
        std::vector<std::string> expected;
    } cases[] = {
        {"the preset's asked for over the force field's", PairSetup::LjCut, 12, {.cutoff = 10}, {}},
        {"a Coulomb cutoff",
         PairSetup::LjCutCoulLong,
         10,
         {.coulomb_cutoff = 12.5},
         {"pair_style      lj/cut/coul/long 10.0 12.5"}},
        {"everything for TIP4P",
         PairSetup::Tip4p,
         10,
         {.cutoff = 12, .coulomb_cutoff = 12, .kspace_accuracy = 1e-5},
         {"pair_style      lj/cut/tip4p/long 1 2 1 1 0.1546 12.0",
          "kspace_style    pppm/tip4p 1e-5"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Plan p;
        p.ff.cutoff_vdw = c.cutoff_vdw;
        p.species.add(water_molecule(), 2);
        const std::string text = input_script_text(p.make(c.setup, {}, c.asked));
        std::vector<std::string> commands;
        for (std::string_view rest = text; !rest.empty();) {
            const auto line = take_line(rest);
            if (line.starts_with("pair_style") || line.starts_with("kspace_style")) {
                commands.emplace_back(line);
            }
        }
        EXPECT_EQ(commands, c.expected);
    }
}

}  // namespace
}  // namespace boxwright
