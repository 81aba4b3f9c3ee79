// TFReWrite, the prompt for a transfer whose target exists already: the target path in a
// read-only box, the question, and six buttons. A press records its answer and closes the
// prompt, except "Save as", which first asks for a new path and stays open when that input
// is cancelled.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/InputForm.h"

namespace tarnwick::dialogs {

// The answers, in the order of the buttons.
enum class TRewriteAnswer : int {
    Resume = 0,
    Overwrite = 1,
    All = 2,
    Skip = 3,
    SaveAs = 4,
    Cancel = 5
};

inline constexpr const char* kRewriteCaption = "Rewrite Files Prompt";
inline constexpr const char* kRewriteExists = "File is already exist !";
inline constexpr const char* kRewriteQuestion = "Overwrite the file ?";
inline constexpr const char* kSaveAsCaption = "Save as ...";
inline constexpr const char* kSaveAsPrompt = "New Path";
// A path typed for "Save as" may be as long as a path of the file system.
inline constexpr size_t kSaveAsMaxLength = 4096;

struct TRewriteButton {
    const char* Caption;
    TRewriteAnswer Answer;
};

inline constexpr std::array<TRewriteButton, 6> kRewriteButtons = {{
    {"Resume", TRewriteAnswer::Resume},
    {"Overwrite", TRewriteAnswer::Overwrite},
    {"All", TRewriteAnswer::All},
    {"Skip", TRewriteAnswer::Skip},
    {"Save as", TRewriteAnswer::SaveAs},
    {"Cancel", TRewriteAnswer::Cancel},
}};

class TFReWrite {
  public:
    // How the prompt asks for the new path (the dialog service's one-line input).
    using TAskInput = std::function<std::optional<std::string>(const TInputQuery&)>;

    explicit TFReWrite(std::string target) : target_(std::move(target)) {}

    // The lines of the read-only box re1.
    std::vector<std::string> Lines() const { return {kRewriteExists, target_}; }
    const std::string& Target() const { return target_; }

    // A button was pressed; true when the prompt closes.
    bool Press(TRewriteAnswer answer, const TAskInput& askInput);
    // Closing the prompt without a button counts as "Cancel".
    void Close();
    bool Closed() const { return closed_; }
    TRewriteAnswer Answer() const { return answer_; }

    // The "Save as" input, pre-filled with the target.
    TInputQuery SaveAsQuery() const;

  private:
    std::string target_;
    TRewriteAnswer answer_ = TRewriteAnswer::Cancel;
    bool closed_ = false;
};

}  // namespace tarnwick::dialogs
