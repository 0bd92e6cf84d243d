#include <gtest/gtest.h>

#include "lammps/resolved.hpp"
#include "lammps_systems.hpp"
#include "pipeline/active.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;

Molecule chain(std::vector<std::string> names, bool rigid = false) {
    std::vector<PseudoAtom> atoms;
    std::vector<Bond> bonds;
    for (std::size_t n = 0; n < names.size(); ++n) {
        atoms.push_back(
            {names[n], {1.5 * static_cast<double>(n), 0.1 * static_cast<double>(n % 2), 0}});
        if (n > 0) bonds.push_back({n - 1, n});
    }
    return make_molecule("chain", std::move(atoms), std::move(bonds), rigid);
}

TEST(Resolve, ConvertsKelvinAndHalvesHarmonicConstants) {
    Molecule m = chain({"CH3", "CH2", "CH2", "CH3"});
    m.bonds = {{{"CH2", "CH3"}, "HARMONIC", {96500, 1.54}},
               {{"CH2", "CH2"}, "harmonic", {96500, 1.54}}};
    m.bends = {{{"CH3", "CH2", "CH2"}, "Harmonic", {62500, 114}}};
    m.torsions = {{{"CH3", "CH2", "CH2", "CH3"}, "trappe", {0, 355.03, -68.19, 791.32}}};
    auto r = resolve_molecule(m);
    ASSERT_TRUE(r) << r.error().message;

    ASSERT_EQ(r->bonds.size(), 3u);
    const ResolvedBond& first = r->bonds[0].record;
    EXPECT_EQ(first.types, (std::array<std::string, 2>{"CH3", "CH2"}));  // the pair's order
    EXPECT_NEAR(first.k, 95.88259782, 1e-8);
    EXPECT_EQ(fmt::format("{:.4f}", first.k), "95.8826");
    EXPECT_EQ(first.r0, 1.54);
    EXPECT_FALSE(first.placeholder);
    EXPECT_EQ(r->bonds[2].atoms, (Bond{2, 3}));

    ASSERT_EQ(r->angles.size(), 2u);
    EXPECT_NEAR(r->angles[1].record.k, 62.100128125, 1e-9);
    EXPECT_EQ(r->angles[1].record.angle0, 114);
    EXPECT_EQ(r->angles[1].record.types, (std::array<std::string, 3>{"CH2", "CH2", "CH3"}));

    ASSERT_EQ(r->dihedrals.size(), 1u);
    const ResolvedDihedral& d = r->dihedrals[0].record;
    EXPECT_NEAR(d.k1, 1.41103414, 5e-9);
    EXPECT_NEAR(d.k2, -0.27101490, 5e-9);
    EXPECT_NEAR(d.k3, 3.14502870, 5e-9);
    EXPECT_EQ(d.k4, 0);

    m.torsions[0].parameters[0] = 1234;  // the constant term has no OPLS counterpart
    EXPECT_EQ(resolve_molecule(m)->dihedrals[0].record, d);
}

TEST(Resolve, FirstMatchingEntryWinsForwardOrReversed) {
    Molecule m = chain({"O", "H"});
    m.bonds = {{{"C", "O"}, "MORSE", {}},
               {{"H", "O"}, "HARMONIC", {1000, 0.96}},
               {{"O", "H"}, "MORSE", {1, 2, 3}}};
    auto r = resolve_molecule(m);
    ASSERT_TRUE(r) << r.error().message;
    EXPECT_EQ(r->bonds[0].record.r0, 0.96);
    EXPECT_EQ(r->bonds[0].record.types, (std::array<std::string, 2>{"O", "H"}));
}

TEST(Resolve, RigidPlaceholdersComeFromTheReferenceGeometry) {
    Molecule water = water_molecule();
    auto r = resolve_molecule(water);
    ASSERT_TRUE(r) << r.error().message;
    ASSERT_EQ(r->bonds.size(), 2u);
    for (const auto& bond : r->bonds) {
        EXPECT_EQ(bond.record.k, 1000.0);
        EXPECT_NEAR(bond.record.r0, 0.9572, 1e-12);
        EXPECT_TRUE(bond.record.placeholder);
    }
    ASSERT_EQ(r->angles.size(), 1u);
    EXPECT_EQ(r->angles[0].atoms, (AngleTriple{1, 0, 2}));
    EXPECT_EQ(r->angles[0].record.k, 100.0);
    EXPECT_NEAR(r->angles[0].record.angle0, 104.52, 1e-9);
    EXPECT_TRUE(r->angles[0].record.placeholder);
    EXPECT_TRUE(r->dihedrals.empty());

    water.bonds = {{{"H", "O"}, "HARMONIC", {1000, 1.0}}};  // an entry beats the placeholder
    EXPECT_FALSE(resolve_molecule(water)->bonds[0].record.placeholder);
}

TEST(Resolve, PlaceholderAnglesStayDefinedAtTheLimits) {
    const struct {
        const char* name;
        Position i, k;
        double angle0;
    } cases[] = {
        {"straight line", {-1, 0, 0}, {2, 0, 0}, 180},
        {"right angle", {1, 0, 0}, {0, 3, 0}, 90},
        {"cosine rounds past -1", {-0.1, -0.1, -0.3}, {0.1, 0.1, 0.3}, 180},
        {"cosine rounds past 1", {0.2, 0.2, 0.6}, {0.1, 0.1, 0.3}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Molecule m =
            make_molecule("m", {{"A", c.i}, {"B", {0, 0, 0}}, {"A", c.k}}, {{1, 0}, {1, 2}}, true);
        auto r = resolve_molecule(m);
        ASSERT_TRUE(r) << r.error().message;
        EXPECT_NEAR(r->angles[0].record.angle0, c.angle0, 1e-12);
    }
}

TEST(Resolve, TopologyWithoutEntries) {
    auto single = make_molecule("argon", {{"Ar", {0, 0, 0}}}, {}, false);
    auto r = resolve_molecule(single);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->bonds.empty() && r->angles.empty() && r->dihedrals.empty());
    EXPECT_EQ(r->molecule, &single);

    for (bool rigid : {false, true}) {
        Molecule m = chain({"A", "B", "B", "A"}, rigid);
        m.bonds = {{{"A", "B"}, "HARMONIC", {1, 1}}, {{"B", "B"}, "HARMONIC", {1, 1}}};
        m.bends = {{{"A", "B", "B"}, "HARMONIC", {1, 100}}};
        auto resolved = resolve_molecule(m);
        ASSERT_TRUE(resolved) << resolved.error().message;
        EXPECT_TRUE(resolved->dihedrals.empty());  // no Torsions entry: left out, no message
    }
}

// Entries are written in the reverse of the elements' order: messages name the element's atoms.
TEST(Resolve, Messages) {
    const auto bond = [](std::vector<double> p, std::string potential = "HARMONIC") {
        return BondedEntry<2>{{"O", "C"}, std::move(potential), std::move(p)};
    };
    const auto bend = [](std::vector<double> p, std::string potential = "HARMONIC") {
        return BondedEntry<3>{{"O", "C", "C"}, std::move(potential), std::move(p)};
    };
    const BondedEntry<2> cc{{"C", "C"}, "HARMONIC", {1, 2}};
    const BondedEntry<3> ccc{{"C", "C", "C"}, "HARMONIC", {1, 2}};
    const auto torsion = [](std::vector<double> p, std::string potential = "TRAPPE") {
        return BondedEntry<4>{{"O", "C", "C", "C"}, std::move(potential), std::move(p)};
    };
    const struct {
        const char* name;
        std::vector<std::string> atoms;  // a chain
        std::vector<BondedEntry<2>> bonds;
        std::vector<BondedEntry<3>> bends;
        std::vector<BondedEntry<4>> torsions;
        std::string message;
    } cases[] = {
        {"bond potential",
         {"C", "O"},
         {bond({1, 2}, "HARMONIC ")},
         {},
         {},
         "molecule 'chain': unsupported bond potential 'HARMONIC ' for C-O (only HARMONIC is "
         "supported)"},
        {"bond parameters",
         {"C", "O"},
         {bond({1, 2, 3})},
         {},
         {},
         "molecule 'chain': HARMONIC bond C-O must have [k, r0], got [1.0, 2.0, 3.0]"},
        {"bonds before angles",
         {"C", "C", "O"},
         {cc, bond({1}, "MORSE")},
         {bend({}, "cosine")},
         {},
         "molecule 'chain': unsupported bond potential 'MORSE' for C-O (only HARMONIC is "
         "supported)"},
        {"missing bond",
         {"C", "O"},
         {},
         {},
         {},
         "molecule 'chain': no Bonds entry for C-O and the molecule is not declared \"Type\": "
         "\"rigid\"; add explicit HARMONIC bond parameters or mark the molecule rigid"},
        {"bend potential",
         {"C", "C", "O"},
         {cc, bond({1, 2})},
         {bend({1, 2}, "cosine")},
         {},
         "molecule 'chain': unsupported bend potential 'cosine' for C-C-O (only HARMONIC is "
         "supported)"},
        {"bend parameters",
         {"C", "C", "O"},
         {cc, bond({1, 2})},
         {bend({1e-5})},
         {},
         "molecule 'chain': HARMONIC bend C-C-O must have [k, angle0], got [1e-5]"},
        {"missing bend",
         {"C", "C", "O"},
         {cc, bond({1, 2})},
         {},
         {},
         "molecule 'chain': no Bends entry for C-C-O and the molecule is not declared \"Type\": "
         "\"rigid\"; add explicit HARMONIC bend parameters or mark the molecule rigid"},
        {"torsion potential",
         {"C", "C", "C", "O"},
         {cc, bond({1, 2})},
         {ccc, bend({1, 2})},
         {torsion({0, 1, 2, 3}, "OPLS")},
         "molecule 'chain': unsupported torsion potential 'OPLS' for C-C-C-O (only TRAPPE is "
         "supported)"},
        {"torsion parameters",
         {"C", "C", "C", "O"},
         {cc, bond({1, 2})},
         {ccc, bend({1, 2})},
         {torsion({})},
         "molecule 'chain': TRAPPE torsion C-C-C-O must have [c0, c1, c2, c3], got []"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Molecule m = chain(c.atoms);
        m.bonds = c.bonds;
        m.bends = c.bends;
        m.torsions = c.torsions;
        EXPECT_EQ(error_of(resolve_molecule(m)), c.message);
    }
}

// Reference positions with the vertex on an end atom have no angle: a clear failure, not NaN.
TEST(Resolve, CoincidentVertexFailsInsteadOfWritingNaN) {
    Molecule m = make_molecule("bent", {{"O", {0, 0, 0}}, {"H", {1, 0, 0}}, {"H", {0, 0, 0}}},
                               {{0, 1}, {0, 2}}, true);
    EXPECT_EQ(error_of(resolve_molecule(m)),
              "molecule 'bent': cannot derive a rigid placeholder angle for H-O-H (atoms 1, 0, 2): "
              "the reference position of vertex atom 0 coincides with that of atom 2; fix the "
              "coordinates or add an explicit HARMONIC Bends entry");
    m.bends = {{{"H", "O", "H"}, "HARMONIC", {50000, 104.52}}};
    EXPECT_TRUE(resolve_molecule(m));
}

const char* const WATER_BOND_WARNING =
    "bond O-H has no Bonds entry; defaulted to rigid placeholder (set SHAKE or RIGID in your "
    "LAMMPS input)";
const char* const WATER_ANGLE_WARNING =
    "angle H-O-H has no Bends entry; defaulted to rigid placeholder (set SHAKE or RIGID in your "
    "LAMMPS input)";

TEST(ResolveActive, DropsCountZeroSpeciesWithoutResolvingThem) {
    Molecule broken = chain({"C", "O"});  // no Bonds entry, not rigid
    broken.name = "broken";
    const std::vector<Molecule> molecules = {water_molecule(), broken, argon_molecule()};
    const std::uint64_t counts[] = {3, 0, 2};
    auto active = resolve_active(molecules, counts);
    ASSERT_TRUE(active) << active.error().message;
    ASSERT_EQ(active->active.size(), 2u);
    EXPECT_EQ(active->active[0].resolved.molecule, &molecules[0]);
    EXPECT_EQ(active->active[0].count, 3u);
    EXPECT_EQ(active->active[1].resolved.molecule, &molecules[2]);
    EXPECT_EQ(active->active[1].count, 2u);
    // One line per placeholder type, bonds first, named as first met (O to H; the key is H, O).
    EXPECT_EQ(active->warnings,
              (std::vector<std::string>{WATER_BOND_WARNING, WATER_ANGLE_WARNING}));

    const std::uint64_t zeros[] = {0, 0, 0};
    EXPECT_EQ(error_of(resolve_active(molecules, zeros)),
              "all species have count 0; nothing to build");
    const std::uint64_t broken_counts[] = {1, 1, 1};
    EXPECT_EQ(error_of(resolve_active(molecules, broken_counts)),
              "molecule 'broken': no Bonds entry for C-O and the molecule is not declared "
              "\"Type\": \"rigid\"; add explicit HARMONIC bond parameters or mark the molecule "
              "rigid");
}

TEST(ResolveActive, SharedTypesWarnOnceAndConflictAcrossSpecies) {
    Molecule hydroxyl =
        make_molecule("hydroxyl", {{"H", {0, 0, 0}}, {"O", {0.97, 0, 0}}}, {{0, 1}}, true);
    const std::vector<Molecule> placeholders = {water_molecule(), hydroxyl};
    const std::uint64_t counts[] = {1, 1};
    // Both place a bond between O and H; 0.97 is not water's 0.9572.
    EXPECT_EQ(error_of(resolve_active(placeholders, counts)),
              "conflicting bond parameters for type pair (H, O): molecule 'hydroxyl' resolves to "
              "k=1000.0000 r0=0.9700, but an earlier molecule resolved to k=1000.0000 "
              "r0=0.9572");

    std::vector<Molecule> same = {water_molecule(), water_molecule()};
    same[1].name = "water2";
    auto active = resolve_active(same, counts);
    ASSERT_TRUE(active) << active.error().message;
    EXPECT_EQ(active->warnings.size(), 2u);

    Molecule flexible = water_molecule();
    flexible.rigid = false;
    flexible.bonds = {{{"O", "H"}, "HARMONIC", {1000, 0.9572}}};
    flexible.bends = {{{"H", "O", "H"}, "HARMONIC", {100, 104.52}}};
    const std::vector<Molecule> explicit_only = {flexible};
    active = resolve_active(explicit_only, std::span(counts, 1));
    ASSERT_TRUE(active) << active.error().message;
    EXPECT_TRUE(active->warnings.empty());
}

}  // namespace
}  // namespace boxwright
