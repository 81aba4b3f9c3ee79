// The progress window on screen: non-modal, on top, without border icons; it shows what the
// transfer manager's TProgress holds whenever the session says the progress changed, and its
// Cancel runs the progress window's cancel action. TProgressController makes the window when
// a batch's progress appears and lets it go when the progress goes.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <functional>

#include "dialogs/ProgressForm.h"
#include "session/MainWindow.h"

namespace tarnwick::ui {

// PaintBox1: the small picture moving between the two icons.
class TProgressPaintBox : public QWidget {
    Q_OBJECT
  public:
    explicit TProgressPaintBox(QWidget* parent = nullptr);
    void SetFrame(int frame, bool sending);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int frame_ = 0;
    bool sending_ = false;
};

class TProgressWindow : public QDialog {
    Q_OBJECT
  public:
    TProgressWindow(std::function<void()> cancel, QWidget* parent = nullptr);

    // Shows the figures of `progress` (copied: the window keeps no reference to it).
    void Render(const dialogs::TProgress& progress);
    // Escape does not close the window: only Cancel ends the transfer.
    void reject() override {}

  private:
    QLabel* AddFigure(QWidget* group, int row, const char* caption, const char* name);

    std::function<void()> cancel_;
    QProgressBar* bar_;
    QLabel* transfer_;
    QLabel* time_;
    QLabel* timeLeft_;
    QLabel* totTransfer_;
    QLabel* totTime_;
    QLabel* rate_;
    TProgressPaintBox* paintBox_;
    QPushButton* cancelBtn_;
};

class TProgressController : public QObject {
    Q_OBJECT
  public:
    TProgressController(session::T_Main& main, QWidget* parent);

    // The window of the batch running, or nullptr.
    TProgressWindow* Window() const { return window_; }

  private:
    void ProgressChanged();

    session::T_Main& main_;
    QWidget* owner_;
    TProgressWindow* window_ = nullptr;
    session::TStateNotifier::Subscription subscription_;
};

}  // namespace tarnwick::ui
