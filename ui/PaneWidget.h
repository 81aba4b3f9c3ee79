// One file pane on screen (FTPView or lvLoc): a report view with columns and a list view for
// the list and icon styles, over one item model and one selection. The widget shows what the
// session's pane model holds and hands the user's actions on as signals; the session decides.
#pragma once

#include <QItemSelectionModel>
#include <QListView>
#include <QStackedWidget>
#include <QTreeView>
#include <functional>
#include <memory>
#include <vector>

#include "session/PaneModel.h"
#include "ui/PaneItemModel.h"

namespace tarnwick::ui {

class TPaneWidget : public QStackedWidget {
    Q_OBJECT
  public:
    TPaneWidget(session::TPaneModel& pane, QWidget* parent = nullptr);

    TPaneItemModel& Model() { return *model_; }
    QTreeView& ReportView() { return *report_; }
    QListView& ListView() { return *list_; }
    // The view showing now.
    QAbstractItemView& CurrentView();

    // The name column fits its captions, or fills the pane (whole listing lines).
    void FitNameColumn();

  signals:
    void DoubleClicked();
    // The user changed the selection; these rows are selected now.
    void UserSelected(const std::vector<size_t>& rows);
    void HeaderClicked(int column);

  private:
    void ApplyStyle();
    // The header's arrow shows the pane's sort key (the logic decides, not the header).
    void ApplySortIndicator();
    void ApplySessionSelection(int first, int last);
    void UserSelectionChanged();

    session::TPaneModel& pane_;
    std::unique_ptr<TPaneItemModel> model_;
    QTreeView* report_;
    QListView* list_;
    QItemSelectionModel* selection_;
    bool applying_ = false;
};

}  // namespace tarnwick::ui
