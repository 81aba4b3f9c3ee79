// What the window benchmark needs around the window: scratch folders on /dev/shm, saved
// servers and listing files to fill them, clocks and memory figures, Qt's event loop run
// until the window has painted or gone idle, and child processes timed to a ready line.
#pragma once

#include <sys/types.h>

#include <QObject>
#include <QWidget>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "settings/ServerList.h"

namespace tarnwick::bench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU seconds this process (pid 0) or another one has used so far.
double CpuSeconds(pid_t pid = 0);

// Wall and CPU time from one moment on: on a shared machine the wall time stretches with
// the load, the CPU time much less.
class TStopwatch {
  public:
    TStopwatch() : wall_(Clock::now()), cpu_(CpuSeconds()) {}
    Clock::time_point Started() const { return wall_; }
    double Wall() const { return SecondsSince(wall_); }
    double Cpu() const { return CpuSeconds() - cpu_; }

  private:
    Clock::time_point wall_;
    double cpu_;
};

// "load average 1.23 on 2 cores", for the heading of a measurement.
std::string MachineLoad();

// A folder made under /dev/shm and removed with everything in it.
class TScratchFolder {
  public:
    explicit TScratchFolder(const std::string& tag);
    ~TScratchFolder();
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// `count` saved servers as users keep them: a name, a host, a user with a saved password, an
// initial folder and a description.
std::vector<TFTPServerInfo> MakeServers(std::size_t count);

// Writes a UNIX listing of `entries` lines (folders, links and files with names of varied
// length) to `path`; false when it could not be written.
bool WriteUnixListing(const std::string& path, std::size_t entries);

// Creates `count` empty files (and every 25th a folder) in `folder`.
bool MakeEmptyFiles(const std::string& folder, std::size_t count);

// Resident and peak resident memory of a process in KiB (/proc/PID/status VmRSS, VmHWM);
// -1 when not known. pid 0 is this process.
struct TMemory {
    long Rss = -1;
    long Peak = -1;
};
TMemory MemoryOf(pid_t pid = 0);

// Counts the paint events the widgets it watches receive.
class TPaintCounter : public QObject {
  public:
    void Watch(QWidget* widget);
    int Count() const { return count_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int count_ = 0;
};

// Runs Qt's events (and with them the network) until `done` holds; false after `limitMs`.
bool RunUntil(const std::function<bool()>& done, int limitMs);
// Runs Qt's events until a zero timer started now has fired: what was queued is handled.
void RunUntilIdle();
// Runs Qt's events until `counter` has seen a paint after `before` paints, then until idle.
bool RunUntilPainted(const TPaintCounter& counter, int before, int limitMs);

// A child process, started with a pipe on the descriptor `readyFd` (none when it is -1) and
// timed from its start to the first line it writes there.
class TTimedChild {
  public:
    // `environment` adds NAME=VALUE entries to this process's environment. Output of the
    // child goes to /dev/null.
    TTimedChild(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                int readyFd);
    ~TTimedChild();
    TTimedChild(const TTimedChild&) = delete;
    TTimedChild& operator=(const TTimedChild&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    // Seconds from the start to the ready line; -1 when the child ended or `limitMs` passed.
    double WaitReady(int limitMs);
    // Ends the child (SIGTERM) and reaps it.
    void Stop();

  private:
    pid_t pid_ = -1;
    int reader_ = -1;
    Clock::time_point started_;
};

// Runs a command to its end with its output thrown away; its wall time in seconds, or -1
// when it could not run or failed.
double TimeCommand(const std::vector<std::string>& argv);

// A port on 127.0.0.1 that is free now.
int FreeLoopbackPort();
// True once something accepts on 127.0.0.1:port (tried for up to `limitMs`).
bool WaitForListener(int port, int limitMs);

double Median(std::vector<double> values);

}  // namespace tarnwick::bench
