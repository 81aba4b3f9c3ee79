// TFtpClient: the waiting wrappers over the asynchronous requests.
#include "ftp/FtpClient.h"

#include <algorithm>

#include "platform/TickCount.h"

namespace tarnwick::ftp {

namespace {

constexpr uint64_t kMsPerSecond = 1000;
constexpr int kWaitSliceMs = 10;  // longest sleep between two looks at the engine

}  // namespace

bool TFtpClient::RunSync(const std::function<void()>& op) {
    try {
        op();
    } catch (const std::exception&) {
        return false;
    }
    return WaitUntilReady();
}

bool TFtpClient::WaitUntilReady() {
    auto& loop = platform::EventLoop::Current();
    timeStop_ =
        platform::GetTickCount() + static_cast<uint64_t>(std::max(timeout_, 0)) * kMsPerSecond;
    for (;;) {
        if (State() == esReady && undeliveredDones_ == 0) return requestResult_ == 0;
        if (loop.QuitRequested() || controlSocket_->Terminated()) break;
        const uint64_t now = platform::GetTickCount();
        if (timeout_ > 0 && now > timeStop_) break;
        PumpEvents();
        if (State() == esReady && undeliveredDones_ == 0) continue;
        // Sleep until something happens, but never past the deadline.
        int slice = kWaitSliceMs;
        if (timeout_ > 0) {
            const uint64_t left = timeStop_ >= now ? timeStop_ - now + 1 : 0;
            slice = static_cast<int>(std::min<uint64_t>(left, kWaitSliceMs));
        }
        loop.WaitAndPump(slice);
    }
    AbortSession();
    errorMessage_ = "426 Timeout";
    statusCode_ = kFtpErrAborted;
    return false;
}

void TFtpClient::PumpEvents() {
    if (multiThreaded_) {
        controlSocket_->PumpMessages();
    } else {
        platform::EventLoop::Current().PumpMessages();
    }
}

bool TFtpClient::ReportProgress() {
    const bool goOn = TCustomFtpCli::ReportProgress();
    if (timeout_ > 0)
        timeStop_ = platform::GetTickCount() + static_cast<uint64_t>(timeout_) * kMsPerSecond;
    return goOn;
}

bool TFtpClient::Cwd() {
    return RunSync([this] { CwdAsync(); });
}

bool TFtpClient::TypeSet() {
    return RunSync([this] { TypeSetAsync(); });
}

bool TFtpClient::TypeBinary() {
    SetBinary(true);
    return RunSync([this] { TypeSetAsync(); });
}

bool TFtpClient::TypeAscii() {
    SetBinary(false);
    return RunSync([this] { TypeSetAsync(); });
}

}  // namespace tarnwick::ftp
