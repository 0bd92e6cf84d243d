#include "lammps/type_registry.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "lammps_systems.hpp"

namespace boxwright {
namespace {

using test::make_molecule;
using test::Species;

TEST(TypeKeys, CanonicalOrderComparesBytesWithPrefixFirst) {
    EXPECT_EQ(norm_pair("O", "H"), (PairKey{"H", "O"}));
    EXPECT_EQ(norm_pair("H", "O"), (PairKey{"H", "O"}));
    EXPECT_EQ(norm_pair("CH3", "CH2"), (PairKey{"CH2", "CH3"}));
    EXPECT_EQ(norm_pair("C", "CH3"), (PairKey{"C", "CH3"}));
    EXPECT_EQ(norm_pair("Cl", "CH3"), (PairKey{"CH3", "Cl"}));
    EXPECT_EQ(norm_pair("cl", "Cl"), (PairKey{"Cl", "cl"}));
    EXPECT_EQ(norm_pair("\xC3\xA9", "z"), (PairKey{"z", "\xC3\xA9"}));  // bytes are unsigned

    EXPECT_EQ(norm_triple("O", "C", "H"), (TripleKey{"H", "C", "O"}));
    EXPECT_EQ(norm_triple("H", "O", "H"), (TripleKey{"H", "O", "H"}));
    EXPECT_EQ(norm_triple("Z", "A", "B"), (TripleKey{"B", "A", "Z"}));

    EXPECT_EQ(norm_quad("CH3", "CH2", "CH2", "CH3"), (QuadKey{"CH3", "CH2", "CH2", "CH3"}));
    EXPECT_EQ(norm_quad("X", "CH2", "CH", "X"), (QuadKey{"X", "CH", "CH2", "X"}));
    EXPECT_EQ(norm_quad("b", "a", "z", "a"), (QuadKey{"a", "z", "a", "b"}));
    EXPECT_EQ(norm_quad("X", "A", "A", "X"), (QuadKey{"X", "A", "A", "X"}));
}

ResolvedBond bond(std::string a, std::string b, double k, double r0, bool placeholder = false) {
    return {{std::move(a), std::move(b)}, k, r0, placeholder};
}

TEST(AtomTypeRegistry, NumbersNamesInOrderOfFirstAppearanceAcrossSpecies) {
    Species s;
    s.add(make_molecule("water", {{"O", {}}, {"H", {}}, {"H", {}}}, {}, false), 1);
    s.add(make_molecule("skipped", {{"Ar", {}}, {"Nope", {}}}, {}, false), 0);
    s.add(make_molecule("methanol", {{"C", {}}, {"O", {}}, {"H", {}}}, {}, false), 7);
    ForceField ff;
    for (const char* name : {"O", "H", "C", "Ar"}) ff.pseudo_atoms[name] = {};

    auto registry = build_atom_type_registry(s.active, ff);
    ASSERT_TRUE(registry) << registry.error().message;
    ASSERT_EQ(registry->size(), 3u);
    EXPECT_EQ(registry->type_number("O"), 1u);
    EXPECT_EQ(registry->type_number("H"), 2u);
    EXPECT_EQ(registry->type_number("C"), 3u);
    EXPECT_FALSE(registry->find("Ar"));  // count 0 contributes no type and no error
}

TEST(AtomTypeRegistry, Failures) {
    ForceField ff;
    ff.pseudo_atoms["O"] = {};
    Species unknown;
    unknown.add(make_molecule("water", {{"O", {}}, {"H", {}}, {"X", {}}}, {}, false), 1);
    EXPECT_EQ(build_atom_type_registry(unknown.active, ff).error().message,
              "molecule 'water' uses pseudo-atom type 'H' not present in the force field");

    const char* no_atoms = "no atoms to build: all species have count 0, or no species were given";
    Species all_zero;
    all_zero.add(make_molecule("water", {{"O", {}}}, {}, false), 0);
    EXPECT_EQ(build_atom_type_registry(all_zero.active, ff).error().message, no_atoms);
    EXPECT_EQ(build_atom_type_registry({}, ff).error().message, no_atoms);
    EXPECT_TRUE(build_bond_type_registry({})->empty());
    EXPECT_TRUE(build_angle_type_registry({})->empty());
    EXPECT_TRUE(build_dihedral_type_registry({})->empty());
}

TEST(BondTypeRegistry, KeepsTheFirstOrientationUnderTheCanonicalKey) {
    Species s;
    auto& water = s.add(make_molecule("water", {}, {}, false), 2);
    water.bonds = {{{0, 1}, bond("O", "H", 450, 1)}, {{2, 0}, bond("H", "O", 450, 1)}};
    auto& peroxide = s.add(make_molecule("peroxide", {}, {}, false), 1);
    peroxide.bonds = {{{0, 1}, bond("O", "O", 300, 1.4)}, {{1, 2}, bond("H", "O", 450, 1)}};

    auto registry = build_bond_type_registry(s.active);
    ASSERT_TRUE(registry) << registry.error().message;
    ASSERT_EQ(registry->size(), 2u);
    EXPECT_EQ((*registry)[0].key, (PairKey{"H", "O"}));
    EXPECT_EQ((*registry)[0].value.types, (std::array<std::string, 2>{"O", "H"}));
    EXPECT_EQ(registry->type_number({"O", "O"}), 2u);
}

TEST(BondTypeRegistry, AgreementIsAbsoluteAndStrict) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* name;
        ResolvedBond first, second;
        bool agrees;
    } cases[] = {
        {"r0 within 5e-7", bond("C", "O", 10, 1.5), bond("O", "C", 10, 1.5 + 5e-7), true},
        {"r0 off by 2e-6", bond("C", "O", 10, 1.5), bond("O", "C", 10, 1.5 + 2e-6), false},
        {"k off by 2e-6", bond("C", "O", 10, 1.5), bond("C", "O", 10 + 2e-6, 1.5), false},
        {"nan never agrees", bond("C", "O", nan, 1.5), bond("C", "O", nan, 1.5), false},
        {"placeholder vs explicit", bond("C", "O", 1000, 1.5, true), bond("C", "O", 1000, 1.5),
         false},
        {"both placeholders", bond("C", "O", 1000, 1.5, true), bond("C", "O", 1000, 1.5, true),
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Species s;
        s.add(make_molecule("first", {}, {}, false), 1).bonds = {{{0, 1}, c.first}};
        s.add(make_molecule("unused", {}, {}, false), 0).bonds = {{{0, 1}, bond("C", "O", 0, 0)}};
        s.add(make_molecule("second", {}, {}, false), 3).bonds = {{{0, 1}, c.second}};
        auto registry = build_bond_type_registry(s.active);
        EXPECT_EQ(registry.has_value(), c.agrees);
        if (registry) {
            EXPECT_EQ((*registry)[0].value, c.first);
        }
    }
}

TEST(TypeRegistries, ConflictMessagesNameKeyMoleculeAndBothParameterSets) {
    Species bonds;
    bonds.add(make_molecule("ethanol", {}, {}, false), 1).bonds = {
        {{0, 1}, bond("O", "H", 552.5, 0.945)}};
    bonds.add(make_molecule("methanol", {}, {}, false), 1).bonds = {
        {{0, 1}, bond("H", "O", 1000, 0.9572, true)}};
    EXPECT_EQ(build_bond_type_registry(bonds.active).error().message,
              "conflicting bond parameters for type pair (H, O): molecule 'methanol' resolves to "
              "k=1000.0000 r0=0.9572, but an earlier molecule resolved to k=552.5000 r0=0.9450");

    Species angles;
    auto& bent = angles.add(make_molecule("bent", {}, {}, false), 1);
    bent.angles = {{{0, 1, 2}, {{"O", "C", "H"}, 62.100128125, 114, false}},
                   {{2, 1, 0}, {{"H", "C", "O"}, 62.100128125, 109.47, false}}};
    EXPECT_EQ(build_angle_type_registry(angles.active).error().message,
              "conflicting angle parameters for type triple (H, C, O): molecule 'bent' resolves to "
              "k=62.1001 angle0=109.4700, but an earlier molecule resolved to k=62.1001 "
              "angle0=114.0000");

    Species torsions;
    torsions.add(make_molecule("a", {}, {}, false), 1).dihedrals = {
        {{0, 1, 2, 3}, {{"CH3", "CH2", "CH2", "CH3"}, 1.41103414, -0.2710149, 3.1450287, 0}}};
    torsions.add(make_molecule("b", {}, {}, false), 4).dihedrals = {
        {{0, 1, 2, 3}, {{"CH3", "CH2", "CH2", "CH3"}, 1.41103414, -0.2710149, 3.1450287, 1}}};
    EXPECT_EQ(build_dihedral_type_registry(torsions.active).error().message,
              "conflicting torsion parameters for type quadruple (CH3, CH2, CH2, CH3): molecule "
              "'b' resolves to K1=1.4110 K2=-0.2710 K3=3.1450, but an earlier molecule resolved "
              "to K1=1.4110 K2=-0.2710 K3=3.1450");
}

}  // namespace
}  // namespace boxwright
