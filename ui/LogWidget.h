// The log memo on screen: a list over the session's log, commands, replies, the engine's
// notices and the controller's own lines told apart by colour; it follows the end while the
// user has not scrolled away.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <memory>

#include "session/LogModel.h"

namespace tarnwick::ui {

class TLogItemModel : public QAbstractListModel, private session::TLogObserver {
    Q_OBJECT
  public:
    explicit TLogItemModel(session::TLogModel& log, QObject* parent = nullptr);
    ~TLogItemModel() override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  private:
    void LinesAppended(size_t count) override;
    void LinesDropped(size_t count) override;
    void LogCleared() override;

    session::TLogModel& log_;
    int shown_ = 0;
};

class TLogWidget : public QListView {
    Q_OBJECT
  public:
    explicit TLogWidget(session::TLogModel& log, QWidget* parent = nullptr);

  private:
    std::unique_ptr<TLogItemModel> model_;
    bool followEnd_ = true;
};

}  // namespace tarnwick::ui
