// The headless window moving a selection between a server and a local folder, timed from the
// double click on the saved server to the end of the batch (the window idle, the progress
// window gone). bench/transfers/run starts the server and measures the peers in the same run.
//
//   bench_transfers down HOST PORT USER PASSWORD REMOTE_DIR NAME LOCAL_DIR
//       opens REMOTE_DIR, downloads its row NAME (a file or a folder) into LOCAL_DIR
//   bench_transfers up HOST PORT USER PASSWORD REMOTE_DIR NAME LOCAL_DIR
//       opens REMOTE_DIR, uploads LOCAL_DIR's row NAME into it
//
// Prints "seconds S files N" on success; exits 1 with the reason otherwise.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/TickCount.h"
#include "session/MainWindow.h"
#include "settings/Options.h"
#include "settings/ServerList.h"

namespace {

using namespace tarnwick;
using Clock = std::chrono::steady_clock;

constexpr int kOpenLimitMs = 30000;
constexpr int kBatchLimitMs = 30 * 60 * 1000;
constexpr int kPumpSliceMs = 5;
constexpr const char* kServerName = "bench";
constexpr const char* kStartingTransfer = "Starting transfer of ";

// No question is expected: every target is new. One asked all the same is answered Cancel,
// which ends the batch and shows in the file count.
class TNoDialogs : public session::TDialogService {
  public:
    std::optional<std::string> InputQuery(const session::TInputQuery&) override { return {}; }
    session::TMsgResult MessageBox(const session::TMessageQuery&) override {
        return session::TMsgResult::Cancel;
    }
};

bool PumpUntil(const std::function<bool()>& done, int limitMs) {
    auto& loop = platform::EventLoop::Current();
    const uint64_t stop = platform::GetTickCount() + static_cast<uint64_t>(limitMs);
    while (!done()) {
        if (platform::GetTickCount() >= stop) return false;
        loop.WaitAndPump(kPumpSliceMs);
    }
    return true;
}

// A settings folder of its own, removed at the end.
class TScratchSettings {
  public:
    TScratchSettings() {
        char pattern[] = "/dev/shm/tarnwick-bench-settings.XXXXXX";
        if (::mkdtemp(pattern)) path_ = pattern;
    }
    ~TScratchSettings() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TScratchSettings(const TScratchSettings&) = delete;
    TScratchSettings& operator=(const TScratchSettings&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

struct TJob {
    bool download = true;
    std::string host, port, user, password, remoteDir, name, localDir;
};

int Fail(const std::string& why) {
    std::fprintf(stderr, "bench_transfers: %s\n", why.c_str());
    return 1;
}

int Run(const TJob& job) {
    TScratchSettings settings;
    if (settings.Path().empty()) return Fail("no scratch settings folder");
    TFTPOptions options = DefaultOptions();
    TFTPServerInfo server = NewServerInfo(options);
    server.Name = kServerName;
    server.Server = job.host;
    server.Port = job.port;
    server.User = job.user;
    server.Password = job.password;
    server.Anonymous = 0;
    server.SavePassword = 1;
    server.Pasv = 1;
    server.InitialDir = job.remoteDir;
    if (!SaveOptions(settings.Path(), options) || !SaveServerList(settings.Path(), {server}))
        return Fail("settings not written");

    TNoDialogs dialogs;
    session::TMainEnvironment env;
    env.SettingsFolder = settings.Path();
    env.Dialogs = &dialogs;
    session::T_Main main(env);
    main.FormCreate();
    session::TSessionCore& core = main.Core();
    auto idle = [&] {
        return core.Ftp1.State() == ftp::esReady && !core.State.Busy &&
               core.ScreenCursor() == session::TCursor::Default &&
               main.Transfers().Progress() == nullptr;
    };
    if (!core.Local.SetDirectory(job.localDir)) return Fail("local folder not shown");

    int listings = 0;
    const session::TStateNotifier::Subscription watch = core.Notifier.Subscribe(
        static_cast<session::TChangeMask>(session::TChange::RemoteDirectory),
        [&](session::TChange) { ++listings; });

    const Clock::time_point start = Clock::now();
    const int serverRow = core.FTPView.FindCaption(kServerName);
    if (serverRow < 0) return Fail("saved server not shown");
    main.FTPViewSelectItems({static_cast<size_t>(serverRow)});
    main.FTPViewDblClick();
    if (!PumpUntil([&] { return listings > 0 && !core.State.ServerMode && idle(); }, kOpenLimitMs))
        return Fail("the server's folder was not listed");

    session::TPaneModel& pane = job.download ? core.FTPView : core.lvLoc;
    const int row = pane.FindCaption(job.name);
    if (row < 0) return Fail(job.name + " is not in the pane");
    if (job.download) {
        main.FTPViewSelectItems({static_cast<size_t>(row)});
        main.Transfers().SpeedButton2Click();
    } else {
        main.lvLocSelectItems({static_cast<size_t>(row)});
        main.Transfers().SpeedButton1Click();
    }
    if (!PumpUntil(idle, kBatchLimitMs)) return Fail("the batch did not end");
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    size_t files = 0;
    for (size_t i = 0; i < core.Log.Count(); ++i)
        if (core.Log.Line(i).Text.starts_with(kStartingTransfer)) ++files;
    main.sbDisConnectClick();
    PumpUntil([&] { return core.State.ServerMode && idle(); }, kOpenLimitMs);
    main.FormDestroy();
    std::printf("seconds %.4f files %zu\n", seconds, files);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    constexpr size_t kArgs = 8;
    if (args.size() != kArgs || (args[0] != "down" && args[0] != "up")) {
        std::fprintf(stderr,
                     "usage: bench_transfers down|up HOST PORT USER PASSWORD REMOTE_DIR NAME "
                     "LOCAL_DIR\n");
        return 2;
    }
    TJob job;
    job.download = args[0] == "down";
    job.host = args[1];
    job.port = args[2];
    job.user = args[3];
    job.password = args[4];
    job.remoteDir = args[5];
    job.name = args[6];
    job.localDir = args[7];
    return Run(job);
}
