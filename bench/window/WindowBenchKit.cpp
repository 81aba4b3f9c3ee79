#include "bench/window/WindowBenchKit.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <thread>

extern char** environ;

namespace tarnwick::bench {

namespace {

constexpr int kWatchdogMs = 50;  // how often RunUntil looks at its deadline while idle
constexpr int kFolderEvery = 25;
constexpr int kLinkEvery = 97;
constexpr int kConnectRetryMs = 50;

}  // namespace

double CpuSeconds(pid_t pid) {
    if (pid == 0) {
        timespec now{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
    }
    // utime and stime, the 14th and 15th fields of /proc/PID/stat, after the command's ")".
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long ticks = 0;
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n >= 14) ticks += std::atol(field.c_str());
    }
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::string MachineLoad() {
    std::ifstream file("/proc/loadavg");
    double load = -1;
    file >> load;
    char text[80];
    std::snprintf(text, sizeof text, "load average %.2f on %u cores", load,
                  std::thread::hardware_concurrency());
    return text;
}

TScratchFolder::TScratchFolder(const std::string& tag) {
    std::string pattern = "/dev/shm/tarnwick-" + tag + ".XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    path_ = pattern;
}

TScratchFolder::~TScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<TFTPServerInfo> MakeServers(std::size_t count) {
    std::vector<TFTPServerInfo> servers;
    servers.reserve(count);
    char text[96];
    for (std::size_t i = 0; i < count; ++i) {
        TFTPServerInfo s = NewServerInfo();
        std::snprintf(text, sizeof text, "Mirror %04zu of the project archive", i);
        s.Name = text;
        std::snprintf(text, sizeof text, "ftp%zu.mirrors.example.org", i);
        s.Server = text;
        s.User = "mirror" + std::to_string(i);
        s.Password = "pw-" + std::to_string(i * 7919);
        s.Anonymous = 0;
        s.SavePassword = 1;
        s.Pasv = 1;
        s.InitialDir = "/pub/releases/" + std::to_string(i % 40);
        s.Description = "Kept for the nightly builds; ask the admins before removing it";
        s.ModifiedDate = "2026-12-08 10:00:00";
        servers.push_back(std::move(s));
    }
    return servers;
}

bool WriteUnixListing(const std::string& path, std::size_t entries) {
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* kWords[] = {"report",  "build",         "photo",
                                   "archive", "release-notes", "backup",
                                   "a",       "data",          "installer-x86_64-full"};
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    std::mt19937 random(11);
    for (std::size_t i = 0; i < entries; ++i) {
        const unsigned pick = random();
        const char* month = kMonths[pick % 12];
        const unsigned day = 1 + (pick >> 4) % 28;
        const char* word = kWords[(pick >> 9) % std::size(kWords)];
        if (i % kFolderEvery == 0) {
            std::fprintf(file, "drwxr-xr-x    2 owner    group        4096 %s %2u  2024 %s-%zu\r\n",
                         month, day, word, i);
        } else if (i % kLinkEvery == 0) {
            std::fprintf(
                file, "lrwxrwxrwx    1 owner    group          11 %s %2u 12:%02u %s%zu -> %s\r\n",
                month, day, (pick >> 14) % 60, word, i, word);
        } else {
            std::fprintf(
                file, "-rw-r--r--    1 owner    group    %10u %s %2u %02u:%02u %s_%zu.dat\r\n",
                pick % 100000000, month, day, (pick >> 14) % 24, (pick >> 19) % 60, word, i);
        }
    }
    return std::fclose(file) == 0;
}

bool MakeEmptyFiles(const std::string& folder, std::size_t count) {
    char name[64];
    for (std::size_t i = 0; i < count; ++i) {
        const std::string path = folder + "/";
        if (i % kFolderEvery == 0) {
            std::snprintf(name, sizeof name, "folder-%06zu", i);
            if (::mkdir((path + name).c_str(), 0755) != 0) return false;
            continue;
        }
        std::snprintf(name, sizeof name, "file-%06zu.dat", i);
        const int fd = ::open((path + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        ::close(fd);
    }
    return true;
}

TMemory MemoryOf(pid_t pid) {
    TMemory memory;
    std::ifstream status(pid == 0 ? std::string("/proc/self/status")
                                  : "/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) memory.Rss = std::atol(line.c_str() + 6);
        if (line.rfind("VmHWM:", 0) == 0) memory.Peak = std::atol(line.c_str() + 6);
    }
    return memory;
}

void TPaintCounter::Watch(QWidget* widget) {
    widget->installEventFilter(this);
}

bool TPaintCounter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint) ++count_;
    return QObject::eventFilter(watched, event);
}

bool RunUntil(const std::function<bool()>& done, int limitMs) {
    const Clock::time_point start = Clock::now();
    const auto limit = std::chrono::milliseconds(limitMs);
    QTimer watchdog;  // wakes the wait below so the deadline is seen
    watchdog.start(kWatchdogMs);
    while (!done()) {
        if (Clock::now() - start > limit) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void RunUntilIdle() {
    QEventLoop loop;
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();
}

bool RunUntilPainted(const TPaintCounter& counter, int before, int limitMs) {
    const bool painted = RunUntil([&] { return counter.Count() > before; }, limitMs);
    RunUntilIdle();
    return painted;
}

TTimedChild::TTimedChild(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment, int readyFd) {
    int writer = -1;
    if (readyFd >= 0) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        reader_ = fds[0];
        // Above any descriptor the child is given, so that dup2 always makes a fresh one.
        writer = ::fcntl(fds[1], F_DUPFD_CLOEXEC, readyFd + 1);
        ::close(fds[1]);
    }

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    for (const std::string& add : environment) {
        const std::string name = add.substr(0, add.find('=') + 1);
        std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
        env.push_back(add);
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& a : args) argp.push_back(a.data());
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (writer >= 0) posix_spawn_file_actions_adddup2(&actions, writer, readyFd);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    started_ = Clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data()) == 0) pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
    if (writer >= 0) ::close(writer);
}

TTimedChild::~TTimedChild() {
    Stop();
    if (reader_ >= 0) ::close(reader_);
}

double TTimedChild::WaitReady(int limitMs) {
    if (pid_ <= 0) return -1;
    if (reader_ < 0) return -1;
    pollfd watch{reader_, POLLIN, 0};
    if (::poll(&watch, 1, limitMs) <= 0) return -1;
    char line[64];
    const ssize_t n = ::read(reader_, line, sizeof line);
    const double seconds = SecondsSince(started_);
    return n > 0 ? seconds : -1;  // 0: the child ended without a word
}

void TTimedChild::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

double TimeCommand(const std::vector<std::string>& argv) {
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& a : args) argp.push_back(a.data());
    argp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const Clock::time_point start = Clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double seconds = SecondsSince(start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool WaitForListener(int port, int limitMs) {
    const Clock::time_point start = Clock::now();
    while (SecondsSince(start) * 1000 < limitMs) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        const bool accepted =
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (accepted) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(kConnectRetryMs));
    }
    return false;
}

double Median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

}  // namespace tarnwick::bench
