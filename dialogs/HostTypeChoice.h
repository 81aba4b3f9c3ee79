// The custom panel of the server properties dialog: the named host types (cbName) with the
// six digit boxes eFName, eFSize, eFDate, eFDate2, eFTime and eFAttr that show the word
// positions of the selected entry. Entry 0 is the built-in layout, fixed at "0957681".
#pragma once

#include <array>
#include <optional>
#include <string>

#include "dialogs/InputForm.h"
#include "settings/HostTypes.h"

namespace tarnwick::dialogs {

inline constexpr size_t kDigitBoxCount = 6;
inline constexpr char kBackspace = '\b';
inline constexpr int kNoEntry = -1;
inline constexpr const char* kNewHostTypeCaption = "New Host Type";
inline constexpr const char* kEditHostTypeCaption = "Edit Host Type";
inline constexpr const char* kHostTypePrompt = "Enter";

// The digit boxes in the order their digits follow the host type digit.
enum class TDigitBox { eFName, eFSize, eFDate, eFDate2, eFTime, eFAttr };

class THostTypeChoice {
  public:
    THostTypeChoice() = default;
    explicit THostTypeChoice(THostTypes types);

    const THostTypes& Types() const { return types_; }
    size_t Count() const { return types_.Names.size(); }
    const std::string& Name(size_t index) const { return types_.Names.at(index); }
    const std::string& AnswerOf(size_t index) const { return types_.Answers.at(index); }

    // The selected entry, kNoEntry when none.
    int Selected() const { return selected_; }
    std::string SelectedName() const;
    // The entry whose name equals `name` without regard to case, or kNoEntry.
    int Find(std::string_view name) const;

    // Selects an entry at opening: no digits are stored anywhere.
    void SelectAtOpening(int index);
    // The user picks another entry: the digit boxes, after the type digit, first become the
    // string of the entry selected before; then the new entry's digits are shown.
    void Select(int index, char typeDigit);

    // The digit boxes, each empty or one digit.
    const std::string& Digit(TDigitBox box) const { return digits_[Index(box)]; }
    void SetDigit(TDigitBox box, std::string_view text);
    // Digits 2 to 7 of a host type string into the boxes.
    void ShowDigits(std::string_view answer);
    // The boxes take input only while an entry other than entry 0 is selected.
    bool DigitsEditable() const { return selected_ > 0; }
    // A key typed into a digit box: digits pass, anything else becomes a backspace.
    static char FilterDigitKey(char key);

    // The type digit followed by the six boxes ("0" for an empty one).
    std::string Compose(char typeDigit) const;
    // The selected entry (other than entry 0) takes this string.
    void StoreSelected(const std::string& answer);

    // "add": appends the name with "0957681" and selects it. A blank name changes nothing.
    TInputQuery AddQuery() const;
    void Add(const std::optional<std::string>& name, char typeDigit);
    // "edit": renames an entry other than entry 0; with entry 0 or none selected it is "add".
    TInputQuery EditQuery() const;
    void Edit(const std::optional<std::string>& name, char typeDigit);
    // "delete": removes the selected entry unless it is entry 0 or none.
    void Delete();

  private:
    static size_t Index(TDigitBox box) { return static_cast<size_t>(box); }
    bool Renamable() const { return selected_ > 0 && static_cast<size_t>(selected_) < Count(); }

    THostTypes types_;
    int selected_ = kNoEntry;
    std::array<std::string, kDigitBoxCount> digits_;
};

}  // namespace tarnwick::dialogs
