// Names and descriptions for screen readers and UI automation. Controls get their accessible
// name from what they show (a button's text, a label's buddy, a tool tip) and their
// description from one table of what each command does; actions get the same description as
// their status tip. Only what is missing is filled in, so a control that says it itself wins.
#pragma once

#include <QString>
#include <QWidget>

namespace tarnwick::ui {

// A caption without its mnemonic "&" and a trailing "..." or ":".
QString PlainCaption(QString text);

// What the command or control of that object name or caption does ("" when none is known).
QString ControlDescription(const QString& objectName, const QString& caption);

// Fills in the accessible names and descriptions of `root`, its widgets and its actions.
void DescribeControls(QWidget& root);

}  // namespace tarnwick::ui
