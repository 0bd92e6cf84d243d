#include "python/build_result.hpp"

namespace boxwright::python {

PyObject* to_str(const std::string& text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

PyObject* summary_or_raise(const Result<BuildSummary>& built) {
    if (built) return to_str(built->display());
    PyRef message = PyRef::steal(to_str(built.error().what()));
    if (message) PyErr_SetObject(PyExc_RuntimeError, message.get());
    return nullptr;
}

}  // namespace boxwright::python
