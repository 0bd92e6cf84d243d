// boxwright._native, the extension module that the boxwright package calls to build LAMMPS input.
// In Python it would read:
//
//     """Native extension module of the boxwright package, imported as `boxwright._native`."""
//
//     class PyPairSetup:                     # __module__ == "builtins"; no constructor
//         """Python-exposed PairSetup enum"""
//         Tip4p = <PyPairSetup.Tip4p>        # int() gives 0
//         LjCut = <PyPairSetup.LjCut>        # 1
//         LjCutCoulLong = <PyPairSetup.LjCutCoulLong>  # 2
//         # == and != against variants and integers; no ordering; unhashable
//
//     def pack_packmol_py(species, counts, density, pair_style=PyPairSetup.LjCut,
//                         explicit_lb=False, force_field="force_field.json", out_dir=".",
//                         tolerance=2.0) -> str: ...
//
//     def pack_from_coords_py(species, counts, coords, box_len, pair_style=PyPairSetup.LjCut,
//                             explicit_lb=False, force_field="force_field.json",
//                             out_dir=".") -> str: ...
//
//     __all__ = ["PyPairSetup", "pack_packmol_py", "pack_from_coords_py"]
//
// The module has no state of its own: the class object is shared by the whole process, so the
// module declares that it does not support subinterpreters.
#include "python/entry_points.hpp"
#include "python/pair_setup_type.hpp"
#include "python/py_ref.hpp"

namespace boxwright::python {
namespace {

// Appends `name` to the module's __all__, which the first call creates as an empty list.
int add_to_all(PyObject* module, const char* name) {
    PyRef all = PyRef::borrow(PyDict_GetItemString(PyModule_GetDict(module), "__all__"));
    if (!all) {
        all = PyRef::steal(PyList_New(0));
        if (!all || PyModule_AddObjectRef(module, "__all__", all.get()) < 0) return -1;
    }
    PyRef entry = PyRef::steal(PyUnicode_FromString(name));
    return entry ? PyList_Append(all.get(), entry.get()) : -1;
}

int add_function(PyObject* module, PyMethodDef* definition) {
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
    if (!module_name) return -1;
    PyRef function = PyRef::steal(PyCFunction_NewEx(definition, module, module_name.get()));
    if (!function || PyModule_AddObjectRef(module, definition->ml_name, function.get()) < 0) {
        return -1;
    }
    return add_to_all(module, definition->ml_name);
}

int exec_native(PyObject* module) {
    PyTypeObject* pair_setup = pair_setup_type();
    if (pair_setup == nullptr || PyModule_AddType(module, pair_setup) < 0 ||
        add_to_all(module, "PyPairSetup") < 0) {
        return -1;
    }
    if (add_function(module, pack_packmol_method()) < 0) return -1;
    return add_function(module, pack_from_coords_method());
}

PyModuleDef_Slot native_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_native)},
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
    {0, nullptr},
};

PyModuleDef native_module = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_native",
    .m_doc = "Native extension module of the boxwright package, imported as `boxwright._native`.",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = native_slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace
}  // namespace boxwright::python

PyMODINIT_FUNC PyInit__native() { return PyModuleDef_Init(&boxwright::python::native_module); }
