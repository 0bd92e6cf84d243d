#include "ff/force_field.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "base/closest_name.hpp"
#include "base/invariant.hpp"
#include "base/names.hpp"
#include "base/numbers.hpp"
#include "base/quoted.hpp"
#include "base/utf8.hpp"
#include "ff/json_binding.hpp"

namespace boxwright {
namespace {

// The file as written, before any consistency check.
struct PseudoAtomEntry {
    std::string name;
    double mass = 0;
    double charge = 0;
    std::optional<std::string> source;
};

struct SelfInteractionEntry {
    std::string name;
    std::string type = "lennard-jones";
    std::vector<double> parameters;
    std::optional<std::string> source;
};

struct BinaryInteractionEntry {
    std::vector<std::string> names;
    std::string type = "lennard-jones";
    std::vector<double> parameters;
    std::optional<std::string> source;
};

struct ForceFieldRaw {
    std::string mixing_rule;
    double cutoff_vdw = 12;
    std::vector<PseudoAtomEntry> pseudo_atoms;
    std::vector<SelfInteractionEntry> self_interactions;
    std::vector<BinaryInteractionEntry> binary_interactions;
};

// The field tables, in declaration order (the order of the array form).
json::Shape<PseudoAtomEntry> pseudo_atom_entry() {
    using namespace json;
    return record<PseudoAtomEntry>("PseudoAtomEntry",
                                   {
                                       required("name", &PseudoAtomEntry::name),
                                       required("mass", &PseudoAtomEntry::mass),
                                       required("charge", &PseudoAtomEntry::charge),
                                       optional("source", &PseudoAtomEntry::source),
                                   });
}

json::Shape<SelfInteractionEntry> self_interaction_entry() {
    using namespace json;
    return record<SelfInteractionEntry>(
        "SelfInteractionEntry", {
                                    required("name", &SelfInteractionEntry::name),
                                    optional("type", &SelfInteractionEntry::type),
                                    required("parameters", &SelfInteractionEntry::parameters),
                                    optional("source", &SelfInteractionEntry::source),
                                });
}

json::Shape<BinaryInteractionEntry> binary_interaction_entry() {
    using namespace json;
    return record<BinaryInteractionEntry>(
        "BinaryInteractionEntry", {
                                      required("names", &BinaryInteractionEntry::names),
                                      optional("type", &BinaryInteractionEntry::type),
                                      required("parameters", &BinaryInteractionEntry::parameters),
                                      optional("source", &BinaryInteractionEntry::source),
                                  });
}

const json::Shape<ForceFieldRaw>& force_field_shape() {
    using namespace json;
    static const auto shape = record<ForceFieldRaw>(
        "ForceFieldRaw",
        {
            required("MixingRule", &ForceFieldRaw::mixing_rule),
            optional("CutOffVDW", &ForceFieldRaw::cutoff_vdw),
            required("PseudoAtoms", &ForceFieldRaw::pseudo_atoms, sequence_of(pseudo_atom_entry())),
            optional("SelfInteractions", &ForceFieldRaw::self_interactions,
                     sequence_of(self_interaction_entry())),
            optional("BinaryInteractions", &ForceFieldRaw::binary_interactions,
                     sequence_of(binary_interaction_entry())),
        });
    return shape;
}

bool is_lennard_jones(std::string_view type) {
    return equals_ignoring_ascii_case(type, "lennard-jones");
}

using SelfIndex = std::unordered_map<std::string_view, const SelfInteractionEntry*>;

Result<SelfIndex> index_self_interactions(const ForceFieldRaw& raw, const std::string& shown) {
    SelfIndex index;
    for (const auto& entry : raw.self_interactions) {
        if (!index.emplace(entry.name, &entry).second) {
            return fail("duplicate SelfInteractions entry for '{}' in {}", entry.name, shown);
        }
    }
    return index;
}

Result<PseudoAtomParams> pseudo_atom_params(const PseudoAtomEntry& atom, const SelfIndex& selves) {
    PseudoAtomParams params{atom.mass, atom.charge, 0, 0, {}};
    if (auto self = selves.find(atom.name); self != selves.end()) {
        const auto& entry = *self->second;
        if (!is_lennard_jones(entry.type)) {
            return fail(
                "unsupported SelfInteractions type '{}' for '{}' (only lennard-jones is "
                "supported)",
                entry.type, atom.name);
        }
        if (entry.parameters.size() != 2) {
            return fail("SelfInteractions for '{}' must have [epsilon_K, sigma_Ang], got {}",
                        atom.name, number_list(entry.parameters));
        }
        params.epsilon_k = entry.parameters[0];
        params.sigma_ang = entry.parameters[1];
        params.self_interaction = true;
        if (entry.source) params.sources.push_back(*entry.source);
    }
    if (atom.source && std::find(params.sources.begin(), params.sources.end(), *atom.source) ==
                           params.sources.end()) {
        params.sources.push_back(*atom.source);
    }
    return params;
}

Result<void> add_binary(ForceField& ff, const BinaryInteractionEntry& entry,
                        const std::string& shown) {
    if (entry.names.size() != 2) {
        return fail("BinaryInteractions entry in {} must have exactly two \"names\", got {}", shown,
                    name_list(entry.names));
    }
    const auto& a = entry.names[0];
    const auto& b = entry.names[1];
    if (!is_lennard_jones(entry.type)) {
        return fail(
            "unsupported BinaryInteractions type '{}' for ({}, {}) (only lennard-jones is "
            "supported)",
            entry.type, a, b);
    }
    if (entry.parameters.size() != 2) {
        return fail("BinaryInteractions for ({}, {}) must have [epsilon_K, sigma_Ang], got {}", a,
                    b, number_list(entry.parameters));
    }
    for (const auto& name : entry.names) {
        if (ff.pseudo_atom(name) == nullptr) {
            return fail("BinaryInteractions references unknown pseudo-atom '{}' in {}", name,
                        shown);
        }
    }
    auto key = norm_pair_key(a, b);
    BinaryParams params{entry.parameters[0], entry.parameters[1], entry.source};
    auto [it, inserted] = ff.binary_interactions.emplace(std::move(key), std::move(params));
    if (!inserted) {
        return fail("duplicate BinaryInteractions entry for ({}, {}) in {}", it->first[0],
                    it->first[1], shown);
    }
    return {};
}

Result<ForceField> load_checked(const std::string& path) {
    std::vector<UnknownKey> unknown_keys;
    BW_TRY(auto raw, json::load_file(path, force_field_shape(), &unknown_keys));
    const auto shown = lossy_utf8(path);

    if (raw.mixing_rule != "Lorentz-Berthelot") {
        return fail("unsupported MixingRule '{}' in {} (only \"Lorentz-Berthelot\" is supported)",
                    raw.mixing_rule, shown);
    }
    BW_TRY(auto selves, index_self_interactions(raw, shown));

    ForceField ff;
    ff.mixing_rule = std::move(raw.mixing_rule);
    ff.cutoff_vdw = raw.cutoff_vdw;
    ff.unknown_keys = std::move(unknown_keys);
    for (const auto& atom : raw.pseudo_atoms) {
        BW_TRY_VOID(check_pseudo_atom_name(atom.name, shown));
        BW_TRY(auto params, pseudo_atom_params(atom, selves));
        if (!ff.pseudo_atoms.emplace(atom.name, std::move(params)).second) {
            return fail("duplicate PseudoAtoms entry for '{}' in {}", atom.name, shown);
        }
    }
    for (const auto& entry : raw.binary_interactions) BW_TRY_VOID(add_binary(ff, entry, shown));
    return ff;
}

}  // namespace

Result<ForceField> ForceField::load(const std::string& path) {
    return load_checked(path).map_error(in_file(path));
}

const PseudoAtomParams* ForceField::pseudo_atom(std::string_view name) const {
    auto it = pseudo_atoms.find(name);
    return it == pseudo_atoms.end() ? nullptr : &it->second;
}

Result<const PseudoAtomParams*> ForceField::pseudo_atom_used_by(std::string_view molecule,
                                                                std::string_view name) const {
    const PseudoAtomParams* params = pseudo_atom(name);
    if (params == nullptr) {
        return fail("molecule '{}' uses pseudo-atom type '{}' not present in the force field",
                    molecule, name);
    }
    return params;
}

std::optional<std::string_view> ForceField::closest_pseudo_atom(std::string_view name) const {
    std::vector<std::string_view> declared;
    declared.reserve(pseudo_atoms.size());
    for (const auto& entry : pseudo_atoms) declared.push_back(entry.first);
    return closest_name(name, declared);
}

const PseudoAtomParams& ForceField::checked_pseudo_atom(std::string_view name,
                                                        std::source_location where) const {
    const PseudoAtomParams* params = pseudo_atom(name);
    invariant(params != nullptr, "pseudo atom checked against the force field", where);
    return *params;
}

const BinaryParams* ForceField::binary(const NamePair& key) const {
    auto it = binary_interactions.find(key);
    return it == binary_interactions.end() ? nullptr : &it->second;
}

}  // namespace boxwright
