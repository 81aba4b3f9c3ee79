#include "dialogs/InputForm.h"

namespace tarnwick::dialogs {

std::string TInputForm::Accepted() const {
    if (text_.size() <= query_.MaxLength) return text_;
    size_t cut = query_.MaxLength;
    // Back off continuation bytes so a UTF-8 character is not split.
    while (cut > 0 && (static_cast<unsigned char>(text_[cut]) & 0xC0) == 0x80) --cut;
    return text_.substr(0, cut);
}

}  // namespace tarnwick::dialogs
