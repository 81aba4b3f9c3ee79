#include "dialogs/ProgressForm.h"

#include <cinttypes>
#include <cstdio>

#include "platform/TickCount.h"

namespace tarnwick::dialogs {

namespace {

constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kSecondsPerHour = 3600;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kBytesPerK = 1000;
// The picture bobs up and down over four updates: height quarters 1, 0, 1, 2.
constexpr int kBobPeriod = 4;
constexpr int kBobQuarters[kBobPeriod] = {1, 0, 1, 2};

// The file name without its folder.
std::string FileNamePart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TProgress::TProgress(TTickSource ticks) : ticks_(std::move(ticks)) {
    batchStart_ = Now();
    frame_ = 0;
    total_ = 0;
}

uint64_t TProgress::Now() const {
    return ticks_ ? ticks_() : platform::GetTickCount();
}

void TProgress::StartFile(const std::string& fileName, int64_t size, bool sending) {
    finished_ = false;
    fileStart_ = Now();
    fileSize_ = size;
    // A file that reports no byte count must not count the previous file's bytes again.
    transferred_ = 0;
    position_ = 0;
    sending_ = sending;
    char caption[4096];
    std::snprintf(caption, sizeof caption,
                  sending ? "Sending   %s (%" PRId64 " bytes)" : "Receiving %s (%" PRId64 " bytes)",
                  FileNamePart(fileName).c_str(), size);
    caption_ = caption;
}

void TProgress::UpdateProgress(int64_t count) {
    if (finished_) return;
    const uint64_t now = Now();
    transferred_ = count;
    position_ = count;
    fileSeconds_ = static_cast<int64_t>((now - fileStart_) / kMsPerSecond);
    rate_ = 0;
    secondsLeft_ = 0;
    if (count != 0 && fileSeconds_ != 0) {
        rate_ = count / fileSeconds_;
        // A file larger than queued (or of unknown size) has nothing left to wait for.
        if (rate_ > 0 && fileSize_ > count) secondsLeft_ = (fileSize_ - count) / rate_;
    }
    batchSeconds_ = static_cast<int64_t>((now - batchStart_) / kMsPerSecond);
    if (sending_) {
        if (++frame_ >= kAnimationSteps) frame_ = 0;
    } else {
        if (--frame_ < 0) frame_ = kAnimationSteps;
    }
    updated_ = true;
}

void TProgress::FileDone() {
    position_ = 0;
    if (!finished_) total_ += transferred_;
    finished_ = true;
}

void TProgress::CancelBtnClick() const {
    // The owner may release this window from its handler: run a copy.
    const std::function<void()> cancel = OnCancel;
    if (cancel) cancel();
}

std::string TProgress::TransferLbl() const {
    return updated_ ? std::to_string(transferred_) : std::string();
}

std::string TProgress::TimeLbl() const {
    return updated_ ? FormatTime(fileSeconds_) : std::string();
}

std::string TProgress::TimeLeftLbl() const {
    return updated_ ? FormatTime(secondsLeft_) : std::string();
}

std::string TProgress::TotTransferLbl() const {
    if (!updated_) return {};
    return std::to_string(finished_ ? total_ : total_ + transferred_);
}

std::string TProgress::TotTimeLbl() const {
    return updated_ ? FormatTime(batchSeconds_) : std::string();
}

std::string TProgress::TransferRateLbl() const {
    return updated_ ? FormatRate(rate_) : std::string();
}

TPicturePlace TProgress::PlaceOf(int frame, int width, int height) {
    TPicturePlace place;
    place.X = frame * (width / kAnimationSteps);
    place.Y = height * kBobQuarters[frame % kBobPeriod] / kBobPeriod;
    return place;
}

std::string TProgress::FormatTime(int64_t seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%2" PRId64 ":%2.2" PRId64 ":%2.2" PRId64,
                  seconds / kSecondsPerHour, (seconds % kSecondsPerHour) / kSecondsPerMinute,
                  (seconds % kSecondsPerHour) % kSecondsPerMinute);
    return text;
}

std::string TProgress::FormatRate(int64_t bytesPerSecond) {
    char text[64];
    std::snprintf(text, sizeof text, "%" PRId64 ".%03" PRId64 " K/sec", bytesPerSecond / kBytesPerK,
                  bytesPerSecond % kBytesPerK);
    return text;
}

}  // namespace tarnwick::dialogs
