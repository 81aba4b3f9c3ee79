// TProgress, what the progress window of a transfer batch shows: the current file's bytes,
// elapsed time and time left, the batch's bytes, time and rate, the bar, and a small
// animation whose direction tells sending from receiving. The window is created for the
// first file of a batch and released at its end; its Cancel runs what the owner hands it.
//
// The engine reports a byte count for every block it moves, so UpdateProgress only keeps
// numbers; the label texts are made when a view asks for them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tarnwick::dialogs {

// Milliseconds of the system tick counter.
using TTickSource = std::function<uint64_t()>;

inline constexpr const char* kProgressCaption = "Progress";
// The picture moves over this many steps of the paint box's width.
inline constexpr int kAnimationSteps = 20;

// Where the animation's picture is drawn in the paint box (its top-left corner).
struct TPicturePlace {
    int X = 0;
    int Y = 0;
};

class TProgress {
  public:
    // FormCreate: the batch starts now. Without a tick source the system's is used.
    explicit TProgress(TTickSource ticks = {});

    void StartFile(const std::string& fileName, int64_t size, bool sending);
    // Bytes of the current file moved so far (ignored once the file is done).
    void UpdateProgress(int64_t count);
    void FileDone();
    // CancelBtnClick: runs OnCancel, which may release this window.
    void CancelBtnClick() const;
    std::function<void()> OnCancel;

    // The window caption: "Progress" until the first file starts.
    const std::string& Caption() const { return caption_; }
    // The bar: 0 to ProgressMax.
    int64_t ProgressPosition() const { return position_; }
    int64_t ProgressMax() const { return fileSize_; }
    // "This File" and "All Files"; empty until the first byte count.
    std::string TransferLbl() const;
    std::string TimeLbl() const;
    std::string TimeLeftLbl() const;
    std::string TotTransferLbl() const;
    std::string TotTimeLbl() const;
    std::string TransferRateLbl() const;

    int64_t FileSize() const { return fileSize_; }
    int64_t Transferred() const { return transferred_; }
    int64_t Total() const { return total_; }
    bool Sending() const { return sending_; }
    bool Finished() const { return finished_; }
    // 0 to 19 while sending, 20 down to 0 while receiving.
    int Frame() const { return frame_; }
    // PaintBox1Paint: the picture's place in a paint box of this size.
    TPicturePlace PicturePlace(int width, int height) const {
        return PlaceOf(frame_, width, height);
    }
    static TPicturePlace PlaceOf(int frame, int width, int height);

    // "%2d:%2.2d:%2.2d" of whole seconds; "x.yyy K/sec" of bytes per second (K = 1000).
    static std::string FormatTime(int64_t seconds);
    static std::string FormatRate(int64_t bytesPerSecond);

  private:
    uint64_t Now() const;

    TTickSource ticks_;
    std::string caption_ = kProgressCaption;
    uint64_t batchStart_ = 0;
    uint64_t fileStart_ = 0;
    int64_t fileSize_ = 0;
    int64_t transferred_ = 0;
    int64_t total_ = 0;
    int64_t position_ = 0;
    bool sending_ = false;
    bool finished_ = true;
    int frame_ = 0;
    // What the last byte count gave, in seconds and bytes per second.
    bool updated_ = false;
    int64_t fileSeconds_ = 0;
    int64_t secondsLeft_ = 0;
    int64_t batchSeconds_ = 0;
    int64_t rate_ = 0;
};

}  // namespace tarnwick::dialogs
