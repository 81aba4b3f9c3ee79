#include "ui/LogWidget.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QFontDatabase>
#include <QPalette>
#include <QScrollBar>
#include <algorithm>
#include <functional>

#include "session/DisplayText.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {

// How far a kind's colour moves from the text colour toward its accent.
constexpr qreal kNoticeBlend = 0.45;
constexpr qreal kErrorBlend = 0.75;
// The error accent's hue, and the lightness it gets on a light and a dark base.
constexpr int kErrorHue = 0;
constexpr int kErrorSaturation = 200;
constexpr int kErrorLightOnLight = 95;
constexpr int kErrorLightOnDark = 170;
constexpr int kHalfLightness = 128;

QColor Blend(const QColor& from, const QColor& to, qreal share) {
    return QColor::fromRgbF(from.redF() + (to.redF() - from.redF()) * share,
                            from.greenF() + (to.greenF() - from.greenF()) * share,
                            from.blueF() + (to.blueF() - from.blueF()) * share);
}

}  // namespace

// The colours of the line kinds come from the palette, so that they read on a light and a
// dark one alike: our commands in the link colour, the server's replies in the text colour,
// the engine's notices halfway to the base, the errors red at a lightness the base sets off.
QColor LogKindColour(session::TLogKind kind, const QPalette& palette) {
    using session::TLogKind;
    const QColor text = palette.color(QPalette::Text);
    const QColor base = palette.color(QPalette::Base);
    switch (kind) {
        case TLogKind::Command:
            return palette.color(QPalette::Link);
        case TLogKind::Notice:
            return Blend(text, base, kNoticeBlend);
        case TLogKind::Error: {
            const bool dark = base.lightness() < kHalfLightness;
            const QColor red = QColor::fromHsl(kErrorHue, kErrorSaturation,
                                               dark ? kErrorLightOnDark : kErrorLightOnLight);
            return Blend(text, red, kErrorBlend);
        }
        case TLogKind::Reply:
        case TLogKind::Session:
            break;
    }
    return text;
}

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
            return LogKindColour(line.Kind, QApplication::palette());
        case Qt::FontRole:
            if (line.Kind != session::TLogKind::Session) return {};
            return sessionFont_;
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
    QFont bold = font();
    bold.setBold(true);
    model_->SetSessionFont(bold);
    // Follow the end unless the user scrolled up to read.
    connect(model_.get(), &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = verticalScrollBar();
        followEnd_ = bar->value() >= bar->maximum();
    });
    connect(model_.get(), &QAbstractItemModel::rowsInserted, this, [this] {
        if (followEnd_) scrollToBottom();
    });
}

std::vector<size_t> TLogWidget::SelectedRows() const {
    std::vector<size_t> rows;
    for (const QModelIndex& i : selectionModel()->selectedIndexes())
        rows.push_back(static_cast<size_t>(i.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TLogWidget::SetCommands(session::TLogCommands& commands) {
    struct Command {
        const char* name;
        const char* text;
        const char* description;
        QKeySequence keys;
        std::function<void()> run;
    };
    const Command table[] = {
        {"LogCopy", "&Copy", "Copies the selected log lines, or all of them, to the clipboard",
         QKeySequence::Copy,
         [this, &commands] {
             QApplication::clipboard()->setText(
                 QString::fromStdString(commands.CopyText(SelectedRows())));
         }},
        {"LogSelectAll", "Select &All", "Selects every line of the log", QKeySequence::SelectAll,
         [this] { selectAll(); }},
        {"LogClear", "C&lear Log",
         "Removes every line from the log on screen (the log file keeps them)", QKeySequence(),
         [&commands] { commands.ClearClick(); }},
        {"LogSave", "&Save Log...", "Writes the lines of the log to a file you choose",
         QKeySequence::Save, [&commands] { commands.SaveClick(); }},
    };
    for (const Command& c : table) {
        auto* action = MakeChild<QAction>(this, tr(c.text));
        action->setObjectName(c.name);
        action->setShortcut(c.keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setToolTip(QString(tr(c.text)).remove('&').remove("..."));
        action->setStatusTip(tr(c.description));
        action->setWhatsThis(tr(c.description));
        connect(action, &QAction::triggered, this, c.run);
        addAction(action);
    }
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

}  // namespace tarnwick::ui
