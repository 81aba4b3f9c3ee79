// tarnwick-cli's password prompt: over a pseudo-terminal nothing typed is echoed and the echo
// comes back afterwards, also when a signal ends the program at the prompt; without a
// terminal one line of standard input is the password.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "app/PasswordPrompt.h"

namespace tarnwick::cli {
namespace {

constexpr int kDeadlineMs = 5000;
constexpr const char* kNoTerminal = "/nonexistent/tarnwick-tty";

// A pseudo-terminal: the master side plays the user, the slave is the prompt's terminal.
class PseudoTerminal {
  public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        slavePath_ = ::ptsname(master_);
        // Held open so the master never sees a hang-up between the prompt's opens.
        slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~PseudoTerminal() {
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool Open() const { return slave_ >= 0; }
    const std::string& SlavePath() const { return slavePath_; }
    bool Echoes() const {
        termios t{};
        return ::tcgetattr(slave_, &t) == 0 && (t.c_lflag & ECHO) != 0;
    }
    void Type(const std::string& keys) const {
        ASSERT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }
    // Reads what the terminal shows until `until` is in it (or the deadline passes).
    std::string ReadUntil(std::string shown, const std::string& until) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs);
        while (shown.find(until) == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buffer[256];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            shown.append(buffer, static_cast<std::size_t>(n));
        }
        return shown;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

TEST(PasswordPrompt, ATerminalNeverEchoesThePasswordAndEchoesAgainAfterwards) {
    PseudoTerminal tty;
    ASSERT_TRUE(tty.Open());
    ASSERT_TRUE(tty.Echoes());
    std::string shown;
    std::thread user([&] {
        // Typed only once the prompt shows, so the echo is off by then.
        shown = tty.ReadUntil("", kPasswordPrompt);
        tty.Type("hunter2\n");
        shown = tty.ReadUntil(shown, "\n");
    });
    std::ostringstream err;
    const std::optional<std::string> password =
        TerminalPasswordPrompt(tty.SlavePath(), -1)(kPasswordPrompt, err);
    user.join();
    EXPECT_EQ(password, std::optional<std::string>("hunter2"));
    EXPECT_EQ(shown, std::string(kPasswordPrompt) + "\r\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_TRUE(tty.Echoes());
}

TEST(PasswordPrompt, ASignalAtThePromptLeavesTheTerminalEchoing) {
    PseudoTerminal tty;
    ASSERT_TRUE(tty.Open());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::ostringstream err;
        TerminalPasswordPrompt(tty.SlavePath(), -1)(kPasswordPrompt, err);
        ::_exit(0);
    }
    const std::string shown = tty.ReadUntil("", kPasswordPrompt);
    EXPECT_FALSE(tty.Echoes()) << shown;
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_TRUE(tty.Echoes());
}

TEST(PasswordPrompt, WithoutATerminalOneLineOfStandardInputIsThePassword) {
    struct Case {
        std::string input;
        std::optional<std::string> password;
    };
    const std::string longLine(kMaxPasswordLength + 10, 'x');
    const Case cases[] = {
        {"secret\nnext line\n", "secret"},
        {"secret\r\n", "secret"},
        {"no line end", "no line end"},
        {"\n", ""},
        {"", std::nullopt},  // end of input: nothing given
        {longLine + "\n", longLine.substr(0, kMaxPasswordLength)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 20));
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        ASSERT_EQ(::write(fds[1], c.input.data(), c.input.size()),
                  static_cast<ssize_t>(c.input.size()));
        ::close(fds[1]);
        std::ostringstream err;
        EXPECT_EQ(TerminalPasswordPrompt(kNoTerminal, fds[0])(kPasswordPrompt, err), c.password);
        ::close(fds[0]);
        EXPECT_EQ(err.str(), kPasswordPrompt);
    }
}

}  // namespace
}  // namespace tarnwick::cli
