#include "ff/force_field_merge.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_map>

#include "base/invariant.hpp"
#include "base/numbers.hpp"
#include "base/utf8.hpp"

namespace boxwright {
namespace {

bool agree(double a, double b) {
    return std::fabs(a - b) <=
           std::max(PARAMETER_FLOOR, PARAMETER_AGREEMENT * std::max(std::fabs(a), std::fabs(b)));
}

std::string numbers_of(const PseudoAtomParams& p) {
    return fmt::format("mass {}, charge {}, epsilon {} K, sigma {} \u00c5", plain_number(p.mass),
                       plain_number(p.charge), plain_number(p.epsilon_k),
                       plain_number(p.sigma_ang));
}

std::string numbers_of(const BinaryParams& p) {
    return fmt::format("epsilon {} K, sigma {} \u00c5", plain_number(p.epsilon_k),
                       plain_number(p.sigma_ang));
}

// The names of a map's entries in a fixed order, so that the first disagreement reported does not
// depend on how a hash table lays them out.
template <class Map>
std::vector<typename Map::key_type> sorted_keys(const Map& map) {
    std::vector<typename Map::key_type> keys;
    keys.reserve(map.size());
    for (const auto& entry : map) keys.push_back(entry.first);
    std::sort(keys.begin(), keys.end());
    return keys;
}

class Merge {
  public:
    explicit Merge(ForceFieldFile first) : merged_(std::move(first.force_field)) {
        for (const auto& entry : merged_.pseudo_atoms) atom_origin_[entry.first] = first.path;
        for (const auto& entry : merged_.binary_interactions)
            pair_origin_[entry.first] = first.path;
    }

    Result<void> add(ForceFieldFile file) {
        auto& atoms = file.force_field.pseudo_atoms;
        for (const auto& name : sorted_keys(atoms)) {
            auto& params = atoms.find(name)->second;
            const PseudoAtomParams* kept = merged_.pseudo_atom(name);
            if (kept == nullptr) {
                atom_origin_[name] = file.path;
                merged_.pseudo_atoms.emplace(name, std::move(params));
            } else if (!same_numbers(*kept, params)) {
                return fail_in(atom_origin_[name],
                               "pseudo atom '{}' has other numbers in {} ({}) than in {} ({}): "
                               "a name is one type, so rename it in one file or make them agree",
                               name, lossy_utf8(file.path), numbers_of(params),
                               lossy_utf8(atom_origin_[name]), numbers_of(*kept));
            }
        }
        auto& pairs = file.force_field.binary_interactions;
        for (const auto& key : sorted_keys(pairs)) {
            auto& params = pairs.find(key)->second;
            const BinaryParams* kept = merged_.binary(key);
            if (kept == nullptr) {
                pair_origin_[key] = file.path;
                merged_.binary_interactions.emplace(key, std::move(params));
            } else if (!agree(kept->epsilon_k, params.epsilon_k) ||
                       !agree(kept->sigma_ang, params.sigma_ang)) {
                return fail_in(pair_origin_[key],
                               "BinaryInteractions for ({}, {}) has other numbers in {} ({}) than "
                               "in {} ({})",
                               key[0], key[1], lossy_utf8(file.path), numbers_of(params),
                               lossy_utf8(pair_origin_[key]), numbers_of(*kept));
            }
        }
        return {};
    }

    ForceField result() && { return std::move(merged_); }

  private:
    ForceField merged_;
    std::unordered_map<std::string, std::string> atom_origin_;
    std::unordered_map<NamePair, std::string, NameTupleHash<2>> pair_origin_;
};

}  // namespace

bool same_numbers(const PseudoAtomParams& a, const PseudoAtomParams& b) {
    return agree(a.mass, b.mass) && agree(a.charge, b.charge) && agree(a.epsilon_k, b.epsilon_k) &&
           agree(a.sigma_ang, b.sigma_ang);
}

Result<ForceField> merge_force_fields(std::vector<ForceFieldFile> files) {
    invariant(!files.empty(), "a force field to merge into");
    Merge merge(std::move(files.front()));
    for (std::size_t i = 1; i < files.size(); ++i) BW_TRY_VOID(merge.add(std::move(files[i])));
    return std::move(merge).result();
}

}  // namespace boxwright
