// TInputForm, the one-line input dialog used throughout: caption, prompt, start value, maximum
// length and an optional "Mask password" check box that shows the input as "*". Enter accepts,
// Escape cancels; on acceptance the text comes back cut to the maximum length.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tarnwick::dialogs {

inline constexpr size_t kDefaultInputMaxLength = 255;
inline constexpr char kMaskCharacter = '*';
inline constexpr const char* kMaskPasswordCaption = "Mask password";

struct TInputQuery {
    std::string Caption;
    std::string Prompt;
    std::string Value;  // bytes, as the name or text was
    size_t MaxLength = kDefaultInputMaxLength;
    bool ShowMaskBox = false;  // offer "Mask password"
    bool Masked = false;       // start with the input shown as "*"
};

// The keys the form answers to by itself.
enum class TInputKey { Enter, Escape };

class TInputForm {
  public:
    explicit TInputForm(TInputQuery query);

    const TInputQuery& Query() const { return query_; }
    const std::string& Text() const { return text_; }
    bool Masked() const { return masked_; }

    void SetText(std::string text) { text_ = std::move(text); }
    void SetMasked(bool masked) { masked_ = masked; }
    // What the edit box shows: the text, or one "*" per character while masked.
    std::string Shown() const;

    // Enter accepts and Escape cancels; both close the form.
    void KeyPress(TInputKey key);
    void Accept();
    void Cancel();
    bool Closed() const { return closed_; }
    // The accepted text once the form closed with Enter or OK; nothing when cancelled or
    // still open.
    std::optional<std::string> Result() const;

    // The value to hand back: the text cut to the maximum length, never inside a UTF-8
    // character.
    std::string Accepted() const;

  private:
    TInputQuery query_;
    std::string text_;
    bool masked_ = false;
    bool closed_ = false;
    bool accepted_ = false;
};

}  // namespace tarnwick::dialogs
