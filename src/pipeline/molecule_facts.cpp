#include "pipeline/molecule_facts.hpp"

#include <algorithm>

#include "ff/force_field.hpp"
#include "ff/molecule.hpp"
#include "lammps/constraints.hpp"
#include "lammps/resolved.hpp"

namespace boxwright {
namespace {

std::string shape_of(const ResolvedMolecule& resolved, const ForceField& force_field) {
    const Molecule& molecule = *resolved.molecule;
    if (molecule.pseudo_atoms.size() == 1) return "one site";
    if (molecule.rigid) return "rigid";
    const bool every_bond_held = std::ranges::all_of(resolved.bonds, [&](const auto& bond) {
        return held_fixed(bond.record, molecule, force_field);
    });
    return every_bond_held ? "fixed bonds" : "flexible";
}

}  // namespace

Result<MoleculeFacts> describe_molecule(const std::string& molecule_path,
                                        const std::string& force_field_path) {
    BW_TRY(const ForceField force_field, ForceField::load(force_field_path));
    BW_TRY(const Molecule molecule, Molecule::load(molecule_path));
    MoleculeFacts facts;
    for (const auto& atom : molecule.pseudo_atoms) {
        BW_TRY(const PseudoAtomParams* params,
               force_field.pseudo_atom_used_by(molecule.name, atom.name));
        facts.charge += params->charge;
        facts.charged = facts.charged || params->charge != 0;
    }
    facts.sites = molecule.pseudo_atoms.size() + (molecule.m_site ? 1 : 0);
    BW_TRY(const ResolvedMolecule resolved, resolve_molecule(molecule));
    facts.shape = shape_of(resolved, force_field);
    return facts;
}

}  // namespace boxwright
