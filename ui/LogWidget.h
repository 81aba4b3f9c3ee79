// The log memo on screen: a list over the session's log, commands, replies, the engine's
// notices and the controller's own lines told apart by colour; it follows the end while the
// user has not scrolled away.
#pragma once

#include <QAbstractListModel>
#include <QColor>
#include <QFont>
#include <QListView>
#include <QPalette>
#include <memory>
#include <vector>

#include "session/LogCommands.h"
#include "session/LogModel.h"

namespace tarnwick::ui {

// The colour of a line kind on this palette.
QColor LogKindColour(session::TLogKind kind, const QPalette& palette);

class TLogItemModel : public QAbstractListModel, private session::TLogObserver {
    Q_OBJECT
  public:
    explicit TLogItemModel(session::TLogModel& log, QObject* parent = nullptr);
    ~TLogItemModel() override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // The font of the controller's own lines ("Connecting to ...").
    void SetSessionFont(const QFont& font) { sessionFont_ = font; }

  private:
    void LinesAppended(size_t count) override;
    void LinesDropped(size_t count) override;
    void LogCleared() override;

    session::TLogModel& log_;
    int shown_ = 0;
    QFont sessionFont_;
};

class TLogWidget : public QListView {
    Q_OBJECT
  public:
    explicit TLogWidget(session::TLogModel& log, QWidget* parent = nullptr);

    // Copy (the selected lines, or all), Select All, Clear and Save Log, in the widget's
    // pop-up menu and on its keys.
    void SetCommands(session::TLogCommands& commands);
    // The rows selected, in order.
    std::vector<size_t> SelectedRows() const;

  private:
    std::unique_ptr<TLogItemModel> model_;
    bool followEnd_ = true;
};

}  // namespace tarnwick::ui
