// "tarnwick --demo", offscreen: the demo's window opens "Local demo" and lists the sample
// tree (UTF-8 names and blanks included); and the program itself, however it ends (its
// window closed, SIGTERM, SIGINT, pyftpdlib missing), leaves no process and no file behind
// and never touches the settings folder named by $TARNWICK_HOME.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/Demo.h"
#include "tests/settings/TempFolder.h"
#include "ui/MainWindow.h"
#include "ui/QtDialogService.h"
#include "ui/QtLoopDriver.h"

extern char** environ;

namespace tarnwick::ui {
namespace {

namespace fs = std::filesystem;

constexpr int kDeadlineMs = 30000;
constexpr int kReadyFd = 3;

// Every path under `folder` with its size and modification time, one line each.
std::string Snapshot(const std::string& folder) {
    std::vector<std::string> lines;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(folder, ec)) {
        struct stat st {};
        ::lstat(e.path().c_str(), &st);
        lines.push_back(e.path().string() + " " + std::to_string(st.st_size) + " " +
                        std::to_string(st.st_mtim.tv_sec) + "." +
                        std::to_string(st.st_mtim.tv_nsec));
    }
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) out.push_back(e.path().string());
    return out;
}

// The processes whose parent is this one (orphans of a program it ran come here, since it
// is their subreaper); they are killed and reaped, and their pids returned.
std::vector<pid_t> ReapLeftChildren() {
    std::vector<pid_t> left;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(e.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(text.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent != ::getpid()) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        left.push_back(pid);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    return left;
}

// A scratch world for one run of the demo: its own temporary folder ($TMPDIR) and a
// settings folder with one file in it ($TARNWICK_HOME), both watched.
struct TDemoWorld {
    testing::TempFolder tmp;
    testing::TempFolder home;
    testing::TempFolder logs;  // the program's standard error
    std::string homeBefore;
    TDemoWorld() {
        std::ofstream(home.file("ftplist.TXT"), std::ios::binary) << "\r\n";
        homeBefore = Snapshot(home.path());
    }
};

struct TRun {
    int status = -1;  // the exit status, or 128 + the signal that ended it
    std::string errors;
    bool ready = false;
};

// Runs the program with `args`, the world's TMPDIR and TARNWICK_HOME and `extraEnv`. When
// `signal` is not 0 it is sent once the program reports its window usable.
TRun RunProgram(const TDemoWorld& world, std::vector<std::string> args,
                std::vector<std::string> extraEnv, int signal) {
    TRun run;
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view v = *e;
        if (v.rfind("TMPDIR=", 0) == 0 || v.rfind("TARNWICK_HOME=", 0) == 0 ||
            v.rfind("XDG_RUNTIME_DIR=", 0) == 0)
            continue;
        env.emplace_back(v);
    }
    env.push_back("TMPDIR=" + world.tmp.path());
    env.push_back("TARNWICK_HOME=" + world.home.path());
    env.push_back("TARNWICK_READY_FD=" + std::to_string(kReadyFd));
    // Qt makes its runtime folder in $TMPDIR when there is none.
    env.push_back("XDG_RUNTIME_DIR=" + world.logs.path());
    for (std::string& e : extraEnv) env.push_back(std::move(e));
    const std::string errorsFile = world.logs.file("stderr");

    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ready[1], kReadyFd);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorsFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    args.insert(args.begin(), TARNWICK_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int rc =
        ::posix_spawn(&pid, TARNWICK_PROGRAM, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(ready[1]);
    if (rc != 0) {
        ::close(ready[0]);
        return run;
    }

    char line[16] = {};
    pollfd p{ready[0], POLLIN, 0};
    if (::poll(&p, 1, kDeadlineMs) > 0 && ::read(ready[0], line, sizeof line - 1) > 0)
        run.ready = std::string_view(line) == "ready\n";
    ::close(ready[0]);
    if (signal != 0 && run.ready) ::kill(pid, signal);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream in(errorsFile);
    run.errors.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::remove(errorsFile.c_str());
    return run;
}

class DemoGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void listsTheDemoTreeAndStopsEverything();
    void theProgramLeavesNothingBehind_data();
    void theProgramLeavesNothingBehind();
};

void DemoGuiTest::initTestCase() {
    // Whatever the program under test leaves running becomes a child of this process.
    QVERIFY(::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0);
}

void DemoGuiTest::listsTheDemoTreeAndStopsEverything() {
    TDemoWorld world;
    const std::string oldTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    ::setenv("TMPDIR", world.tmp.path().c_str(), 1);
    auto demo = std::make_unique<demo::TDemo>(TARNWICK_DEMO_SCRIPT);
    const bool started = demo->Start();
    if (oldTmp.empty())
        ::unsetenv("TMPDIR");
    else
        ::setenv("TMPDIR", oldTmp.c_str(), 1);
    QVERIFY2(started, demo->Failure().c_str());
    const pid_t server = demo->ServerPid();
    QVERIFY(server > 0);
    QCOMPARE(Entries(world.tmp.path()).size(), size_t{2});

    {
        TQtLoopDriver driver;
        TQtDialogService dialogs;
        std::unique_ptr<TMainWindow> window;
        session::TMainEnvironment env;
        env.SettingsFolder = demo->SettingsFolder();
        env.Dialogs = &dialogs;
        env.CloseWindow = [&window] {
            if (window) window->close();
        };
        auto main = std::make_unique<session::T_Main>(env);
        window = std::make_unique<TMainWindow>(*main);
        dialogs.SetOwner(window.get());
        main->FormCreate();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        session::TSessionCore& core = main->Core();
        QCOMPARE(core.FTPView.RowCount(), size_t{1});
        QCOMPARE(core.FTPView.Rows()[0].Name, std::string(demo::kDemoServerName));

        QAbstractItemView& view = window->RemotePane().CurrentView();
        const QPoint at = view.visualRect(window->RemotePane().Model().index(0, 0)).center();
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTRY_VERIFY_WITH_TIMEOUT(!core.State.ServerMode && !core.State.Busy &&
                                     core.FTPView.FindCaption("Read me.txt") >= 0,
                                 kDeadlineMs);
        for (const char* name : {"Ünïcode ✓", "Projects", "Large files", "Pictures", "Uploads"})
            QVERIFY2(core.FTPView.FindCaption(name) >= 0, name);
        // The names show as the user wrote them, not as bytes.
        bool shown = false;
        for (int r = 0; r < window->RemotePane().Model().rowCount(); ++r)
            shown |= window->RemotePane().Model().index(r, 0).data().toString() ==
                     QString::fromUtf8("Ünïcode ✓");
        QVERIFY(shown);

        core.FTPView.SetSelection({static_cast<size_t>(core.FTPView.FindCaption("Large files"))});
        main->FTPViewDblClick();
        QTRY_VERIFY_WITH_TIMEOUT(
            !core.State.Busy && core.FTPView.FindCaption("disk image.iso") >= 0, kDeadlineMs);
        const auto& big = core.FTPView.Rows()[core.FTPView.FindCaption("disk image.iso")];
        QCOMPARE(big.Size, std::to_string(demo::kDemoLargeFileSize));

        window->close();
        window.reset();
        main.reset();
    }
    demo.reset();
    QVERIFY2(::kill(server, 0) != 0, "the demo server is still running");
    QVERIFY(Entries(world.tmp.path()).empty());
    QCOMPARE(Snapshot(world.home.path()), world.homeBefore);
}

void DemoGuiTest::theProgramLeavesNothingBehind_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("pythonPath");
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("screenshot, then the window closes")
        << QStringList{"--demo", "--screenshot", "SHOT"} << QString() << 0 << true;
    QTest::newRow("SIGTERM") << QStringList{"--demo"} << QString() << int{SIGTERM} << true;
    QTest::newRow("SIGINT") << QStringList{"--demo"} << QString() << int{SIGINT} << true;
    // A pyftpdlib that cannot be imported shadows the installed one.
    QTest::newRow("pyftpdlib missing") << QStringList{"--demo"} << QString("SHADOW") << 0 << false;
}

void DemoGuiTest::theProgramLeavesNothingBehind() {
    QFETCH(QStringList, args);
    QFETCH(QString, pythonPath);
    QFETCH(int, signal);
    QFETCH(bool, succeeds);
    TDemoWorld world;
    testing::TempFolder outside;
    const std::string shot = outside.file("shot.png");
    std::vector<std::string> argv;
    for (const QString& a : args) argv.push_back(a == "SHOT" ? shot : a.toStdString());
    std::vector<std::string> env;
    if (!pythonPath.isEmpty()) {
        fs::create_directories(outside.file("pyftpdlib"));
        std::ofstream(outside.file("pyftpdlib/__init__.py"))
            << "raise ImportError('hidden by the test')\n";
        env.push_back("PYTHONPATH=" + outside.path());
    }

    const TRun run = RunProgram(world, argv, env, signal);
    const std::vector<pid_t> left = ReapLeftChildren();
    QVERIFY2(left.empty(), "a process of the demo was left running");
    QVERIFY2(Entries(world.tmp.path()).empty(), "the demo left files in $TMPDIR");
    QCOMPARE(Snapshot(world.home.path()), world.homeBefore);
    if (succeeds) {
        QVERIFY2(run.ready, run.errors.c_str());
        QVERIFY2(run.status == 0, run.errors.c_str());
    } else {
        QVERIFY(!run.ready);
        QVERIFY(run.status != 0);
        QVERIFY2(run.errors.find("python3-pyftpdlib") != std::string::npos, run.errors.c_str());
    }
    if (args.contains("--screenshot")) {
        const QImage picture(QString::fromStdString(shot));
        QVERIFY2(!picture.isNull(), "no PNG was written");
        QVERIFY(picture.width() > 0 && picture.height() > 0);
    }
}

}  // namespace
}  // namespace tarnwick::ui

QTEST_MAIN(tarnwick::ui::DemoGuiTest)
#include "DemoGuiTest.moc"
