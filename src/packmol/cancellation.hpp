// Cancellation: how the caller of a long wait (a Packmol run) asks it to stop early. The waiting
// code asks every few tens of milliseconds; what counts as a request (a pending interrupt of the
// host interpreter, a deadline) is the caller's business, so nothing here knows about Python.
#pragma once

namespace boxwright {

class Cancellation {
  public:
    // True once the wait should end. May be asked again after it has said so, and says so again.
    virtual bool requested() = 0;

  protected:
    ~Cancellation() = default;
};

// Never asks for anything: waits run to their end.
inline Cancellation& no_cancellation() {
    struct Never final : Cancellation {
        bool requested() override { return false; }
    };
    static Never never;
    return never;
}

}  // namespace boxwright
