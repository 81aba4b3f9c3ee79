// "View": a local file's text in a read-only window of its own beside the main window; it
// goes when it is closed.
#pragma once

#include <QPlainTextEdit>
#include <QWidget>

#include "session/TextFileView.h"

namespace tarnwick::ui {

class TTextViewer : public QWidget {
    Q_OBJECT
  public:
    TTextViewer(const session::TTextFileView& view, QWidget* parent = nullptr);

    QPlainTextEdit& Text() { return *text_; }

  private:
    QPlainTextEdit* text_;
};

}  // namespace tarnwick::ui
