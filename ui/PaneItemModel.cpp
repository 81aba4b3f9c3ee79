#include "ui/PaneItemModel.h"

#include <QApplication>
#include <QMimeData>
#include <QStyle>
#include <memory>

#include "session/DisplayText.h"

namespace tarnwick::ui {

namespace {

enum Column { kName = 0, kSize, kDate, kTime, kAttr };

const char* const kHeaders[] = {"Filename", "Size", "Date", "Time", "Attribute"};

QString Shown(const std::string& bytes) {
    return QString::fromStdString(session::DisplayText(bytes));
}

const std::string& Field(const TPaneRow& row, int column) {
    switch (column) {
        case kSize:
            return row.Size;
        case kDate:
            return row.Date;
        case kTime:
            return row.Time;
        case kAttr:
            return row.Attr;
        default:
            return row.Name;
    }
}

}  // namespace

TPaneItemModel::TPaneItemModel(session::TPaneModel& pane, QObject* parent)
    : QAbstractTableModel(parent), pane_(pane) {
    pane_.AddObserver(this);
}

TPaneItemModel::~TPaneItemModel() {
    pane_.RemoveObserver(this);
}

int TPaneItemModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(pane_.RowCount());
}

int TPaneItemModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : pane_.ColumnCount();
}

QVariant TPaneItemModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= pane_.RowCount()) return {};
    const TPaneRow& row = pane_.Row(static_cast<size_t>(index.row()));
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return Shown(Field(row, index.column()));
        case Qt::DecorationRole:
            if (index.column() != kName) return {};
            if (row.Picture == kPictureDirectory) return icons_.Folder();
            if (row.Picture == kPictureServer) return icons_.Server();
            return icons_.File(Shown(row.Name));
        case Qt::TextAlignmentRole:
            if (index.column() == kSize)
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            return {};
        case Qt::AccessibleTextRole:
            return Shown(Field(row, index.column()));
        default:
            return {};
    }
}

QVariant TPaneItemModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= pane_.ColumnCount()) return {};
    return QString::fromLatin1(kHeaders[section]);
}

Qt::ItemFlags TPaneItemModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
           Qt::ItemIsDropEnabled | Qt::ItemNeverHasChildren;
}

QString TPaneItemModel::DragMimeType() const {
    return QStringLiteral("application/x-tarnwick-pane-") + QString::fromStdString(pane_.Name());
}

QStringList TPaneItemModel::mimeTypes() const {
    return {DragMimeType(), QStringLiteral("text/uri-list")};
}

QMimeData* TPaneItemModel::mimeData(const QModelIndexList&) const {
    // The drag carries which pane it comes from; what is dragged is the pane's selection.
    auto data = std::make_unique<QMimeData>();
    data->setData(DragMimeType(), QByteArray::fromStdString(pane_.Name()));
    return data.release();  // the drag that asked for it owns it
}

void TPaneItemModel::SetDropHandlers(TDropCheck canDrop, TDrop drop) {
    canDrop_ = std::move(canDrop);
    drop_ = std::move(drop);
}

bool TPaneItemModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                     const QModelIndex&) const {
    return data && canDrop_ && canDrop_(data);
}

bool TPaneItemModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                  const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent) || !drop_) return false;
    drop_(data);
    return true;
}

void TPaneItemModel::PaneAboutToReset() {
    beginResetModel();
}

void TPaneItemModel::PaneReset() {
    endResetModel();
}

void TPaneItemModel::RowsAboutToBeInserted(size_t first, size_t count) {
    beginInsertRows({}, static_cast<int>(first), static_cast<int>(first + count - 1));
}

void TPaneItemModel::RowsInserted(size_t, size_t) {
    endInsertRows();
}

void TPaneItemModel::RowsAboutToBeRemoved(size_t first, size_t count) {
    beginRemoveRows({}, static_cast<int>(first), static_cast<int>(first + count - 1));
}

void TPaneItemModel::RowsRemoved(size_t, size_t) {
    endRemoveRows();
}

void TPaneItemModel::RowsChanged(size_t first, size_t last) {
    emit dataChanged(index(static_cast<int>(first), 0),
                     index(static_cast<int>(last), pane_.ColumnCount() - 1));
}

void TPaneItemModel::SelectionChanged(size_t first, size_t last) {
    emit SessionSelectionChanged(static_cast<int>(first), static_cast<int>(last));
}

void TPaneItemModel::PresentationChanged() {
    emit PanePresentationChanged();
}

}  // namespace tarnwick::ui
