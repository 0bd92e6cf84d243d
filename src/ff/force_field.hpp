// ForceField: the validated content of force_field.json, used only through lookups by name or by
// canonical name pair. Knows nothing about molecules or LAMMPS.
#pragma once

#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/error.hpp"
#include "base/names.hpp"
#include "ff/unknown_key.hpp"

namespace boxwright {

struct PseudoAtomParams {
    double mass = 0;
    double charge = 0;
    double epsilon_k = 0;  // Lennard-Jones epsilon / k_B, kelvin; 0 without a self interaction
    double sigma_ang = 0;  // Lennard-Jones sigma, ångström
    std::vector<std::string> sources;  // distinct texts, the self interaction's first
    bool self_interaction = false;     // the file gives this pseudo atom a SelfInteractions entry
};

struct BinaryParams {
    double epsilon_k = 0;
    double sigma_ang = 0;
    std::optional<std::string> source;
};

struct ForceField {
    std::string mixing_rule;
    std::unordered_map<std::string, PseudoAtomParams, NameHash, std::equal_to<>> pseudo_atoms;
    std::unordered_map<NamePair, BinaryParams, NameTupleHash<2>> binary_interactions;
    double cutoff_vdw = 12;
    std::vector<UnknownKey> unknown_keys;  // skipped while reading, in file order

    static Result<ForceField> load(const std::string& path);

    // Absent (nullptr) for a name the file does not declare.
    const PseudoAtomParams* pseudo_atom(std::string_view name) const;
    // A pseudo atom that the named molecule uses; a name the file does not declare is the user's
    // error and fails with a message naming the molecule and the name.
    Result<const PseudoAtomParams*> pseudo_atom_used_by(std::string_view molecule,
                                                        std::string_view name) const;
    // The declared name a misspelt one most likely meant (closest_name), if one is close.
    std::optional<std::string_view> closest_pseudo_atom(std::string_view name) const;
    // A name already checked against this file (every name in an atom type registry is): a
    // missing one is a bug, reported at the caller's line.
    const PseudoAtomParams& checked_pseudo_atom(
        std::string_view name, std::source_location where = std::source_location::current()) const;
    // `key` must be in canonical order (norm_pair_key); absent when the file sets no cross term.
    const BinaryParams* binary(const NamePair& key) const;
};

}  // namespace boxwright
