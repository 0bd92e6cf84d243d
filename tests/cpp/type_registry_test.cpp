#include "lammps/type_registry.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "base/names.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using test::make_molecule;
using test::Species;

TEST(TypeKeys, CanonicalOrderComparesBytesAsUnsignedWithPrefixFirst) {
    const std::tuple<const char*, const char*, PairKey> pairs[] = {
        {"O", "H", {"H", "O"}},
        {"H", "O", {"H", "O"}},
        {"CH3", "CH2", {"CH2", "CH3"}},
        {"C", "CH3", {"C", "CH3"}},
        {"Cl", "CH3", {"CH3", "Cl"}},
        {"cl", "Cl", {"Cl", "cl"}},
        {"\xC3\xA9", "z", {"z", "\xC3\xA9"}}};
    for (const auto& [a, b, key] : pairs) {
        SCOPED_TRACE(std::string(a) + " " + b);
        EXPECT_EQ(norm_pair(a, b), key);
        EXPECT_EQ(norm_pair_key(a, b), key);  // the force field's cross terms use the same order
    }
    EXPECT_EQ(norm_triple("O", "C", "H"), (TripleKey{"H", "C", "O"}));
    EXPECT_EQ(norm_triple("Z", "A", "B"), (TripleKey{"B", "A", "Z"}));
    EXPECT_EQ(norm_quad("X", "CH2", "CH", "X"), (QuadKey{"X", "CH", "CH2", "X"}));
    EXPECT_EQ(norm_quad("b", "a", "z", "a"), (QuadKey{"a", "z", "a", "b"}));
}

TEST(AtomTypeRegistry, NumbersNamesInOrderOfFirstAppearanceAcrossSpecies) {
    ForceField ff;
    for (const char* name : {"O", "H", "C"}) ff.pseudo_atoms[name] = {};
    Species s;
    s.add(make_molecule("water", {{"O", {}}, {"H", {}}, {"H", {}}}), 1);
    s.add(make_molecule("skipped", {{"Ar", {}}, {"Nope", {}}}), 0);  // no type, no error
    s.add(make_molecule("methanol", {{"C", {}}, {"O", {}}, {"H", {}}}), 7);
    auto registry = build_atom_type_registry(s.active, ff);
    ASSERT_TRUE(registry) << registry.error().message;
    EXPECT_EQ((std::array{registry->type_number("O"), registry->type_number("H"),
                          registry->type_number("C"), registry->size()}),
              (std::array<std::size_t, 4>{1, 2, 3, 3}));

    s.add(make_molecule("ethanol", {{"C", {}}, {"Cl", {}}, {"X", {}}}), 1);
    EXPECT_EQ(test::error_of(build_atom_type_registry(s.active, ff)),
              "molecule 'ethanol' uses pseudo-atom type 'Cl' not present in the force field");
    EXPECT_EQ(test::error_of(build_atom_type_registry(std::span(s.active).subspan(1, 1), ff)),
              "no atoms to build: all species have count 0, or no species were given");
}

// A lookup that the registries make sure cannot fail is an invariant: it aborts and names the line
// that asked, not the line of the helper that checked.
TEST(TypeRegistriesDeathTest, AMissingNameAbortsAtTheCallersLine) {
    const AtomTypeRegistry registry;
    const ForceField ff;
    const char* here = "type_registry_test.cpp:[0-9]+: internal error: ";
    EXPECT_DEATH(registry.type_number("O"), std::string(here) + "type key present");
    EXPECT_DEATH(ff.checked_pseudo_atom("O"), std::string(here) + "pseudo atom checked");
}

ResolvedBond bond(std::string a, std::string b, double k, double r0, bool placeholder = false) {
    return {{std::move(a), std::move(b)}, k, r0, placeholder};
}

// One type met in both orientations keeps the first (the butane golden files show it); here the
// stored record is the first one and a count-0 species between them takes no part.
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
        {"placeholders measured 0.0015 Å apart", bond("C", "O", 1000, 1.5, true),
         bond("C", "O", 1000, 1.5015, true), true},
        {"placeholders 0.003 Å apart", bond("C", "O", 1000, 1.5, true),
         bond("C", "O", 1000, 1.503, true), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Species s;
        s.add(make_molecule("first", {}), 1).bonds = {{{0, 1}, c.first}};
        s.add(make_molecule("unused", {}), 0).bonds = {{{0, 1}, bond("C", "O", 0, 0)}};
        s.add(make_molecule("second", {}), 3).bonds = {{{0, 1}, c.second}};
        auto registry = build_bond_type_registry(s.active);
        EXPECT_EQ(registry.has_value(), c.agrees);
        EXPECT_TRUE(!registry || (*registry)[0].value == c.first);
    }
}

// The bond conflict message: ResolveActive.SharedTypesWarnOnceAndConflictAcrossSpecies.
TEST(TypeRegistries, ConflictMessagesNameKeyMoleculeAndBothParameterSets) {
    Species angles;
    angles.add(make_molecule("bent", {}), 1).angles = {
        {{0, 1, 2}, {{"O", "C", "H"}, 62.100128125, 114, false}},
        {{2, 1, 0}, {{"H", "C", "O"}, 62.100128125, 109.47, false}}};
    EXPECT_EQ(test::error_of(build_angle_type_registry(angles.active)),
              "conflicting angle parameters for type triple (H, C, O): molecule 'bent' resolves to "
              "k=62.1001 angle0=109.4700, but an earlier molecule resolved to k=62.1001 "
              "angle0=114.0000");

    // Values that look alike at four decimals get as many more as show the difference.
    Species close;
    close.add(make_molecule("a", {}), 1).bonds = {{{0, 1}, bond("C", "O", 1.00002, 1.5)}};
    close.add(make_molecule("b", {}), 1).bonds = {{{0, 1}, bond("C", "O", 1.00001, 1.5)}};
    EXPECT_EQ(test::error_of(build_bond_type_registry(close.active)),
              "conflicting bond parameters for type pair (C, O): molecule 'b' resolves to "
              "k=1.00001 r0=1.5000, but an earlier molecule resolved to k=1.00002 r0=1.5000");

    Species torsions;
    const ResolvedDihedral first{
        {"CH3", "CH2", "CH2", "CH3"}, 1.41103414, -0.2710149, 3.1450287, 0};
    auto second = first;
    second.k4 = 1;  // compared, though not printed
    torsions.add(make_molecule("a", {}), 1).dihedrals = {{{0, 1, 2, 3}, first}};
    torsions.add(make_molecule("b", {}), 4).dihedrals = {{{0, 1, 2, 3}, second}};
    EXPECT_EQ(test::error_of(build_dihedral_type_registry(torsions.active)),
              "conflicting torsion parameters for type quadruple (CH3, CH2, CH2, CH3): molecule "
              "'b' resolves to K1=1.4110 K2=-0.2710 K3=3.1450, but an earlier molecule resolved "
              "to K1=1.4110 K2=-0.2710 K3=3.1450");
}

}  // namespace
}  // namespace boxwright
