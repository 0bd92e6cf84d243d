// PythonWatch: the calling thread's watch over a packing, from Python. Ctrl-C through the
// interpreter's own signal check, the caller's progress callback after each Packmol run, and the
// time limit. Both checks run with the interpreter lock held, as the whole call holds it; once a
// signal handler or the callback has raised, every Packmol is stopped, nothing is written and that
// exception is the call's outcome.
#pragma once

#include <optional>

#include "decomposition/executor.hpp"
#include "python/entry_support.hpp"

namespace boxwright::python {

class PythonWatch {
  public:
    // `progress` (borrowed; None or null for none) is called as progress(done, total, elapsed,
    // remaining), the times in seconds.
    PythonWatch(PyObject* progress, std::optional<double> time_limit_seconds);
    PythonWatch(const PythonWatch&) = delete;
    PythonWatch& operator=(const PythonWatch&) = delete;

    // Refers to this object, which must outlive the packing.
    Watch watch();
    // A Python exception is set and is the outcome of the call.
    bool raised() const { return interrupt_.raised() || callback_raised_; }

  private:
    bool report(const Progress& progress);

    PendingSignal interrupt_;
    PyObject* progress_;
    std::optional<double> time_limit_seconds_;
    bool callback_raised_ = false;
};

}  // namespace boxwright::python
