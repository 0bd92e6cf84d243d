#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "lammps/resolved.hpp"
#include "pipeline/system.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using namespace test;

// A flexible chain C-C-C-O with an entry for each of its types, the mixed ones written from the O
// end: messages must name the element's atoms in its own order, not the entry's.
Molecule chain() {
    auto m = make_molecule(
        "chain", {{"C", {0, 0, 0}}, {"C", {1.5, 0, 0}}, {"C", {2, 1.4, 0}}, {"O", {3.5, 1.4, 0}}},
        {{0, 1}, {1, 2}, {2, 3}});
    m.bonds = {{{"C", "C"}, "HARMONIC", {1, 2}}, {{"O", "C"}, "harmonic", {1, 2}}};
    m.bends = {{{"C", "C", "C"}, "Harmonic", {1, 2}}, {{"O", "C", "C"}, "HARMONIC", {1, 2}}};
    m.torsions = {{{"O", "C", "C", "C"}, "trappe", {0, 1, 2, 3}}};
    return m;
}

// The converted constants are those of the golden files (butane); the constant term of a torsion
// has no OPLS counterpart and changes nothing.
TEST(Resolve, TheTorsionsConstantTermIsDropped) {
    Molecule butane = butane_molecule();
    const auto dihedral = resolve_molecule(butane)->dihedrals.at(0).record;
    butane.torsions[0].parameters[0] = 1234;
    EXPECT_EQ(resolve_molecule(butane)->dihedrals.at(0).record, dihedral);
}

TEST(Resolve, FirstMatchingEntryWinsAndDihedralsWithoutOneAreLeftOut) {
    Molecule m = chain();
    m.bonds.insert(m.bonds.begin(), {{"O", "X"}, "MORSE", {}});
    m.bonds.push_back({{"C", "O"}, "MORSE", {9, 9, 9}});  // matches too, but comes later
    auto r = resolve_molecule(m);
    ASSERT_TRUE(r) << r.error().message;
    EXPECT_EQ(r->bonds[2].record.types, (std::array<std::string, 2>{"C", "O"}));  // the pair's
    EXPECT_EQ(r->bonds[2].record.r0, 2);
    EXPECT_EQ(r->dihedrals.size(), 1u);
    m.torsions.clear();
    for (bool rigid : {false, true}) {
        m.rigid = rigid;
        EXPECT_TRUE(resolve_molecule(m)->dihedrals.empty());
    }
}

// Each message begins "molecule 'chain': ".
TEST(Resolve, MessagesNameTheElementAndStopAtTheFirstProblem) {
    const struct {
        const char* name;
        void (*edit)(Molecule&);
        const char* message;
    } cases[] = {
        {"bond potential", [](Molecule& m) { m.bonds[1].potential = "HARMONIC "; },
         "unsupported bond potential 'HARMONIC ' for C-O (only HARMONIC is supported)"},
        {"bond parameters", [](Molecule& m) { m.bonds[1].parameters.push_back(3); },
         "HARMONIC bond C-O must have [k, r0], got [1.0, 2.0, 3.0]"},
        {"bonds before angles",
         [](Molecule& m) { m.bonds[1].potential = m.bends[0].potential = "MORSE"; },
         "unsupported bond potential 'MORSE' for C-O (only HARMONIC is supported)"},
        {"missing bond", [](Molecule& m) { m.bonds.pop_back(); },
         "no Bonds entry for C-O and the molecule is not declared \"Type\": \"rigid\"; add "
         "explicit HARMONIC bond parameters or mark the molecule rigid"},
        {"bend parameters", [](Molecule& m) { m.bends[1].parameters = {1e-5}; },
         "HARMONIC bend C-C-O must have [k, angle0], got [1e-5]"},
        {"missing bend", [](Molecule& m) { m.bends.pop_back(); },
         "no Bends entry for C-C-O and the molecule is not declared \"Type\": \"rigid\"; add "
         "explicit HARMONIC bend parameters or mark the molecule rigid"},
        {"torsion parameters", [](Molecule& m) { m.torsions[0].parameters.clear(); },
         "TRAPPE torsion C-C-C-O must have [c0, c1, c2, c3], got []"},
    };
    ASSERT_TRUE(resolve_molecule(chain()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Molecule m = chain();
        c.edit(m);
        EXPECT_EQ(error_of(resolve_molecule(m)), std::string("molecule 'chain': ") + c.message);
    }
}

TEST(Resolve, RigidPlaceholderAnglesStayDefinedAtTheLimits) {
    const struct {
        const char* name;
        Position i, k;
        double angle0;
    } cases[] = {
        {"cosine rounds past -1", {-0.1, -0.1, -0.3}, {0.1, 0.1, 0.3}, 180},
        {"cosine rounds past 1", {0.2, 0.2, 0.6}, {0.1, 0.1, 0.3}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto m =
            make_molecule("m", {{"A", c.i}, {"B", {0, 0, 0}}, {"A", c.k}}, {{1, 0}, {1, 2}}, true);
        auto r = resolve_molecule(m);
        ASSERT_TRUE(r) << r.error().message;
        EXPECT_NEAR(r->angles[0].record.angle0, c.angle0, 1e-12);
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
    m.bends = {{{"H", "O", "H"}, "HARMONIC", {50000, 104.52}}};  // an entry beats the placeholder
    EXPECT_FALSE(resolve_molecule(m)->angles[0].record.placeholder);
}

// resolve_active over the test force field, and how many placeholder warnings it reported.
struct Activation {
    Result<ActiveSpecies> species;
    std::size_t placeholders = 0;
};
Activation activate(std::span<const Molecule> molecules, std::vector<std::uint64_t> counts) {
    Diagnostics diagnostics;
    auto species = resolve_active(molecules, counts, test_force_field(), diagnostics);
    return {std::move(species), diagnostics.entries().size()};
}

TEST(ResolveActive, DropsCountZeroSpeciesWithoutResolvingThem) {
    Molecule broken = chain();
    broken.bonds.clear();
    const std::vector<Molecule> molecules = {water_molecule(), broken, argon_molecule()};
    auto [active, placeholders] = activate(molecules, {3, 0, 2});
    ASSERT_TRUE(active) << active.error().message;
    ASSERT_EQ(active->active.size(), 2u);
    EXPECT_EQ(active->active[1].resolved.molecule, &molecules[2]);
    EXPECT_EQ(placeholders, 2u);  // their texts and order: the end-to-end golden

    EXPECT_EQ(error_of(activate(molecules, {0, 0, 0}).species),
              "all species have count 0; nothing to build");
    EXPECT_EQ(error_of(activate(molecules, {1, 1, 1}).species), error_of(resolve_molecule(broken)));
}

TEST(ResolveActive, SharedTypesWarnOnceAndConflictAcrossSpecies) {
    auto hydroxyl =
        make_molecule("hydroxyl", {{"H", {0, 0, 0}}, {"O", {0.97, 0, 0}}}, {{0, 1}}, true);
    const std::vector<Molecule> placeholders = {water_molecule(), hydroxyl};
    EXPECT_EQ(error_of(activate(placeholders, {1, 1}).species),
              "conflicting bond parameters for type pair (H, O): molecule 'hydroxyl' resolves to "
              "k=1000.0000 r0=0.9700, but an earlier molecule resolved to k=1000.0000 "
              "r0=0.9572");

    std::vector<Molecule> same = {water_molecule(), water_molecule()};
    same[1].name = "water2";
    EXPECT_EQ(activate(same, {1, 1}).placeholders, 2u);
}

// A rigid hexagon without Bends, its coordinates to six decimals: the placeholder angles measured
// from them differ by about 1e-5 degrees and are still one type.
TEST(ResolveActive, PlaceholdersOfASymmetricRigidMoleculeAreOneType) {
    std::vector<PseudoAtom> ring;
    std::vector<Bond> bonds;
    for (int i = 0; i < 6; ++i) {
        const double phi = i * std::numbers::pi / 3;
        const auto six_decimals = [](double x) { return std::round(x * 1e6) / 1e6; };
        ring.push_back(
            {"CH3", {six_decimals(1.4 * std::cos(phi)), six_decimals(1.4 * std::sin(phi)), 0}});
        bonds.push_back({static_cast<AtomIndex>(i), static_cast<AtomIndex>((i + 1) % 6)});
    }
    const std::vector<Molecule> benzene = {make_molecule("benzene", ring, bonds, true)};
    auto [species, placeholders] = activate(benzene, {1});
    ASSERT_TRUE(species) << species.error().message;
    EXPECT_EQ(species->registries.bonds.size(), 1u);
    EXPECT_EQ(species->registries.angles.size(), 1u);
    EXPECT_EQ(placeholders, 2u);
}

}  // namespace
}  // namespace boxwright
