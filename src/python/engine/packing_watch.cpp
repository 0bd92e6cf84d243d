#include "python/engine/packing_watch.hpp"

namespace boxwright::python {

PythonWatch::PythonWatch(PyObject* progress, std::optional<double> time_limit_seconds)
    : progress_(progress != nullptr && !Py_IsNone(progress) ? progress : nullptr),
      time_limit_seconds_(time_limit_seconds) {}

Watch PythonWatch::watch() {
    Watch watch{.cancelled = [this] { return interrupt_.requested(); }};
    if (progress_ != nullptr) watch.progress = [this](const Progress& p) { return report(p); };
    if (time_limit_seconds_) watch.time_limit = std::chrono::duration<double>(*time_limit_seconds_);
    return watch;
}

bool PythonWatch::report(const Progress& progress) {
    PyRef result = PyRef::steal(
        PyObject_CallFunction(progress_, "KKdd", static_cast<unsigned long long>(progress.done),
                              static_cast<unsigned long long>(progress.total),
                              progress.elapsed_seconds, progress.remaining_seconds));
    if (!result) callback_raised_ = true;
    return static_cast<bool>(result);
}

}  // namespace boxwright::python
