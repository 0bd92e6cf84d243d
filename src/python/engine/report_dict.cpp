#include "python/engine/report_dict.hpp"

#include <initializer_list>
#include <utility>

#include "python/entry_support.hpp"

namespace boxwright::python {
namespace {

using Item = std::pair<const char*, PyObject*>;  // a key and a new reference (null on failure)

// A dict of the given items; every reference is taken over, also when one of them is null.
PyObject* dict_of(std::initializer_list<Item> items) {
    PyRef dict = PyRef::steal(PyDict_New());
    bool complete = static_cast<bool>(dict);
    for (const auto& [key, value] : items) {
        PyRef owned = PyRef::steal(value);
        complete = complete && owned && PyDict_SetItemString(dict.get(), key, owned.get()) == 0;
    }
    return complete ? dict.release() : nullptr;
}

template <class Range, class Convert>
PyObject* list_of(const Range& range, Convert convert) {
    PyRef list = PyRef::steal(PyList_New(0));
    if (!list) return nullptr;
    for (const auto& element : range) {
        PyRef item = PyRef::steal(convert(element));
        if (!item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
    }
    return list.release();
}

PyObject* count(std::uint64_t value) { return PyLong_FromUnsignedLongLong(value); }
PyObject* text(const std::string& value) { return to_str(value); }
PyObject* none() { return Py_NewRef(Py_None); }

PyObject* species_dict(const SpeciesReport& s) {
    return dict_of({{"name", to_str(s.name)},
                    {"count", count(s.count)},
                    {"atoms_per_molecule", count(s.atoms_per_molecule)},
                    {"molecular_mass", PyFloat_FromDouble(s.molecular_mass)},
                    {"charge", PyFloat_FromDouble(s.charge)}});
}

PyObject* atom_type_dict(const AtomTypeReport& t) {
    return dict_of({{"number", count(t.number)},
                    {"name", to_str(t.pseudo_atom)},
                    {"species", list_of(t.species, text)}});
}

PyObject* totals_dict(const BuildSummary& s) {
    return dict_of({{"atoms", count(s.atom_count)},
                    {"bonds", count(s.bond_count)},
                    {"angles", count(s.angle_count)},
                    {"dihedrals", count(s.dihedral_count)},
                    {"atom_types", count(s.atom_type_count)},
                    {"bond_types", count(s.bond_type_count)},
                    {"angle_types", count(s.angle_type_count)},
                    {"dihedral_types", count(s.dihedral_type_count)}});
}

PyObject* diagnostic_dict(const Diagnostic& d) {
    return dict_of({{"kind", to_str(std::string(kind_name(d.kind)))},
                    {"level", to_str(d.level == DiagnosticLevel::Warning ? "warning" : "note")},
                    {"text", to_str(d.text)}});
}

}  // namespace

PyObject* report_dict(const BuildReport& report) {
    const auto& contact = report.closest_contact;
    return dict_of({
        {"summary", to_str(report.summary_text(SummaryLabels::ByLevel))},
        {"pair_style",
         report.pair_setup ? to_str(std::string(display_name(*report.pair_setup))) : none()},
        {"species", list_of(report.species, species_dict)},
        {"atom_types", list_of(report.atom_types, atom_type_dict)},
        {"totals", totals_dict(report.summary)},
        {"box_length", PyFloat_FromDouble(report.summary.box_length)},
        {"density", PyFloat_FromDouble(report.density)},
        {"net_charge", PyFloat_FromDouble(report.net_charge)},
        {"min_distance", contact ? PyFloat_FromDouble(contact->distance) : none()},
        {"closest_atoms", contact ? list_of(contact->atoms, count) : none()},
        {"warnings", list_of(report.warnings(), text)},
        {"diagnostics", list_of(report.diagnostics, diagnostic_dict)},
        {"files", list_of(report.files, to_path_str)},
        {"subboxes", report.split ? list_of(report.split->layout.cells, count) : none()},
        {"jobs", report.split ? count(report.split->concurrency) : none()},
    });
}

}  // namespace boxwright::python
