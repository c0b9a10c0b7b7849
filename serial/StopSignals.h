#pragma once
// Ctrl-C, a kill (TERM) or a closed terminal (HUP; Ctrl-Break or a closed console on Windows)
// while the command line uploads: the upload ends as the operator's stop would, with the receiver
// told and the log written. A closed standard output does not end it.

namespace ksr::serial {

// Handles the stop signals while it lives; the earlier handlers come back afterwards.
class StopSignals {
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The number of the signal that came, 0 while none came.
    static int received();
};

}  // namespace ksr::serial
