#include "app/TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iterator>

namespace tarnwick::demo {
namespace {

// The pipe the handler writes to, and the first signal; only async-signal-safe calls use them.
std::atomic<int> gSignalWriteFd{-1};
std::atomic<int> gFirstSignal{0};

extern "C" void NoteSignal(int signal) {
    const int saved = errno;
    int none = 0;
    gFirstSignal.compare_exchange_strong(none, signal);
    const int fd = gSignalWriteFd.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

TTerminationSignals::TTerminationSignals() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    read_ = fds[0];
    gFirstSignal = 0;
    gSignalWriteFd = fds[1];
    struct sigaction action = {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &previous_[i]);
}

TTerminationSignals::~TTerminationSignals() {
    if (read_ < 0) return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    ::close(gSignalWriteFd.exchange(-1));
    ::close(read_);
}

int TTerminationSignals::Received() const {
    return gFirstSignal.load();
}

}  // namespace tarnwick::demo
