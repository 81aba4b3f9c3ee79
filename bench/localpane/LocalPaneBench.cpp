// The panes with 100,000 rows, as the window shows them (the Qt view attached, offscreen, and
// painted): a local folder of 100,000 files listed into lvLoc (enumeration, stat, dates, sort,
// the view's reset and paint), and each pane re-sorted by each of its columns both ways. The
// folder's listing is set against `ls -ln` over the same folder in the same run.
//
// Usage: bench_localpane [files=100000] [folder=$TMPDIR]
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "listing/RemoteListing.h"
#include "session/LocalPanel.h"
#include "ui/PaneWidget.h"

extern char** environ;

namespace tarnwick {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kFillGoalSeconds = 1.0;
constexpr double kSortGoalSeconds = 0.2;
constexpr int kRounds = 3;
constexpr size_t kFolderEvery = 25;
constexpr int kPaneWidth = 900;
constexpr int kPaneHeight = 700;
constexpr long long kYearSeconds = 365LL * 24 * 3600;
constexpr long long kNewest = 1'780'000'000;  // 2026

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A folder of `count` entries as people keep them: files of many sizes (sparse, up to
// 16 GiB), ten years of dates, names of varied length and extension, every 25th a folder.
bool MakeFolder(const std::string& folder, size_t count) {
    static const char* kExtensions[] = {".txt", ".jpg", ".tar.gz", ".pdf", "", ".c", ".mp4"};
    std::mt19937_64 random(7);
    for (size_t i = 0; i < count; ++i) {
        char name[96];
        const unsigned long long pick = random();
        if (i % kFolderEvery == 0) {
            std::snprintf(name, sizeof name, "%s/folder %06zu", folder.c_str(), i);
            if (::mkdir(name, 0755) != 0) return false;
        } else {
            std::snprintf(name, sizeof name, "%s/%.*s-%06zu%s", folder.c_str(),
                          static_cast<int>(3 + pick % 20), "report-holiday-pictures-draft", i,
                          kExtensions[(pick >> 8) % std::size(kExtensions)]);
            const int fd = ::open(name, O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd < 0) return false;
            const off_t size = static_cast<off_t>((pick >> 16) % (1ULL << ((pick >> 12) % 35)));
            const bool sized = ::ftruncate(fd, size) == 0;
            ::close(fd);
            if (!sized) return false;
        }
        const time_t when = static_cast<time_t>(
            kNewest - static_cast<long long>((pick >> 24) % (10 * kYearSeconds)));
        const timespec times[2] = {{when, 0}, {when, 0}};
        ::utimensat(AT_FDCWD, name, times, 0);
    }
    return true;
}

// A UNIX listing of `count` entries for the remote pane.
std::string MakeListing(size_t count) {
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::mt19937_64 random(11);
    std::string text;
    text.reserve(count * 72);
    char line[256];
    for (size_t i = 0; i < count; ++i) {
        const unsigned long long pick = random();
        const bool dir = i % kFolderEvery == 0;
        std::snprintf(line, sizeof line,
                      "%s   1 user group %12llu %s %2llu  %4llu %s-%06zu.dat\r\n",
                      dir          ? "drwxr-xr-x"
                      : (pick & 1) ? "-rw-r--r--"
                                   : "-rwxr-x---",
                      (pick >> 8) % (1ULL << 36), kMonths[(pick >> 4) % 12], 1 + (pick >> 12) % 28,
                      1990 + (pick >> 20) % 36, dir ? "dir" : "file", i);
        text += line;
    }
    return text;
}

// `ls -ln` over the folder to /dev/null, as the peer that stats and sorts the same entries.
double LsSeconds(const std::string& folder) {
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv{const_cast<char*>("ls"), const_cast<char*>("-ln"),
                            const_cast<char*>(folder.c_str()), nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, "ls", &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return SecondsSince(start);
}

// The pane drawn now, as the screen would get it.
void Paint(ui::TPaneWidget& widget) {
    QCoreApplication::processEvents();
    widget.ReportView().viewport()->repaint();
}

void Report(const char* what, double seconds, double goal) {
    std::printf("  %-44s %8.3f s   goal %.1f s  %s\n", what, seconds, goal,
                seconds <= goal ? "ok" : "OVER");
}

// Each column both ways, in the order a user's header clicks give.
void ResortEachColumn(const char* pane, session::TPaneModel& model, ui::TPaneWidget& widget) {
    for (int column = kColumnName; column <= model.ColumnCount(); ++column) {
        for (int sign : {1, -1}) {
            std::vector<double> times;
            for (int round = 0; round < kRounds; ++round) {
                model.SetSortKey(kColumnName);
                model.Resort();
                Paint(widget);
                model.SetSortKey(sign * column);
                const auto start = Clock::now();
                model.Resort();
                Paint(widget);
                times.push_back(SecondsSince(start));
            }
            char what[96];
            static const char* kNames[] = {"", "name", "size", "date", "time", "attribute"};
            std::snprintf(what, sizeof what, "%s re-sorted by %s%s", pane, kNames[column],
                          sign < 0 ? " (reversed)" : "");
            Report(what, Median(times), kSortGoalSeconds);
        }
    }
}

int Run(size_t files, const std::string& base) {
    std::string pattern = base + "/tarnwick-localpane-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = pattern;
    struct Remove {
        std::string path;
        ~Remove() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    } remove{folder};
    std::printf("making %zu entries in %s ...\n", files, folder.c_str());
    if (!MakeFolder(folder, files)) {
        std::perror("making the folder");
        return 1;
    }

    session::TStateNotifier notifier;
    session::TMainState state;
    session::TControlStates controls(notifier);
    session::TPaneModel lvLoc("lvLoc", false);
    session::TLocalPanel panel(lvLoc, notifier, state, controls);
    ui::TPaneWidget local(lvLoc);
    local.resize(kPaneWidth, kPaneHeight);
    local.show();
    Paint(local);

    std::vector<double> enumerate, fill, ls;
    for (int round = 0; round < kRounds; ++round) {
        auto start = Clock::now();
        std::vector<TPaneRow> rows = session::ReadLocalDirectory(folder, "*.*");
        ResortRows(rows, 0);
        enumerate.push_back(SecondsSince(start));
        panel.SetDirectory("/");
        Paint(local);
        start = Clock::now();
        panel.SetDirectory(folder);
        Paint(local);
        fill.push_back(SecondsSince(start));
        ls.push_back(LsSeconds(folder));
    }
    std::printf("\nlocal folder of %zu entries (median of %d rounds):\n", lvLoc.RowCount(),
                kRounds);
    Report("read and sorted (no view)", Median(enumerate), kFillGoalSeconds);
    Report("listed into lvLoc and painted", Median(fill), kFillGoalSeconds);
    const double peer = Median(ls);
    if (peer > 0)
        std::printf("  %-44s %8.3f s   ratio tarnwick/ls %.2f\n", "ls -ln, same folder", peer,
                    Median(enumerate) / peer);
    std::printf("\n");
    ResortEachColumn("lvLoc", lvLoc, local);
    local.hide();

    session::TPaneModel ftpView("FTPView", true);
    ui::TPaneWidget remote(ftpView);
    remote.resize(kPaneWidth, kPaneHeight);
    remote.show();
    TRemoteListing cache;
    FillRemoteListing(MakeListing(files), TListingParser(kDefaultAnswer, StartDateToday()), cache);
    auto start = Clock::now();
    std::vector<TPaneRow> rows = RemoteListingRows(cache, "*.*", '0');
    ResortRows(rows, 0);
    ftpView.SetRows(std::move(rows));
    Paint(remote);
    std::printf("\nremote listing of %zu entries:\n", ftpView.RowCount());
    Report("shown in FTPView from the cache and painted", SecondsSince(start), kFillGoalSeconds);
    std::printf("\n");
    ResortEachColumn("FTPView", ftpView, remote);
    return 0;
}

}  // namespace
}  // namespace tarnwick

int main(int argc, char** argv) {
    const size_t files = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = argc > 2 ? argv[2] : tmp != nullptr ? tmp : "/tmp";
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    return tarnwick::Run(files, base);
}
