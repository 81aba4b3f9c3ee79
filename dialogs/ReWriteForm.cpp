#include "dialogs/ReWriteForm.h"

namespace tarnwick::dialogs {

bool TFReWrite::Press(TRewriteAnswer answer, const TAskInput& askInput) {
    if (closed_) return true;
    if (answer == TRewriteAnswer::SaveAs) {
        const std::optional<std::string> path =
            askInput ? askInput(SaveAsQuery()) : std::optional<std::string>{};
        // An empty path names no file: the prompt stays open as after a cancelled input.
        if (!path || path->empty()) return false;
        target_ = *path;
    }
    answer_ = answer;
    closed_ = true;
    return true;
}

void TFReWrite::Close() {
    if (closed_) return;
    answer_ = TRewriteAnswer::Cancel;
    closed_ = true;
}

TInputQuery TFReWrite::SaveAsQuery() const {
    TInputQuery query;
    query.Caption = kSaveAsCaption;
    query.Prompt = kSaveAsPrompt;
    query.Value = target_;
    query.MaxLength = kSaveAsMaxLength;
    return query;
}

}  // namespace tarnwick::dialogs
