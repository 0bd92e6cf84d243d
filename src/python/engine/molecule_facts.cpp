#include "python/engine/molecule_facts.hpp"

#include "pipeline/molecule_facts.hpp"
#include "python/conversions.hpp"
#include "python/entry_support.hpp"

namespace boxwright::python {
namespace {

constexpr const char* DESCRIBE_MOLECULE_DOC =
    "describe_molecule(molecule, force_field)\n--\n\n"
    "The sites, shape, net charge and whether any site is charged, of the molecule file with the "
    "force-field file that declares its pseudo atoms.";

PyObject* describe_molecule_call(PyObject* args, PyObject* kwargs) {
    static char* keywords[] = {keyword("molecule"), keyword("force_field"), nullptr};
    PyObject* molecule = nullptr;
    PyObject* force_field = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:describe_molecule", keywords, &molecule,
                                     &force_field)) {
        return nullptr;
    }
    std::string molecule_path, force_field_path;
    if (!convert_argument(molecule, "molecule", to_path, molecule_path) ||
        !convert_argument(force_field, "force_field", to_path, force_field_path)) {
        return nullptr;
    }
    auto facts = boxwright::describe_molecule(molecule_path, force_field_path);
    if (!facts) return raise_failure(facts.error());
    return Py_BuildValue("{s:K,s:N,s:d,s:O}", "sites",
                         static_cast<unsigned long long>(facts->sites), "shape",
                         to_str(facts->shape), "charge", facts->charge, "charged",
                         facts->charged ? Py_True : Py_False);
}

PyObject* describe_molecule_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return without_cpp_exceptions([&] { return describe_molecule_call(args, kwargs); });
}

PyMethodDef describe_molecule_def = {"describe_molecule", as_method(describe_molecule_entry),
                                     METH_VARARGS | METH_KEYWORDS, DESCRIBE_MOLECULE_DOC};

}  // namespace

PyMethodDef* describe_molecule_method() { return &describe_molecule_def; }

}  // namespace boxwright::python
