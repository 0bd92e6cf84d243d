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
#include "python/module_support.hpp"
#include "python/native/entry_points.hpp"
#include "python/pair_setup_type.hpp"
#include "python/py_ref.hpp"

namespace boxwright::python {
namespace {

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
