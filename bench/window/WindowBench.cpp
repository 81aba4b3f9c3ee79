// The desktop window's speed and memory: start-up with many saved servers to a usable
// window, the remote pane filled with a large listing, re-sorted and scrolled, and a large
// directory of a real pyftpdlib opened by double click. Each measurement runs in a process
// of its own (bench/window/run runs them all), so its memory figures are its own. Times are
// wall times, with the CPU time beside them: on a shared machine the first stretch with the
// load, the second much less.
//
// Usage: bench_window spawn TARNWICK [servers=1000] [runs=7]
//        bench_window startup [servers=1000] [runs=5]
//        bench_window listing [entries=100000] [servers=1000]
//        bench_window pyftpd [entries=100000] [rounds=3]
//        bench_window bare-window   (the floor: a bare Qt window, for spawn's comparison)
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/window/WindowBenchKit.h"
#include "session/MainWindow.h"
#include "ui/MainWindow.h"
#include "ui/QtDialogService.h"
#include "ui/QtLoopDriver.h"
#include "ui/WindowReady.h"

namespace tarnwick::bench {
namespace {

constexpr double kStartupGoalSeconds = 0.5;
constexpr double kListingGoalSeconds = 1.0;
constexpr int kReadyFd = 3;
constexpr int kReadyLimitMs = 30000;
constexpr int kPaintLimitMs = 10000;
constexpr int kServerLimitMs = 120000;
constexpr int kListingRuns = 3;
constexpr int kPageSteps = 30;
constexpr std::size_t kDefaultServers = 1000;
constexpr std::size_t kDefaultEntries = 100000;
constexpr std::size_t kDefaultSpawnRuns = 7;
constexpr std::size_t kDefaultStartupRuns = 5;
constexpr std::size_t kDefaultRounds = 3;
constexpr int kLastStandardFd = 2;
constexpr double kKiB = 1024.0;
constexpr const char* kReadyLine = "ready\n";
constexpr const char* kAnonymousMail = "bench@example.org";

const char* Verdict(double seconds, double goal) {
    return seconds >= 0 && seconds < goal ? "met" : "MISSED";
}

double MiB(long kib) {
    return static_cast<double>(kib) / kKiB;
}

std::size_t Arg(int argc, char** argv, int at, std::size_t fallback) {
    return argc > at ? std::strtoull(argv[at], nullptr, 10) : fallback;
}

void PrintMemory(const char* what, TMemory m) {
    std::printf("%-44s %7.1f MiB (peak so far %.1f MiB)\n", what, MiB(m.Rss), MiB(m.Peak));
}

// Wall and CPU seconds of one measured step.
struct TTimes {
    double Wall = -1;
    double Cpu = -1;
};

TTimes Stop(const TStopwatch& watch) {
    return {watch.Wall(), watch.Cpu()};
}

// The window as the program makes it: the logic, its Qt window, start-up, shown.
class TBenchWindow {
  public:
    explicit TBenchWindow(const std::string& home) {
        session::TMainEnvironment env;
        env.SettingsFolder = home;
        env.Dialogs = &dialogs_;
        env.CloseWindow = [this] {
            if (window_) window_->close();
        };
        main_ = std::make_unique<session::T_Main>(env);
        window_ = std::make_unique<ui::TMainWindow>(*main_);
        paints_.Watch(window_->RemotePane().ReportView().viewport());
        paints_.Watch(window_->RemotePane().ListView().viewport());
        dialogs_.SetOwner(window_.get());
        main_->FormCreate();
        window_->show();
        shownAt_ = Clock::now();
        // The moment the program reports itself ready (TARNWICK_READY_FD).
        ui::WhenWindowReady(*window_, [this] { readyAt_ = Clock::now(); });
    }
    ~TBenchWindow() {
        if (window_) window_->close();
        window_.reset();
        main_.reset();
    }

    session::T_Main& Main() { return *main_; }
    session::TSessionCore& Core() { return main_->Core(); }
    ui::TMainWindow& Window() { return *window_; }
    int RemotePaints() const { return paints_.Count(); }
    Clock::time_point ShownAt() const { return shownAt_; }
    // Zero until the window is usable.
    Clock::time_point ReadyAt() const { return readyAt_; }
    bool WaitReady() {
        return RunUntil([this] { return readyAt_ != Clock::time_point{}; }, kPaintLimitMs);
    }
    // Runs the events until the remote pane has painted after `before` paints, and then
    // until idle; the times since `watch` started, or -1 when no paint came.
    TTimes Painted(int before, const TStopwatch& watch) {
        if (!RunUntilPainted(paints_, before, kPaintLimitMs)) return {};
        return Stop(watch);
    }
    // Lets whatever is pending be drawn.
    void Settle() { RunUntilPainted(paints_, paints_.Count(), kPaintLimitMs); }

  private:
    ui::TQtLoopDriver driver_;
    ui::TQtDialogService dialogs_;
    TPaintCounter paints_;
    Clock::time_point shownAt_;
    Clock::time_point readyAt_;
    std::unique_ptr<session::T_Main> main_;
    std::unique_ptr<ui::TMainWindow> window_;
};

// --- Start-up of the real program ------------------------------------------------------------

struct TSpawnFigures {
    std::vector<double> Wall;
    std::vector<double> Cpu;
    TMemory Idle;  // of the last child, when it was ready
};

// Spawns `command` with a ready pipe `runs` times, each until its ready line.
std::optional<TSpawnFigures> TimeToReady(const std::vector<std::string>& command,
                                         const std::vector<std::string>& env, std::size_t runs) {
    TSpawnFigures figures;
    for (std::size_t run = 0; run < runs; ++run) {
        TTimedChild child(command, env, kReadyFd);
        const double seconds = child.WaitReady(kReadyLimitMs);
        if (seconds < 0) return std::nullopt;
        figures.Idle = MemoryOf(child.Pid());
        figures.Wall.push_back(seconds);
        figures.Cpu.push_back(CpuSeconds(child.Pid()));
    }
    return figures;
}

int Spawn(const std::string& tarnwick, std::size_t servers, std::size_t runs) {
    TScratchFolder home("window-home");
    if (!SaveServerList(home.Path(), MakeServers(servers))) {
        std::fprintf(stderr, "cannot write the server list\n");
        return 1;
    }
    const std::vector<std::string> env = {"TARNWICK_HOME=" + home.Path(),
                                          "TARNWICK_READY_FD=" + std::to_string(kReadyFd),
                                          "QT_QPA_PLATFORM=offscreen"};
    std::printf(
        "tarnwick with %zu saved servers, spawn to shown, painted and idle (%zu runs; "
        "%s)\n",
        servers, runs, MachineLoad().c_str());
    const std::optional<TSpawnFigures> ours = TimeToReady({tarnwick}, env, runs);
    if (!ours) {
        std::fprintf(stderr, "%s did not report ready (TARNWICK_READY_FD)\n", tarnwick.c_str());
        return 1;
    }
    const std::optional<TSpawnFigures> bare =
        TimeToReady({"/proc/self/exe", "bare-window"}, env, runs);
    const double median = Median(ours->Wall);
    std::printf("  median %.3f s (CPU %.2f s), best %.3f s, worst %.3f s; goal %.1f s: %s\n",
                median, Median(ours->Cpu), *std::min_element(ours->Wall.begin(), ours->Wall.end()),
                *std::max_element(ours->Wall.begin(), ours->Wall.end()), kStartupGoalSeconds,
                Verdict(median, kStartupGoalSeconds));
    if (bare) {
        const double floor = Median(bare->Wall);
        std::printf(
            "  a bare Qt window, the same way: median %.3f s (CPU %.2f s); tarnwick/bare "
            "%.2f\n",
            floor, Median(bare->Cpu), median / floor);
    }
    PrintMemory("  RSS of tarnwick idle after start-up", ours->Idle);
    if (bare) PrintMemory("  RSS of the bare Qt window", bare->Idle);
    return 0;
}

// The floor spawn compares with: QApplication and an empty main window, ready the same way.
int BareWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(1100, 720);
    window.show();
    const char* fd = std::getenv("TARNWICK_READY_FD");
    const int ready = fd ? std::atoi(fd) : -1;
    ui::WhenWindowReady(window, [ready] {
        if (ready > kLastStandardFd) {
            [[maybe_unused]] const ssize_t n = ::write(ready, kReadyLine, std::strlen(kReadyLine));
            ::close(ready);
        }
    });
    return QApplication::exec();
}

// --- Start-up in this process --------------------------------------------------------------

int Startup(std::size_t servers, std::size_t runs) {
    TScratchFolder home("window-home");
    SaveServerList(home.Path(), MakeServers(servers));
    std::vector<double> shown;
    std::vector<double> ready;
    std::vector<double> cpu;
    TMemory idle;
    for (std::size_t run = 0; run < runs; ++run) {
        const TStopwatch watch;
        TBenchWindow w(home.Path());
        if (!w.WaitReady() || w.RemotePaints() == 0) {
            std::fprintf(stderr, "the window never painted\n");
            return 1;
        }
        cpu.push_back(watch.Cpu());
        if (w.Core().FTPView.RowCount() != servers) {
            std::fprintf(stderr, "the server pane holds %zu rows, not %zu\n",
                         w.Core().FTPView.RowCount(), servers);
            return 1;
        }
        shown.push_back(std::chrono::duration<double>(w.ShownAt() - watch.Started()).count());
        ready.push_back(std::chrono::duration<double>(w.ReadyAt() - watch.Started()).count());
        if (run == 0) idle = MemoryOf();
    }
    std::printf(
        "in-process start-up with %zu saved servers (%zu runs, the first pays for Qt's "
        "style and fonts; %s)\n",
        servers, runs, MachineLoad().c_str());
    std::printf("  T_Main + TMainWindow + FormCreate + show: first %.3f s, median %.3f s\n",
                shown.front(), Median(shown));
    std::printf(
        "  ... painted, and the loop idle after it: first %.3f s (CPU %.2f s), median "
        "%.3f s; goal %.1f s: %s\n",
        ready.front(), cpu.front(), Median(ready), kStartupGoalSeconds,
        Verdict(ready.front(), kStartupGoalSeconds));
    PrintMemory("  RSS after the first window", idle);
    return 0;
}

// --- The remote pane with a large listing ---------------------------------------------------

// The pane as a session shows it: out of server mode, in the report style.
void LookConnected(session::TSessionCore& core) {
    core.State.ServerMode = false;
    core.FTPView.Clear();
    core.FTPView.SetStyle(session::TViewStyle::vsReport);
}

// Fills the pane from a fresh listing file `kListingRuns` times; the first run's times.
std::optional<TTimes> LoadListings(TBenchWindow& w, std::size_t entries) {
    session::TSessionCore& core = w.Core();
    std::vector<double> walls;
    TTimes first;
    for (int run = 0; run < kListingRuns; ++run) {
        if (!WriteUnixListing(core.ListingFile(), entries)) {
            std::fprintf(stderr, "cannot write %s\n", core.ListingFile().c_str());
            return std::nullopt;
        }
        const int before = w.RemotePaints();
        const TStopwatch watch;
        core.LoadRemoteListing();
        const TTimes loaded = Stop(watch);
        const TTimes shown = w.Painted(before, watch);
        if (shown.Wall < 0) {
            std::fprintf(stderr, "the listing was never painted\n");
            return std::nullopt;
        }
        if (core.FTPView.RowCount() != entries) {
            std::fprintf(stderr, "the pane holds %zu rows, not %zu\n", core.FTPView.RowCount(),
                         entries);
            return std::nullopt;
        }
        if (run == 0) first = shown;
        walls.push_back(shown.Wall);
        std::printf(
            "  %s LoadRemoteListing %.3f s (CPU %.2f s), laid out and painted %.3f s "
            "(CPU %.2f s)\n",
            run == 0 ? "first:" : "again:", loaded.Wall, loaded.Cpu, shown.Wall, shown.Cpu);
    }
    std::printf("  listing shown: first %.3f s (CPU %.2f s), median %.3f s; goal %.1f s: %s\n",
                first.Wall, first.Cpu, Median(walls), kListingGoalSeconds,
                Verdict(first.Wall, kListingGoalSeconds));
    return first;
}

// Where the time of a listing goes: the parts on their own.
void ShowParts(TBenchWindow& w) {
    session::TSessionCore& core = w.Core();
    TStopwatch watch;
    w.Window().RemotePane().FitNameColumn();
    const TTimes fit = Stop(watch);
    std::vector<TPaneRow> rows = core.FTPView.Rows();
    watch = TStopwatch();
    ResortRows(rows, core.FTPView.SortKey() == kColumnName ? kColumnSize : kColumnName);
    const TTimes sort = Stop(watch);
    watch = TStopwatch();
    core.ShowRemoteListing();
    const TTimes show = Stop(watch);
    w.Settle();
    std::printf(
        "  of which: FitNameColumn %.3f s; ResortRows alone %.3f s (CPU %.2f s); "
        "ShowRemoteListing from the cache (rows, sort, reset, column fit) %.3f s (CPU "
        "%.2f s)\n",
        fit.Wall, sort.Wall, sort.Cpu, show.Wall, show.Cpu);
}

void Resorts(TBenchWindow& w) {
    session::TSessionCore& core = w.Core();
    double slowest = 0;
    std::printf("  re-sort by key (SetSortKey + Resort, painted):");
    for (int key :
         {kColumnSize, kColumnDate, kColumnTime, kColumnAttr, -kColumnName, kColumnName}) {
        const int before = w.RemotePaints();
        const TStopwatch watch;
        core.FTPView.SetSortKey(key);
        core.FTPView.Resort();
        const TTimes t = w.Painted(before, watch);
        slowest = std::max(slowest, t.Wall);
        std::printf(" %d:%.3f", key, t.Wall);
    }
    std::printf(" s\n  slowest re-sort %.3f s; goal %.1f s: %s\n", slowest, kListingGoalSeconds,
                Verdict(slowest, kListingGoalSeconds));
}

void Scrolls(TBenchWindow& w) {
    QTreeView& view = w.Window().RemotePane().ReportView();
    int before = w.RemotePaints();
    TStopwatch watch;
    view.scrollToBottom();
    std::printf("  scroll to the end, painted: %.4f s\n", w.Painted(before, watch).Wall);
    std::vector<double> frames;
    QScrollBar* bar = view.verticalScrollBar();
    for (int step = 0; step < kPageSteps; ++step) {
        before = w.RemotePaints();
        watch = TStopwatch();
        bar->setValue(bar->value() - bar->pageStep());
        frames.push_back(w.Painted(before, watch).Wall);
    }
    std::printf("  page up x%d, each painted: median %.4f s, slowest %.4f s\n", kPageSteps,
                Median(frames), *std::max_element(frames.begin(), frames.end()));
}

int Listing(std::size_t entries, std::size_t servers) {
    TScratchFolder home("window-home");
    SaveServerList(home.Path(), MakeServers(servers));
    TBenchWindow w(home.Path());
    if (!w.WaitReady()) return 1;
    const TMemory idle = MemoryOf();
    LookConnected(w.Core());
    w.Settle();
    std::printf(
        "remote pane with a %zu-entry UNIX listing, LoadRemoteListing with the window "
        "shown (%s)\n",
        entries, MachineLoad().c_str());
    if (!LoadListings(w, entries)) return 1;
    const TMemory listed = MemoryOf();
    Resorts(w);
    Scrolls(w);
    const TMemory used = MemoryOf();
    // Last, since it copies the rows and so adds to the peak.
    ShowParts(w);
    PrintMemory("  RSS idle after start-up", idle);
    PrintMemory("  RSS with the listing shown", listed);
    std::printf(
        "  peak RSS of the window with the listing, re-sorted and scrolled: %.1f MiB "
        "(%.0f bytes a row above idle)\n",
        MiB(used.Peak), static_cast<double>(used.Peak - idle.Rss) * kKiB / entries);
    return 0;
}

// --- A real server's large directory, opened by double click --------------------------------

// When the log first shows a reply with each of the codes it watches for.
class TReplyClock : public session::TLogObserver {
  public:
    TReplyClock(session::TLogModel& log, std::vector<std::string> codes)
        : log_(log), codes_(std::move(codes)), seen_(codes_.size(), -1.0) {
        log_.AddObserver(this);
    }
    ~TReplyClock() override { log_.RemoveObserver(this); }
    void Start() { start_ = Clock::now(); }
    // Seconds from Start() to the first reply with codes[i], -1 when none came.
    double At(std::size_t i) const { return seen_[i]; }

  private:
    void LinesAppended(std::size_t count) override {
        for (std::size_t n = log_.Count() - count; n < log_.Count(); ++n) {
            const session::TLogLine& line = log_.Line(n);
            if (line.Kind != session::TLogKind::Reply) continue;
            for (std::size_t i = 0; i < codes_.size(); ++i) {
                if (seen_[i] < 0 && line.Text.find(codes_[i]) != std::string::npos)
                    seen_[i] = SecondsSince(start_);
            }
        }
    }

    session::TLogModel& log_;
    std::vector<std::string> codes_;
    std::vector<double> seen_;
    Clock::time_point start_;
};

// One double-click on the saved server in a fresh window, until the listing is painted.
struct TOpenTimes {
    double LoggedIn = -1;  // 230
    double Received = -1;  // 226 after LIST
    TTimes Painted;
    TMemory Memory;
};

std::optional<TOpenTimes> OpenSavedServer(const std::string& home, std::size_t entries) {
    TBenchWindow w(home);
    if (!w.WaitReady()) return std::nullopt;
    session::TSessionCore& core = w.Core();
    core.FTPView.SetSelection({0});
    TReplyClock replies(core.Log, {"230 ", "226 "});
    const TStopwatch watch;
    replies.Start();
    const int before = w.RemotePaints();
    w.Main().FTPViewDblClick();
    if (!RunUntil([&] { return core.FTPView.RowCount() == entries && !core.State.Busy; },
                  kServerLimitMs)) {
        std::fprintf(stderr, "the listing did not arrive: %zu rows\n", core.FTPView.RowCount());
        return std::nullopt;
    }
    TOpenTimes times;
    times.Painted = w.Painted(before, watch);
    times.LoggedIn = replies.At(0);
    times.Received = replies.At(1);
    times.Memory = MemoryOf();
    return times;
}

int Pyftpd(std::size_t entries, std::size_t rounds) {
    TScratchFolder served("window-served");
    if (!MakeEmptyFiles(served.Path(), entries)) {
        std::fprintf(stderr, "cannot create %zu files in %s\n", entries, served.Path().c_str());
        return 1;
    }
    const int port = FreeLoopbackPort();
    TTimedChild server({"/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
                        std::to_string(port), "-d", served.Path()},
                       {}, -1);
    if (!server.Started() || !WaitForListener(port, kReadyLimitMs)) {
        std::fprintf(stderr, "pyftpdlib did not start on port %d\n", port);
        return 1;
    }
    TScratchFolder home("window-home");
    TFTPServerInfo saved = NewServerInfo();
    saved.Name = "Local pyftpd";
    saved.Server = "127.0.0.1";
    saved.Port = std::to_string(port);
    saved.Anonymous = 1;
    saved.EMail = kAnonymousMail;
    saved.Pasv = 1;
    SaveServerList(home.Path(), {saved});
    const std::vector<std::string> curl = {"curl",
                                           "-s",
                                           "--user",
                                           std::string("anonymous:") + kAnonymousMail,
                                           "ftp://127.0.0.1:" + std::to_string(port) + "/",
                                           "-o",
                                           "/dev/null"};

    // The window and curl take turns round by round, so that the machine's drift hits both.
    std::printf(
        "pyftpdlib folder of %zu entries: double-click on the saved server until the "
        "rows are painted, against curl listing the same folder (%s)\n",
        entries, MachineLoad().c_str());
    std::vector<double> painted;
    std::vector<double> afterReceived;
    std::vector<double> ratios;
    TMemory memory;
    for (std::size_t round = 0; round < rounds; ++round) {
        const double reference = TimeCommand(curl);
        const std::optional<TOpenTimes> opened = OpenSavedServer(home.Path(), entries);
        if (!opened) return 1;
        std::printf(
            "  round %zu: logged in (230) %.3f s, listing received (226) %.3f s, "
            "painted %.3f s (CPU %.2f s); curl %.3f s\n",
            round + 1, opened->LoggedIn, opened->Received, opened->Painted.Wall,
            opened->Painted.Cpu, reference);
        painted.push_back(opened->Painted.Wall);
        afterReceived.push_back(opened->Painted.Wall - opened->Received);
        if (reference > 0) ratios.push_back(opened->Painted.Wall / reference);
        memory = opened->Memory;
    }
    std::printf(
        "  median: painted %.3f s, of which after the 226 %.3f s; window/curl %.2f "
        "(below 1 is faster; the server's own time dominates both)\n",
        Median(painted), Median(afterReceived), Median(ratios));
    PrintMemory("  RSS with the listing shown", memory);
    return 0;
}

}  // namespace
}  // namespace tarnwick::bench

int main(int argc, char** argv) {
    using namespace tarnwick::bench;
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "spawn" && argc > 2)
        return Spawn(argv[2], Arg(argc, argv, 3, kDefaultServers),
                     Arg(argc, argv, 4, kDefaultSpawnRuns));
    if (mode == "bare-window") return BareWindow(argc, argv);
    if (mode != "startup" && mode != "listing" && mode != "pyftpd") {
        std::fprintf(stderr,
                     "usage: bench_window spawn TARNWICK [servers] [runs] | startup [servers] "
                     "[runs] | listing [entries] [servers] | pyftpd [entries] [rounds]\n");
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    if (mode == "startup")
        return Startup(Arg(argc, argv, 2, kDefaultServers),
                       Arg(argc, argv, 3, kDefaultStartupRuns));
    if (mode == "listing")
        return Listing(Arg(argc, argv, 2, kDefaultEntries), Arg(argc, argv, 3, kDefaultServers));
    return Pyftpd(Arg(argc, argv, 2, kDefaultEntries), Arg(argc, argv, 3, kDefaultRounds));
}
