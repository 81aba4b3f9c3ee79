// tarnwick: the desktop program. Creates the main window's logic and its Qt window, and runs
// Qt's event loop, which drives the network too.
#include <pthread.h>
#include <unistd.h>

#include <QApplication>
#include <QScreen>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string_view>

#include "app/Demo.h"
#include "app/DemoWindow.h"
#include "app/TerminationSignals.h"

#include "session/MainWindow.h"
#include "settings/SettingsFolder.h"
#include "ui/MainWindow.h"
#include "ui/QtDialogService.h"
#include "ui/QtLoopDriver.h"
#include "ui/WindowReady.h"

namespace {

constexpr const char* kUsage =
    "Usage: tarnwick [--version] [--help] [--demo [--screenshot FILE]] [Qt options]\n"
    "The two-pane FTP client. Saved servers, preferences and logs live in the settings\n"
    "folder: $TARNWICK_HOME, else $XDG_CONFIG_HOME/tarnwick (default ~/.config/tarnwick).\n"
    "The command-line client is tarnwick-cli.\n"
    "--demo: a first look without a server of your own. Starts an FTP server on this\n"
    "computer (127.0.0.1, Debian package python3-pyftpdlib) over a sample tree in a\n"
    "temporary folder, and opens the window with a temporary settings folder holding one\n"
    "saved server \"Local demo\". Your own settings are not touched; the server and both\n"
    "folders go when the window closes.\n"
    "--screenshot FILE (with --demo): opens \"Local demo\", writes a PNG of the window\n"
    "once the listing is shown, and closes.\n"
    "Diagnostics: with TARNWICK_READY_FD=N set, the line \"ready\" is written to the open\n"
    "file descriptor N (above 2) once the window is shown, painted, and the event loop has\n"
    "gone idle.\n";

constexpr const char* kNoDisplay =
    "tarnwick: there is no display to show the window on (neither DISPLAY nor\n"
    "WAYLAND_DISPLAY is set). Start it from a desktop session, or under a virtual display\n"
    "with \"xvfb-run -a tarnwick\" (Debian package xvfb), or without any display with\n"
    "QT_QPA_PLATFORM=offscreen.\n";

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* v = std::getenv(name);
        if (v != nullptr && *v != '\0') return true;
    }
    return false;
}

constexpr int kScreenshotWidth = 1100;
constexpr int kScreenshotHeight = 680;

constexpr const char* kReadyFdVariable = "TARNWICK_READY_FD";
constexpr std::string_view kReadyLine = "ready\n";
constexpr int kLastStandardFd = 2;

// The descriptor named by TARNWICK_READY_FD, or -1. The variable is taken out of the
// environment, so that programs this one starts do not inherit it.
int TakeReadyFd() {
    const char* text = std::getenv(kReadyFdVariable);
    if (text == nullptr) return -1;
    const std::string_view value = text;
    int fd = -1;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), fd);
    ::unsetenv(kReadyFdVariable);
    if (error != std::errc{} || end != value.data() + value.size() || fd <= kLastStandardFd)
        return -1;
    return fd;
}

// Tells whoever waits on `fd` that the window is usable: shown, painted, and the event loop
// idle after that.
void ReportReadyWhenUsable(QWidget& window, int fd) {
    if (fd < 0) return;
    tarnwick::ui::WhenWindowReady(window, [fd] {
        // A reader that has gone away must not end the program with SIGPIPE.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        sigset_t before;
        pthread_sigmask(SIG_BLOCK, &pipeSignal, &before);
        if (::write(fd, kReadyLine.data(), kReadyLine.size()) < 0 && errno == EPIPE) {
            const timespec noWait{};
            sigtimedwait(&pipeSignal, nullptr, &noWait);
        }
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        ::close(fd);
    });
}

}  // namespace

int main(int argc, char** argv) {
    bool demoWanted = false;
    const char* screenshot = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--demo") demoWanted = true;
        if (arg == "--screenshot") {
            if (i + 1 >= argc) {
                std::cerr << "tarnwick: --screenshot needs a file name\n";
                return 2;
            }
            screenshot = argv[++i];
        }
        if (arg == "--version") {
            std::cout << "Tarnwick " << TARNWICK_VERSION << '\n';
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
    }
    if (screenshot != nullptr && !demoWanted) {
        std::cerr << "tarnwick: --screenshot is for --demo\n";
        return 2;
    }
    if (!HasDisplay()) {
        std::cerr << kNoDisplay;
        return 1;
    }
    // The demo outlives the window and the session: it goes last, after they are closed.
    std::optional<tarnwick::demo::TTerminationSignals> termination;
    std::unique_ptr<tarnwick::demo::TDemo> demo;
    if (demoWanted) {
        termination.emplace();
        demo = std::make_unique<tarnwick::demo::TDemo>(tarnwick::demo::InstalledServerScript());
        if (!demo->Start()) {
            std::cerr << demo->Failure();
            return 1;
        }
        // Whatever asks for the settings folder in this process gets the demo's.
        ::setenv("TARNWICK_HOME", demo->SettingsFolder().c_str(), 1);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tarnwick");
    QApplication::setApplicationVersion(TARNWICK_VERSION);
    tarnwick::ui::TQtLoopDriver driver;
    tarnwick::ui::TQtDialogService dialogs;

    tarnwick::ui::TMainWindow* shown = nullptr;
    tarnwick::session::TMainEnvironment env;
    env.SettingsFolder = demo ? demo->SettingsFolder() : tarnwick::SettingsFolder();
    env.Dialogs = &dialogs;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        env.ScreenWidth = screen->availableGeometry().width();
    env.CloseWindow = [&shown] {
        if (shown) shown->close();
    };
    tarnwick::session::T_Main main(env);
    tarnwick::ui::TMainWindow window(main);
    shown = &window;
    dialogs.SetOwner(&window);
    main.FormCreate();
    if (termination) tarnwick::demo::CloseOnSignals(window, *termination);
    int shotStatus = 0;
    if (screenshot != nullptr) window.resize(kScreenshotWidth, kScreenshotHeight);
    window.show();
    if (screenshot != nullptr) {
        tarnwick::demo::ScreenshotWhenListed(window, tarnwick::demo::kDemoServerName, screenshot,
                                             shotStatus);
    }
    ReportReadyWhenUsable(window, TakeReadyFd());
    const int status = QApplication::exec();
    shown = nullptr;
    return status != 0 ? status : shotStatus;
}
