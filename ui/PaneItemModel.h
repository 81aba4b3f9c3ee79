// A Qt item model over a pane model of the session (FTPView or lvLoc): rows, texts and
// pictures as the session holds them, changes passed on by row range. Names are shown through
// DisplayText, never interpreted.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>
#include <functional>

#include "session/PaneModel.h"
#include "ui/Icons.h"

namespace tarnwick::ui {

class TPaneItemModel : public QAbstractTableModel, private session::TPaneObserver {
    Q_OBJECT
  public:
    explicit TPaneItemModel(session::TPaneModel& pane, QObject* parent = nullptr);
    ~TPaneItemModel() override;

    session::TPaneModel& Pane() { return pane_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }

    // The MIME type a drag out of this pane carries (which pane it is).
    QString DragMimeType() const;

    // Whether a drag may be dropped here, and the drop: the window decides (nothing is
    // dropped while no handlers are set).
    using TDropCheck = std::function<bool(const QMimeData*)>;
    using TDrop = std::function<void(const QMimeData*)>;
    void SetDropHandlers(TDropCheck canDrop, TDrop drop);
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

  signals:
    // The session changed the selection of these rows (inclusive).
    void SessionSelectionChanged(int first, int last);
    void PanePresentationChanged();

  private:
    void PaneAboutToReset() override;
    void PaneReset() override;
    void RowsAboutToBeInserted(size_t first, size_t count) override;
    void RowsInserted(size_t first, size_t count) override;
    void RowsAboutToBeRemoved(size_t first, size_t count) override;
    void RowsRemoved(size_t first, size_t count) override;
    void RowsChanged(size_t first, size_t last) override;
    void SelectionChanged(size_t first, size_t last) override;
    void PresentationChanged() override;

    session::TPaneModel& pane_;
    TFileIcons icons_;
    TDropCheck canDrop_;
    TDrop drop_;
};

}  // namespace tarnwick::ui
