#include "TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace zelvar {

namespace {

int writeEnd = -1;
// Lock-free, so the handler may use it; the exchange makes exactly one of two
// signals taken at once by two threads the first.
std::atomic<bool> requestMade{false};
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr int kSignals[] = {SIGTERM, SIGHUP};

void onSignal(int signal) {
    if (requestMade.exchange(true)) {
        // The signal stays blocked until this handler returns, then ends the
        // process with its usual status.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    // The pipe is empty: nothing was written before this first signal.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> requested)
    : requested_(std::move(requested)) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        // Without the pipe the signals keep their default: the program ends
        // at once, as it would without this class.
        std::fprintf(stderr, "Zelvar: pipe: %s\n", std::strerror(errno));
        return;
    }
    readEnd_ = ends[0];
    writeEnd = ends[1];
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { readPipe(); });

    struct sigaction action{};
    action.sa_handler = onSignal;
    // Neither signal interrupts the handler of the other in the same thread.
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals) sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals) sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    if (readEnd_ < 0) return;
    for (const int signal : kSignals) std::signal(signal, SIG_DFL);
    notifier_.reset();
    ::close(readEnd_);
    ::close(writeEnd);
    writeEnd = -1;
}

void TerminationSignals::readPipe() {
    char byte = 0;
    while (::read(readEnd_, &byte, 1) > 0) {
    }
    // Only the first signal writes: this runs once.
    notifier_->setEnabled(false);
    std::fprintf(stderr, "Zelvar: %s: closing without asking\n",
                 byte == SIGHUP ? "SIGHUP" : "SIGTERM");
    if (requested_) requested_();
}

}  // namespace zelvar
