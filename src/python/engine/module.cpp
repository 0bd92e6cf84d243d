// boxwright._engine, the package's second extension module: the native capabilities the package
// adds beyond `boxwright._native`, built from the same core library. `_native` keeps exactly its
// own surface; the public face of both is the Python package (`boxwright.pack`, the CLI), which
// is the only caller of this module, so its functions take plain Python values (a preset as its
// integer code or None, paths as str) and leave friendly argument handling to the package. A
// build that fails raises the package's boxwright.BuildError, with the input file and line at
// fault when the build knows them.
//
// Like `_native`, the module has no state of its own and does not support subinterpreters.
#include <array>

#include "python/engine/builds.hpp"
#include "python/engine/molecule_facts.hpp"
#include "python/engine/options.hpp"
#include "python/module_support.hpp"
#include "python/py_ref.hpp"

namespace boxwright::python {
namespace {

// Each capability contributes its functions here, in the order __all__ lists them.
constexpr std::array<PyMethodDef* (*)(), 6> ENGINE_FUNCTIONS = {
    build_packmol_method, build_from_coords_method, option_table_method,
    preset_names_method,  describe_molecule_method, run_raspa3_method,
};

int exec_engine(PyObject* module) {
    if (!all_list(module)) return -1;  // listed even while it is empty
    for (auto definition : ENGINE_FUNCTIONS) {
        if (add_function(module, definition()) < 0) return -1;
    }
    return 0;
}

PyModuleDef_Slot engine_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_engine)},
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
    {0, nullptr},
};

PyModuleDef engine_module = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_engine",
    .m_doc = "Native capabilities of the boxwright package beyond `boxwright._native`.",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = engine_slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace
}  // namespace boxwright::python

PyMODINIT_FUNC PyInit__engine() { return PyModuleDef_Init(&boxwright::python::engine_module); }
