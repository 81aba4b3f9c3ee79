#include "dialogs/CommandsForm.h"

namespace tarnwick::dialogs {

namespace {
const std::string kNoText;
}  // namespace

T_FCmd::T_FCmd(TCommandList& commands) : commands_(commands) {
    // The lists are kept of equal length, so a label never goes without its command.
    commands_.Commands.resize(commands_.Labels.size() > commands_.Commands.size()
                                  ? commands_.Labels.size()
                                  : commands_.Commands.size());
    commands_.Labels.resize(commands_.Commands.size());
}

const std::string& T_FCmd::LabelText() const {
    return selected_ < 0 ? kNoText : commands_.Labels[static_cast<size_t>(selected_)];
}

const std::string& T_FCmd::CommandText() const {
    return selected_ < 0 ? kNoText : commands_.Commands[static_cast<size_t>(selected_)];
}

void T_FCmd::SelectRow(int row) {
    selected_ = row >= 0 && row < Count() ? row : -1;
}

void T_FCmd::eAlChange(std::string text) {
    if (selected_ >= 0) commands_.Labels[static_cast<size_t>(selected_)] = std::move(text);
}

void T_FCmd::eCmdChange(std::string text) {
    if (selected_ >= 0) commands_.Commands[static_cast<size_t>(selected_)] = std::move(text);
}

void T_FCmd::Add() {
    commands_.Labels.emplace_back();
    commands_.Commands.emplace_back();
    selected_ = Count() - 1;
}

void T_FCmd::Remove() {
    if (selected_ < 0) return;
    const auto at = static_cast<std::ptrdiff_t>(selected_);
    commands_.Labels.erase(commands_.Labels.begin() + at);
    commands_.Commands.erase(commands_.Commands.begin() + at);
    if (selected_ >= Count()) selected_ = Count() - 1;
}

void T_FCmd::Select() {
    result_ = CommandText();
    closed_ = true;
}

void T_FCmd::DoubleClick(int row) {
    SelectRow(row);
    if (selected_ >= 0) Select();
}

void T_FCmd::Enter() {
    if (selected_ >= 0)
        Select();
    else
        Close();
}

void T_FCmd::Close() {
    result_.clear();
    closed_ = true;
}

}  // namespace tarnwick::dialogs
