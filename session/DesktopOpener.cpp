#include "session/DesktopOpener.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/EventLoop.h"

extern char** environ;

namespace tarnwick::session {

namespace {

constexpr const char* kErrorPrefix = "Error ";
constexpr const char* kNullDevice = "/dev/null";
// Descriptors from here on (sockets, files being transferred) stay with this program.
constexpr int kFirstPrivateFd = 3;
constexpr int kWaitInterrupted = -1;

// What the thread that waits for an opener brings back.
struct TOpenerExit {
    std::string path;
    int status = 0;
};

// A posix_spawn object with its init and destroy calls tied to a scope.
template <typename T, int (*Init)(T*), int (*Destroy)(T*)>
class TSpawnObject {
  public:
    TSpawnObject() { Init(&object_); }
    ~TSpawnObject() { Destroy(&object_); }
    TSpawnObject(const TSpawnObject&) = delete;
    TSpawnObject& operator=(const TSpawnObject&) = delete;
    T* Get() { return &object_; }

  private:
    T object_;
};
using TSpawnActions = TSpawnObject<posix_spawn_file_actions_t, ::posix_spawn_file_actions_init,
                                   ::posix_spawn_file_actions_destroy>;
using TSpawnAttributes =
    TSpawnObject<posix_spawnattr_t, ::posix_spawnattr_init, ::posix_spawnattr_destroy>;

std::string FailureText(const std::string& program, const std::string& path, int status) {
    if (WIFEXITED(status))
        return std::string(kErrorPrefix) + program + " could not open " + path + " (exit code " +
               std::to_string(WEXITSTATUS(status)) + ")";
    if (WIFSIGNALED(status))
        return std::string(kErrorPrefix) + program + " ended by signal " +
               std::to_string(WTERMSIG(status)) + " while opening " + path;
    return std::string(kErrorPrefix) + program + " failed while opening " + path;
}

}  // namespace

// The report callback and the message target the waiting threads post to; the target goes
// with the opener, and a late exit is then dropped.
struct TDesktopOpener::TShared {
    TReport report;
    platform::TargetId target = 0;
};

TDesktopOpener::TDesktopOpener(std::string program, TReport report)
    : program_(program.empty() ? kDesktopOpener : std::move(program)),
      shared_(std::make_shared<TShared>()) {
    shared_->report = std::move(report);
    const std::string name = program_;
    TShared* shared = shared_.get();
    shared_->target =
        platform::EventLoop::Current().RegisterTarget([shared, name](const platform::Message& m) {
            const auto exit = std::static_pointer_cast<const TOpenerExit>(m.payload);
            if (!exit || !shared->report) return;
            if (exit->status == kWaitInterrupted) return;
            shared->report(FailureText(name, exit->path, exit->status));
        });
}

TDesktopOpener::~TDesktopOpener() {
    platform::EventLoop::Current().UnregisterTarget(shared_->target);
}

bool TDesktopOpener::Open(const std::string& path, const std::string& workingFolder) {
    TSpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, kNullDevice, O_RDONLY, 0);
    ::posix_spawn_file_actions_addclosefrom_np(actions.Get(), kFirstPrivateFd);
    if (!workingFolder.empty())
        ::posix_spawn_file_actions_addchdir_np(actions.Get(), workingFolder.c_str());
    TSpawnAttributes attributes;
    // Its own session: what it opens outlives this program and its terminal.
    ::posix_spawnattr_setflags(attributes.Get(), POSIX_SPAWN_SETSID);

    std::vector<char*> argv{const_cast<char*>(program_.c_str()), const_cast<char*>(path.c_str()),
                            nullptr};
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, program_.c_str(), actions.Get(), attributes.Get(),
                                     argv.data(), environ);
    if (error != 0) {
        if (shared_->report)
            shared_->report(std::string(kErrorPrefix) + "Cannot start " + program_ + " for " +
                            path + ": " + std::strerror(error));
        return false;
    }
    // The opener is reaped by a thread of its own, so the window never waits for it.
    const platform::CrossThreadPoster poster = platform::EventLoop::Current().Poster();
    const platform::TargetId target = shared_->target;
    std::thread([pid, poster, target, path] {
        int status = 0;
        pid_t done = 0;
        do {
            done = ::waitpid(pid, &status, 0);
        } while (done < 0 && errno == EINTR);
        if (done < 0) status = kWaitInterrupted;
        if (done >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
        auto exit = std::make_shared<TOpenerExit>();
        exit->path = path;
        exit->status = status;
        platform::Message m;
        m.target = target;
        m.payload = std::move(exit);
        poster.Post(std::move(m));
    }).detach();
    return true;
}

}  // namespace tarnwick::session
