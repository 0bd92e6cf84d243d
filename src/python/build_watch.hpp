// PythonWatch: the watch over one build, from Python. The build's one stop source, requested when
// the interpreter's signal check raises (Ctrl-C, or a handler of the caller's) or the progress
// callback raises; the caller's progress callback after each Packmol run; and the time limit.
// A build may run with the interpreter lock released (`_engine`, so that the caller's other
// threads go on): the signal check and the callback then take the lock back for their call.
// `_native` holds the lock throughout. Once a check or the callback has raised, every Packmol is
// stopped, nothing is replaced, and that exception is the call's outcome.
#pragma once

#include <optional>
#include <stop_token>

#include "pipeline/build.hpp"
#include "python/py_ref.hpp"

namespace boxwright::python {

class PythonWatch {
  public:
    // `progress` (borrowed; None or null for none) is called as progress(done, total, elapsed,
    // remaining), the times in seconds.
    explicit PythonWatch(PyObject* progress = nullptr,
                         std::optional<double> time_limit_seconds = std::nullopt);
    PythonWatch(const PythonWatch&) = delete;
    PythonWatch& operator=(const PythonWatch&) = delete;

    // Refers to this object, which must outlive the build.
    Watch watch();
    // A Python exception is set and is the outcome of the call.
    bool raised() const { return signal_raised_ || callback_raised_; }

    // run_build with the interpreter lock released for its duration.
    Result<BuildReport> run_without_lock(const BuildRequest& request);
    // run_placement alike: the build's steps up to the placement, nothing written.
    Result<PlacedSystem> place_without_lock(const BuildRequest& request);

  private:
    // Releases the interpreter lock for its scope.
    class Released;

    // Holds the interpreter lock for its scope when the build released it.
    class Locked {
      public:
        explicit Locked(PythonWatch& owner);
        ~Locked();
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;

      private:
        PythonWatch& owner_;
    };

    void poll();
    bool report(const Progress& progress);

    std::stop_source stop_;
    PyObject* progress_;
    std::optional<double> time_limit_seconds_;
    PyThreadState* released_ = nullptr;  // set while the build runs without the lock
    bool signal_raised_ = false;
    bool callback_raised_ = false;
};

}  // namespace boxwright::python
