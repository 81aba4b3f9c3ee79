// SIGINT, SIGTERM and SIGHUP turned into a readable pipe while the owner lives, so that the
// event loop ends the program the ordinary way and every owner cleans up behind it. The
// previous dispositions come back when the owner goes. One owner at a time: the handler
// writes to a descriptor that is, by nature, the process's own.
#pragma once

#include <csignal>

namespace tarnwick::demo {

class TTerminationSignals {
  public:
    TTerminationSignals();
    ~TTerminationSignals();
    TTerminationSignals(const TTerminationSignals&) = delete;
    TTerminationSignals& operator=(const TTerminationSignals&) = delete;

    // Readable once one of the signals has come (it then stays readable).
    int Fd() const { return read_; }
    // The first signal that came, 0 while none has.
    int Received() const;

  private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    int read_ = -1;
    struct sigaction previous_[sizeof kSignals / sizeof kSignals[0]] = {};
};

}  // namespace tarnwick::demo
