#include "python/build_watch.hpp"

namespace boxwright::python {

PythonWatch::PythonWatch(PyObject* progress, std::optional<double> time_limit_seconds)
    : progress_(progress != nullptr && !Py_IsNone(progress) ? progress : nullptr),
      time_limit_seconds_(time_limit_seconds) {}

Watch PythonWatch::watch() {
    Watch watch{.stop = stop_, .poll = [this] { poll(); }};
    if (progress_ != nullptr) watch.progress = [this](const Progress& p) { return report(p); };
    if (time_limit_seconds_) watch.time_limit = std::chrono::duration<double>(*time_limit_seconds_);
    return watch;
}

PythonWatch::Locked::Locked(PythonWatch& owner) : owner_(owner) {
    if (owner_.released_ != nullptr) PyEval_RestoreThread(owner_.released_);
}

PythonWatch::Locked::~Locked() {
    if (owner_.released_ != nullptr) owner_.released_ = PyEval_SaveThread();
}

void PythonWatch::poll() {
    if (raised()) return;
    Locked locked(*this);
    if (PyErr_CheckSignals() < 0) {
        signal_raised_ = true;
        stop_.request_stop();
    }
}

bool PythonWatch::report(const Progress& progress) {
    Locked locked(*this);
    PyRef result = PyRef::steal(
        PyObject_CallFunction(progress_, "KKdd", static_cast<unsigned long long>(progress.done),
                              static_cast<unsigned long long>(progress.total),
                              progress.elapsed_seconds, progress.remaining_seconds));
    if (!result) callback_raised_ = true;
    return static_cast<bool>(result);
}

// Taken back on every way out, a C++ exception included: the caller turns that into a Python
// exception, which needs the lock.
class PythonWatch::Released {
  public:
    explicit Released(PyThreadState*& state) : state_(state) { state_ = PyEval_SaveThread(); }
    ~Released() {
        PyEval_RestoreThread(state_);
        state_ = nullptr;
    }
    Released(const Released&) = delete;
    Released& operator=(const Released&) = delete;

  private:
    PyThreadState*& state_;
};

Result<BuildReport> PythonWatch::run_without_lock(const BuildRequest& request) {
    Released released(released_);
    return run_build(request, watch());
}

Result<PlacedSystem> PythonWatch::place_without_lock(const BuildRequest& request) {
    Released released(released_);
    return run_placement(request, watch());
}

}  // namespace boxwright::python
