// The keyboard of both panes, as two-pane file managers have it: one table of keys and the
// command each runs on the pane that has the focus, and the one place where a command reaches
// the pane's handler (through the same control a click would use, so a disabled button's key
// does nothing either).
#pragma once

#include <span>
#include <string_view>

namespace tarnwick::session {

class T_Main;

enum class TPaneSide { Local, Remote };

enum class TKeyCommand {
    Open,           // enter the folder (remote: open the server)
    Up,             // one level up
    SwitchPane,     // the focus to the other pane
    CopyToOther,    // upload from the local pane, download from the remote one
    ViewFile,       // the local file as text
    MakeDirectory,  // a new folder
    Rename,         // rename the selection
    Delete,         // delete the selection, after the question
    SelectAll,      // select every row
    Relist,         // read the pane's folder (or the server list) again
    StopTransfer,   // stop the transfer or connect running
};

// One key, in the portable text of key sequences ("F5", "Ctrl+A"); several keys may run one
// command.
struct TKeyBinding {
    std::string_view Key;
    TKeyCommand Command;
};

inline constexpr TKeyBinding kPaneKeys[] = {
    {"Return", TKeyCommand::Open},      {"Enter", TKeyCommand::Open},
    {"Backspace", TKeyCommand::Up},     {"Tab", TKeyCommand::SwitchPane},
    {"F5", TKeyCommand::CopyToOther},   {"F3", TKeyCommand::ViewFile},
    {"F7", TKeyCommand::MakeDirectory}, {"F2", TKeyCommand::Rename},
    {"Del", TKeyCommand::Delete},       {"F8", TKeyCommand::Delete},
    {"Ctrl+A", TKeyCommand::SelectAll}, {"Ctrl+R", TKeyCommand::Relist},
    {"Esc", TKeyCommand::StopTransfer},
};

// The key shown for a command in its menus and tooltips (its first key), or empty.
std::string_view KeyOf(TKeyCommand command);

// The controls (toolbar buttons and menu items) that run `command` in that pane's menus and
// buttons: they show its key. Empty when the command has none.
std::span<const std::string_view> KeyedControls(TKeyCommand command, TPaneSide side);

// Runs `command` on that pane; false when it does not apply there now (the pane has no such
// command, its control is disabled, or there is nothing to stop).
bool RunKeyCommand(T_Main& main, TKeyCommand command, TPaneSide side);

}  // namespace tarnwick::session
