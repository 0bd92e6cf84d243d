#include "python/module_support.hpp"

namespace boxwright::python {

PyRef all_list(PyObject* module) {
    PyRef all = PyRef::borrow(PyDict_GetItemString(PyModule_GetDict(module), "__all__"));
    if (all) return all;
    all = PyRef::steal(PyList_New(0));
    if (!all || PyModule_AddObjectRef(module, "__all__", all.get()) < 0) return {};
    return all;
}

int add_to_all(PyObject* module, const char* name) {
    PyRef all = all_list(module);
    if (!all) return -1;
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

}  // namespace boxwright::python
