// Canonical type keys and the insertion-ordered type registries whose position + 1 is the LAMMPS
// type number. Built from the active species; the bond, angle and dihedral registries also make
// sure that one type has one set of parameters across the whole system.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <source_location>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/error.hpp"
#include "base/invariant.hpp"
#include "base/names.hpp"
#include "ff/force_field.hpp"
#include "lammps/resolved.hpp"

namespace boxwright {

using PairKey = NamePair;  // the force field's cross terms are keyed in the same order
using TripleKey = std::array<std::string, 3>;
using QuadKey = std::array<std::string, 4>;

inline PairKey norm_pair(std::string_view a, std::string_view b) { return norm_pair_key(a, b); }
TripleKey norm_triple(std::string_view a, std::string_view b, std::string_view c);
QuadKey norm_quad(std::string_view a, std::string_view b, std::string_view c, std::string_view d);

// Entries in order of first insertion, found by hashing. Holds copies, never references.
template <class Key, class Value, class Hash>
class OrderedRegistry {
  public:
    struct Entry {
        Key key;
        Value value;
    };

    // Position of `key`, if present.
    std::optional<std::size_t> find(const Key& key) const {
        auto it = index_.find(key);
        if (it == index_.end()) return std::nullopt;
        return it->second;
    }
    // Inserts at the end unless present; returns the position and whether it was inserted.
    std::pair<std::size_t, bool> insert(Key key, Value value) {
        auto [it, inserted] = index_.try_emplace(key, entries_.size());
        if (inserted) entries_.push_back(Entry{std::move(key), std::move(value)});
        return {it->second, inserted};
    }
    // The LAMMPS type number of a key that must be present: a missing key is a broken invariant
    // of the caller (registries are built from the same species they are asked about).
    std::size_t type_number(const Key& key,
                            std::source_location where = std::source_location::current()) const {
        auto it = index_.find(key);
        invariant(it != index_.end(), "type key present in its registry", where);
        return it->second + 1;
    }

    const std::vector<Entry>& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    const Entry& operator[](std::size_t position) const { return entries_[position]; }

  private:
    std::vector<Entry> entries_;
    std::unordered_map<Key, std::size_t, Hash> index_;
};

struct Unit {};
using AtomTypeRegistry = OrderedRegistry<std::string, Unit, NameHash>;
using BondTypeRegistry = OrderedRegistry<PairKey, ResolvedBond, NameTupleHash<2>>;
using AngleTypeRegistry = OrderedRegistry<TripleKey, ResolvedAngle, NameTupleHash<3>>;
using DihedralTypeRegistry = OrderedRegistry<QuadKey, ResolvedDihedral, NameTupleHash<4>>;

Result<AtomTypeRegistry> build_atom_type_registry(std::span<const ActivePair> active,
                                                  const ForceField& force_field);
Result<BondTypeRegistry> build_bond_type_registry(std::span<const ActivePair> active);
Result<AngleTypeRegistry> build_angle_type_registry(std::span<const ActivePair> active);
Result<DihedralTypeRegistry> build_dihedral_type_registry(std::span<const ActivePair> active);

struct TypeRegistries {
    AtomTypeRegistry atoms;
    BondTypeRegistry bonds;
    AngleTypeRegistry angles;
    DihedralTypeRegistry dihedrals;
};

// The four registries of a build, built bonds, angles, atoms, dihedrals: a bond or angle
// conflict is reported before a pseudo atom the force field lacks. The first failure ends the call.
Result<TypeRegistries> build_type_registries(std::span<const ActivePair> active,
                                             const ForceField& force_field);

}  // namespace boxwright
