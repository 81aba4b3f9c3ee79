// The rows a file pane draws (FTPView, lvLoc): caption, picture and sub-columns, the selection,
// the view style and the sort key. Observers hear about row ranges, as item models do, so a
// view redraws only what changed; structural changes come as a before/after pair.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "listing/PaneSort.h"

namespace tarnwick::session {

// The view styles with the tags of the View menu items.
enum class TViewStyle : int { vsIcon = 0, vsSmallIcon = 1, vsList = 2, vsReport = 3 };

class TPaneObserver {
  public:
    virtual ~TPaneObserver() = default;
    virtual void PaneAboutToReset() {}
    virtual void PaneReset() {}
    virtual void RowsAboutToBeInserted(size_t /*first*/, size_t /*count*/) {}
    virtual void RowsInserted(size_t /*first*/, size_t /*count*/) {}
    virtual void RowsAboutToBeRemoved(size_t /*first*/, size_t /*count*/) {}
    virtual void RowsRemoved(size_t /*first*/, size_t /*count*/) {}
    // Rows first..last (inclusive) show other texts or pictures.
    virtual void RowsChanged(size_t /*first*/, size_t /*last*/) {}
    // The selection of rows first..last (inclusive) changed.
    virtual void SelectionChanged(size_t /*first*/, size_t /*last*/) {}
    // View style, sort key or the name column's fill mode changed.
    virtual void PresentationChanged() {}
};

class TPaneModel {
  public:
    // `name` is the control's name ("FTPView", "lvLoc"); the local pane has no attribute column.
    TPaneModel(std::string name, bool hasAttrColumn);
    TPaneModel(const TPaneModel&) = delete;
    TPaneModel& operator=(const TPaneModel&) = delete;

    const std::string& Name() const { return name_; }
    bool HasAttrColumn() const { return hasAttrColumn_; }
    // Number of columns a report view shows: name, size, date, time (and attributes).
    int ColumnCount() const { return hasAttrColumn_ ? 5 : 4; }

    void AddObserver(TPaneObserver* observer);
    void RemoveObserver(TPaneObserver* observer);

    size_t RowCount() const { return rows_.size(); }
    bool Empty() const { return rows_.empty(); }
    const TPaneRow& Row(size_t index) const { return rows_[index]; }
    const std::vector<TPaneRow>& Rows() const { return rows_; }
    // Index of the first row whose caption equals `caption` exactly, or -1.
    int FindCaption(std::string_view caption) const;

    // Structural changes.
    void Clear();
    // Replaces every row; the selection is cleared. One reset for the whole pane.
    void SetRows(std::vector<TPaneRow> rows);
    void AppendRow(TPaneRow row);
    void RemoveRow(size_t index);
    void SetRow(size_t index, TPaneRow row);

    // Selection. The "selected item" of the logic is the first selected row.
    bool IsSelected(size_t index) const { return selected_[index] != 0; }
    size_t SelectedCount() const { return selectedCount_; }
    int SelectedIndex() const;
    std::vector<size_t> SelectedRows() const;
    void Select(size_t index, bool selected);
    void SelectAll(bool selected);
    // Exactly these rows are selected afterwards (indices out of range are ignored).
    void SetSelection(const std::vector<size_t>& rows);
    // The row with the keyboard focus, -1 for none.
    int FocusedIndex() const { return focused_; }
    void SetFocusedIndex(int index) { focused_ = index; }

    // Presentation.
    TViewStyle Style() const { return style_; }
    void SetStyle(TViewStyle style);
    int SortKey() const { return sortKey_; }
    void SetSortKey(int key);
    // Re-sorts the rows by the sort key (directories first); the selection is lost and
    // directory rows lose their size, as re-adding rows to a sorted pane does.
    void Resort();
    // The name column fills the pane (whole listing lines) instead of fitting its captions.
    bool NameColumnFills() const { return nameColumnFills_; }
    void SetNameColumnFills(bool fills);

  private:
    template <typename F>
    void Each(F&& f) {
        const auto observers = observers_;
        for (TPaneObserver* o : observers) f(*o);
    }

    std::string name_;
    bool hasAttrColumn_;
    std::vector<TPaneRow> rows_;
    std::vector<uint8_t> selected_;
    size_t selectedCount_ = 0;
    int focused_ = -1;
    TViewStyle style_ = TViewStyle::vsReport;
    int sortKey_ = 0;
    bool nameColumnFills_ = false;
    std::vector<TPaneObserver*> observers_;
};

}  // namespace tarnwick::session
