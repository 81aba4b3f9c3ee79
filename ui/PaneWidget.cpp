#include "ui/PaneWidget.h"

#include <QHeaderView>
#include <algorithm>
#include <cstdlib>

#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {
constexpr int kCaptionMargin = 30;  // the name column is the widest caption plus this
constexpr int kFillMargin = 14;
}  // namespace

TPaneWidget::TPaneWidget(session::TPaneModel& pane, QWidget* parent)
    : QStackedWidget(parent), pane_(pane) {
    model_ = std::make_unique<TPaneItemModel>(pane_);
    report_ = MakeChild<QTreeView>(this);
    list_ = MakeChild<QListView>(this);
    const QString name = QString::fromStdString(pane_.Name());
    setObjectName(name);
    report_->setObjectName(name + "Report");
    list_->setObjectName(name + "List");
    setAccessibleName(name == "FTPView" ? tr("Remote files") : tr("Local files"));

    report_->setModel(model_.get());
    list_->setModel(model_.get());
    selection_ = report_->selectionModel();
    list_->setSelectionModel(selection_);

    report_->setRootIsDecorated(false);
    report_->setUniformRowHeights(true);  // constant-time layout for long listings
    report_->setItemsExpandable(false);
    report_->setAllColumnsShowFocus(true);
    report_->setSortingEnabled(false);  // the session sorts
    report_->header()->setSectionsClickable(true);
    report_->header()->setStretchLastSection(true);
    list_->setUniformItemSizes(true);
    list_->setResizeMode(QListView::Adjust);
    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(list_)}) {
        v->setSelectionMode(QAbstractItemView::ExtendedSelection);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setDragEnabled(true);
        v->setAcceptDrops(true);
        v->setDropIndicatorShown(false);
        v->setDragDropMode(QAbstractItemView::DragDrop);
        v->setDefaultDropAction(Qt::CopyAction);
        connect(v, &QAbstractItemView::doubleClicked, this, [this] { emit DoubleClicked(); });
    }
    addWidget(report_);
    addWidget(list_);

    report_->header()->setSortIndicatorShown(true);
    connect(report_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        emit HeaderClicked(column);
        ApplySortIndicator();
    });
    connect(selection_, &QItemSelectionModel::selectionChanged, this,
            [this] { UserSelectionChanged(); });
    connect(model_.get(), &TPaneItemModel::SessionSelectionChanged, this,
            [this](int first, int last) { ApplySessionSelection(first, last); });
    connect(model_.get(), &TPaneItemModel::PanePresentationChanged, this, [this] { ApplyStyle(); });
    connect(model_.get(), &QAbstractItemModel::modelReset, this, [this] { FitNameColumn(); });
    ApplyStyle();
}

QAbstractItemView& TPaneWidget::CurrentView() {
    return pane_.Style() == session::TViewStyle::vsReport
               ? static_cast<QAbstractItemView&>(*report_)
               : static_cast<QAbstractItemView&>(*list_);
}

void TPaneWidget::ApplyStyle() {
    using session::TViewStyle;
    switch (pane_.Style()) {
        case TViewStyle::vsReport:
            setCurrentWidget(report_);
            break;
        case TViewStyle::vsIcon:
            list_->setViewMode(QListView::IconMode);
            list_->setFlow(QListView::LeftToRight);
            list_->setWrapping(true);
            setCurrentWidget(list_);
            break;
        case TViewStyle::vsSmallIcon:
            list_->setViewMode(QListView::ListMode);
            list_->setFlow(QListView::LeftToRight);
            list_->setWrapping(true);
            setCurrentWidget(list_);
            break;
        case TViewStyle::vsList:
            list_->setViewMode(QListView::ListMode);
            list_->setFlow(QListView::TopToBottom);
            list_->setWrapping(true);
            setCurrentWidget(list_);
            break;
    }
    ApplySortIndicator();
    FitNameColumn();
}

void TPaneWidget::ApplySortIndicator() {
    const int key = pane_.SortKey();
    const int column = key == 0 ? 0 : std::abs(key) - 1;
    report_->header()->setSortIndicator(column, key < 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TPaneWidget::FitNameColumn() {
    if (pane_.NameColumnFills()) {
        report_->setColumnWidth(0, std::max(0, report_->viewport()->width() - kFillMargin));
        return;
    }
    // The widest caption of the rows on screen keeps this cheap for long listings.
    report_->resizeColumnToContents(0);
    report_->setColumnWidth(0, report_->columnWidth(0) + kCaptionMargin);
}

void TPaneWidget::ApplySessionSelection(int first, int last) {
    if (applying_) return;
    applying_ = true;
    QItemSelection select;
    QItemSelection deselect;
    const int lastColumn = model_->columnCount() - 1;
    // Runs of equal state become one range each.
    int runStart = first;
    for (int r = first; r <= last + 1; ++r) {
        const bool endOfRun = r > last || pane_.IsSelected(static_cast<size_t>(r)) !=
                                              pane_.IsSelected(static_cast<size_t>(runStart));
        if (!endOfRun) continue;
        QItemSelectionRange range(model_->index(runStart, 0), model_->index(r - 1, lastColumn));
        if (pane_.IsSelected(static_cast<size_t>(runStart)))
            select.append(range);
        else
            deselect.append(range);
        runStart = r;
    }
    selection_->select(deselect, QItemSelectionModel::Deselect);
    selection_->select(select, QItemSelectionModel::Select);
    applying_ = false;
}

void TPaneWidget::UserSelectionChanged() {
    if (applying_) return;
    std::vector<size_t> rows;
    for (const QModelIndex& i : selection_->selectedRows())
        rows.push_back(static_cast<size_t>(i.row()));
    std::sort(rows.begin(), rows.end());
    applying_ = true;
    emit UserSelected(rows);
    applying_ = false;
}

}  // namespace tarnwick::ui
