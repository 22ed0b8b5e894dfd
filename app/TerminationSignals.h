#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace zelvar {

// SIGTERM and SIGHUP (a log-out, a shutdown, `kill`) as a request on the
// event loop, so that the program ends through its close sequence rather
// than losing what it holds. The handler only writes to a pipe that the
// loop watches. Once a request is made, a further signal of either kind
// ends the program at once, as the signal would have without a handler:
// the desktop's second ask, or the user's, is not kept waiting by a close
// that hangs. The first signal is named on stderr, for the station's log.
// One instance per process; the handlers are removed with it.
class TerminationSignals {
public:
    explicit TerminationSignals(std::function<void()> requested);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    void readPipe();

    std::function<void()> requested_;
    int readEnd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace zelvar
