#include "app/PasswordPrompt.h"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>

#include <cerrno>

namespace tarnwick::cli {
namespace {

// The signals that end the program at a prompt and must not leave the terminal silent.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr std::size_t kSignalCount = std::size(kEndingSignals);

// The terminal whose echo is off, for the signal handler that turns it back on. Process-wide
// by nature: a signal reaches the process, not a prompt object.
volatile sig_atomic_t gEchoOff = 0;
int gEchoFd = -1;
termios gEchoSaved{};

extern "C" void RestoreEchoAndEnd(int signal) {
    if (gEchoOff) ::tcsetattr(gEchoFd, TCSANOW, &gEchoSaved);
    ::signal(signal, SIG_DFL);
    // Blocked while this handler runs; it takes its default action as the handler returns.
    ::raise(signal);
}

// Turns the echo of a terminal off while it lives; does nothing for what is no terminal.
class EchoOff {
  public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (::tcgetattr(fd, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
        gEchoFd = fd;
        gEchoSaved = saved_;
        gEchoOff = 1;
        struct sigaction restore {};
        restore.sa_handler = RestoreEchoAndEnd;
        sigemptyset(&restore.sa_mask);
        for (std::size_t i = 0; i < kSignalCount; ++i)
            ::sigaction(kEndingSignals[i], &restore, &previous_[i]);
        // Flushing drops what was typed ahead (and echoed) before the prompt.
        on_ = ::tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
        if (!on_) Restore();
    }
    ~EchoOff() {
        if (on_) Restore();
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

    bool On() const { return on_; }

  private:
    void Restore() {
        ::tcsetattr(fd_, TCSANOW, &saved_);
        gEchoOff = 0;
        for (std::size_t i = 0; i < kSignalCount; ++i)
            ::sigaction(kEndingSignals[i], &previous_[i], nullptr);
    }

    int fd_;
    termios saved_{};
    struct sigaction previous_[kSignalCount] {};
    bool on_ = false;
};

class FdCloser {
  public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() {
        if (fd_ >= 0) ::close(fd_);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

  private:
    int fd_;
};

void WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace

std::optional<std::string> ReadSecretLine(int fd) {
    std::string line;
    bool any = false;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        any = true;
        if (c == '\n') break;
        if (line.size() < kMaxPasswordLength) line.push_back(c);
    }
    if (!any) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::optional<std::string> TerminalPasswordPrompt::operator()(std::string_view prompt,
                                                              std::ostream& err) const {
    const int tty = ::open(terminal_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty >= 0) {
        FdCloser closer(tty);
        // Echo off first: nothing typed after the prompt appears shows.
        EchoOff quiet(tty);
        WriteAll(tty, prompt);
        std::optional<std::string> line = ReadSecretLine(tty);
        // The Enter that ended the line was not echoed either.
        if (quiet.On()) WriteAll(tty, "\n");
        return line;
    }
    if (fallbackFd_ < 0) return std::nullopt;
    EchoOff quiet(fallbackFd_);
    err << prompt << std::flush;
    std::optional<std::string> line = ReadSecretLine(fallbackFd_);
    if (quiet.On()) err << '\n';
    return line;
}

}  // namespace tarnwick::cli
