// TInputForm, the one-line input dialog used throughout: caption, prompt, start value, maximum
// length and an optional "Mask password" check box that shows the input as "*". Enter accepts,
// Escape cancels; on acceptance the text comes back cut to the maximum length.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tarnwick::dialogs {

inline constexpr size_t kDefaultInputMaxLength = 255;

struct TInputQuery {
    std::string Caption;
    std::string Prompt;
    std::string Value;  // bytes, as the name or text was
    size_t MaxLength = kDefaultInputMaxLength;
    bool ShowMaskBox = false;  // offer "Mask password"
    bool Masked = false;       // start with the input shown as "*"
};

class TInputForm {
  public:
    explicit TInputForm(TInputQuery query) : query_(std::move(query)), text_(query_.Value) {
        masked_ = query_.Masked;
    }

    const TInputQuery& Query() const { return query_; }
    const std::string& Text() const { return text_; }
    bool Masked() const { return masked_; }

    void SetText(std::string text) { text_ = std::move(text); }
    void SetMasked(bool masked) { masked_ = masked; }
    // The value to hand back: the text cut to the maximum length, never inside a UTF-8
    // character.
    std::string Accepted() const;

  private:
    TInputQuery query_;
    std::string text_;
    bool masked_ = false;
};

}  // namespace tarnwick::dialogs
