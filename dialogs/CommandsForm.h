// T_FCmd, the "Commands" dialog: the user's labelled raw commands in a list, the selected
// one's label and command text in two boxes that store every change at once, "Add",
// "Remove", "Select" and "Close". It works on the program's command lists directly, so edits
// stay whichever way the dialog closes.
#pragma once

#include <string>

#include "settings/Commands.h"

namespace tarnwick::dialogs {

inline constexpr const char* kCommandsCaption = "Commands";

class T_FCmd {
  public:
    explicit T_FCmd(TCommandList& commands);

    const TCommandList& Commands() const { return commands_; }
    int Count() const { return static_cast<int>(commands_.Labels.size()); }
    // The selected row of lbCmd, -1 for none.
    int Selected() const { return selected_; }
    // The two boxes: eAl (label) and eCmd (command text); read-only without a selected row.
    const std::string& LabelText() const;
    const std::string& CommandText() const;
    bool BoxesReadOnly() const { return selected_ < 0; }

    void SelectRow(int row);
    // Typing into a box stores the text into the selected entry.
    void eAlChange(std::string text);
    void eCmdChange(std::string text);
    // "Add" (Insert in the list): an empty entry at the end, selected.
    void Add();
    // "Remove" (Delete in the list): the selected entry goes; the next row (or the one before
    // when it was the last) is selected.
    void Remove();
    // "Select", a double click on a row, Enter with a row selected: closed with its command.
    void Select();
    void DoubleClick(int row);
    void Enter();
    // "Close", Escape: closed without a command.
    void Close();

    bool Closed() const { return closed_; }
    // The command chosen, or an empty text.
    const std::string& Result() const { return result_; }

  private:
    TCommandList& commands_;
    int selected_ = -1;
    bool closed_ = false;
    std::string result_;
};

}  // namespace tarnwick::dialogs
