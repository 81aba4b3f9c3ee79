#include "ui/LogWidget.h"

#include <QApplication>
#include <QColor>
#include <QFontDatabase>
#include <QPalette>
#include <QScrollBar>

#include "session/DisplayText.h"

namespace tarnwick::ui {

namespace {

// Colours of the line kinds, chosen to read on light and dark palettes alike.
QColor KindColour(session::TLogKind kind, bool darkPalette) {
    using session::TLogKind;
    switch (kind) {
        case TLogKind::Command:
            return darkPalette ? QColor(0x7f, 0xb4, 0xff) : QColor(0x1a, 0x4f, 0xa0);
        case TLogKind::Reply:
            return darkPalette ? QColor(0x8f, 0xd8, 0x8f) : QColor(0x1e, 0x6b, 0x1e);
        case TLogKind::Notice:
            return darkPalette ? QColor(0xc8, 0xa8, 0xff) : QColor(0x6a, 0x3d, 0x9a);
        case TLogKind::Error:
            return darkPalette ? QColor(0xff, 0x8a, 0x80) : QColor(0xb0, 0x1c, 0x1c);
        case TLogKind::Session:
            break;
    }
    return QApplication::palette().color(QPalette::Text);
}

bool DarkPalette() {
    return QApplication::palette().color(QPalette::Base).lightness() < 128;
}

}  // namespace

TLogItemModel::TLogItemModel(session::TLogModel& log, QObject* parent)
    : QAbstractListModel(parent), log_(log), shown_(static_cast<int>(log.Count())) {
    log_.AddObserver(this);
}

TLogItemModel::~TLogItemModel() {
    log_.RemoveObserver(this);
}

int TLogItemModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shown_;
}

QVariant TLogItemModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= log_.Count()) return {};
    const session::TLogLine& line = log_.Line(static_cast<size_t>(index.row()));
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return QString::fromStdString(session::DisplayText(line.Text));
        case Qt::ForegroundRole:
            return KindColour(line.Kind, DarkPalette());
        default:
            return {};
    }
}

void TLogItemModel::LinesAppended(size_t count) {
    beginInsertRows({}, shown_, shown_ + static_cast<int>(count) - 1);
    shown_ += static_cast<int>(count);
    endInsertRows();
}

void TLogItemModel::LinesDropped(size_t count) {
    beginRemoveRows({}, 0, static_cast<int>(count) - 1);
    shown_ -= static_cast<int>(count);
    endRemoveRows();
}

void TLogItemModel::LogCleared() {
    beginResetModel();
    shown_ = 0;
    endResetModel();
}

TLogWidget::TLogWidget(session::TLogModel& log, QWidget* parent) : QListView(parent) {
    model_ = std::make_unique<TLogItemModel>(log);
    setModel(model_.get());
    setObjectName("Log");
    setAccessibleName(tr("Session log"));
    setAccessibleDescription(tr("The commands sent, the server's replies and the notices"));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Follow the end unless the user scrolled up to read.
    connect(model_.get(), &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = verticalScrollBar();
        followEnd_ = bar->value() >= bar->maximum();
    });
    connect(model_.get(), &QAbstractItemModel::rowsInserted, this, [this] {
        if (followEnd_) scrollToBottom();
    });
}

}  // namespace tarnwick::ui
