#include "python/pair_setup_type.hpp"

#include <array>
#include <string>

namespace boxwright::python {
namespace {

struct PairSetupObject {
    PyObject ob_base;
    PairSetup value;
};

// Class attributes, in the order they are created and stored.
constexpr std::array VARIANTS = {PairSetup::Tip4p, PairSetup::LjCut, PairSetup::LjCutCoulLong};

PyTypeObject* created_type = nullptr;  // guarded by the interpreter lock; never released

PairSetup value_of(PyObject* self) { return reinterpret_cast<PairSetupObject*>(self)->value; }

PyObject* pair_setup_repr(PyObject* self) {
    std::string text = "PyPairSetup.";
    text += display_name(value_of(self));
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

PyObject* pair_setup_int(PyObject* self) {
    return PyLong_FromLong(static_cast<long>(value_of(self)));
}

// Equal to the same variant and to any integer (anything with __index__, bool included) of the
// same value. Other operands and every ordering are left to Python (NotImplemented), so that
// `== "LjCut"` is False and `<` raises TypeError.
PyObject* pair_setup_richcompare(PyObject* self, PyObject* other, int op) {
    if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
    const long long mine = static_cast<long long>(value_of(self));
    bool equal = false;
    if (Py_IS_TYPE(other, Py_TYPE(self))) {
        equal = value_of(other) == value_of(self);
    } else if (PyIndex_Check(other)) {
        int overflow = 0;
        const long long theirs = PyLong_AsLongLongAndOverflow(other, &overflow);
        if (theirs == -1 && PyErr_Occurred()) return nullptr;  // a failing __index__ of the caller
        // An integer beyond the signed 64-bit range cannot be one of the small variant values.
        equal = overflow == 0 && theirs == mine;
    } else {
        Py_RETURN_NOTIMPLEMENTED;
    }
    return PyBool_FromLong((op == Py_EQ) == equal);
}

PyType_Slot pair_setup_slots[] = {
    {Py_tp_doc, const_cast<char*>("Python-exposed PairSetup enum")},
    {Py_tp_repr, reinterpret_cast<void*>(pair_setup_repr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(pair_setup_richcompare)},
    {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
    {Py_nb_int, reinterpret_cast<void*>(pair_setup_int)},
    {0, nullptr},
};

// The dotted name is how CPython puts "__module__": "builtins" into the new type's dictionary;
// without a dot the type would get no __module__ and creating it would raise a DeprecationWarning.
PyType_Spec pair_setup_spec = {
    .name = "builtins.PyPairSetup",
    .basicsize = sizeof(PairSetupObject),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
    .slots = pair_setup_slots,
};

PyRef make_variant(PyTypeObject* type, PairSetup value) {
    PairSetupObject* variant = PyObject_New(PairSetupObject, type);
    if (variant != nullptr) variant->value = value;
    return PyRef::steal(reinterpret_cast<PyObject*>(variant));
}

PyRef make_type() {
    PyRef type = PyRef::steal(PyType_FromSpec(&pair_setup_spec));
    if (!type) return {};
    auto* type_object = reinterpret_cast<PyTypeObject*>(type.get());
    // Messages name the class like a built-in one ("unhashable type: 'PyPairSetup'"), as they
    // would for a dot-less name; CPython's own __name__ setter repoints tp_name the same way.
    type_object->tp_name = "PyPairSetup";

    // The type is immutable to Python code, so the singletons go straight into its dictionary.
    PyRef dict = PyRef::steal(PyType_GetDict(type_object));
    if (!dict) return {};
    for (PairSetup value : VARIANTS) {
        PyRef variant = make_variant(type_object, value);
        const std::string name(display_name(value));
        if (!variant || PyDict_SetItemString(dict.get(), name.c_str(), variant.get()) < 0) {
            return {};
        }
    }
    PyType_Modified(type_object);
    return type;
}

}  // namespace

PyTypeObject* pair_setup_type() {
    if (created_type != nullptr) return created_type;
    // Creating the type can run Python code (a garbage collection, say) that lets another thread
    // in and finish first; the first one stored wins and the other is dropped.
    PyRef made = make_type();
    if (!made) return nullptr;
    if (created_type == nullptr) {
        created_type = reinterpret_cast<PyTypeObject*>(made.release());
    }
    return created_type;
}

std::optional<PairSetup> pair_setup_of(PyObject* object) {
    if (created_type == nullptr || !Py_IS_TYPE(object, created_type)) return std::nullopt;
    return value_of(object);
}

}  // namespace boxwright::python
