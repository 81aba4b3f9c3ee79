#include "dialogs/InputForm.h"

#include "dialogs/ByteText.h"

namespace tarnwick::dialogs {

TInputForm::TInputForm(TInputQuery query)
    : query_(std::move(query)), text_(query_.Value), masked_(query_.Masked) {}

std::string TInputForm::Shown() const {
    if (!masked_) return text_;
    return std::string(CharacterCount(text_), kMaskCharacter);
}

void TInputForm::KeyPress(TInputKey key) {
    if (key == TInputKey::Enter)
        Accept();
    else
        Cancel();
}

void TInputForm::Accept() {
    closed_ = true;
    accepted_ = true;
}

void TInputForm::Cancel() {
    closed_ = true;
    accepted_ = false;
}

std::optional<std::string> TInputForm::Result() const {
    if (!closed_ || !accepted_) return std::nullopt;
    return Accepted();
}

std::string TInputForm::Accepted() const {
    return CutBytes(text_, query_.MaxLength);
}

}  // namespace tarnwick::dialogs
