// What both file panes offer alike: the selection status lines under them, the file masks
// (the local filter refills the list, the remote one redraws the listing from the cache), the
// selection tools, sorting by a column, each pane's font and its view style.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "session/SessionCore.h"

namespace tarnwick::session {

inline constexpr const char* kLocalFilterCaption = "Local Filter";
inline constexpr const char* kRemoteFilterCaption = "FTP Filter";
inline constexpr const char* kMaskPrompt = "Mask";

// The panel under a pane: shown only while files are selected.
struct TStatusLine {
    bool Visible = false;
    std::string Text;
    bool operator==(const TStatusLine&) const = default;
};

// The selected files of a pane (picture 1) and their sizes added up; a size that is not a
// number, or is negative, counts 0.
struct TSelectionSum {
    int64_t Files = 0;
    int64_t Bytes = 0;
};
TSelectionSum SumSelectedFiles(const TPaneModel& pane);
// "%d byte(%f Kb) in %d file(s)" under the local pane, "%-d byte (%-f Kb) in %d file(s)" under
// the remote one; the kilobytes with two decimals.
std::string LocalStatusText(const TSelectionSum& sum);
std::string RemoteStatusText(const TSelectionSum& sum);

// The selection tools by the menu items' tags; a negative tag acts on FTPView.
enum class TSelectTool : int { SelectAll = 1, UnselectByMask = 2, SelectByMask = 3, Invert = 4 };

class TPaneTools : private TPaneObserver {
  public:
    explicit TPaneTools(TSessionCore& core);
    ~TPaneTools() override;
    TPaneTools(const TPaneTools&) = delete;
    TPaneTools& operator=(const TPaneTools&) = delete;

    // pnlLocInfo and pnlFtpInfo; a Status notification follows each change.
    const TStatusLine& LocalStatus() const { return local_; }
    const TStatusLine& RemoteStatus() const { return remote_; }
    void lvLocSelectItem();
    void FTPViewSelectItem();

    void Filter1Click();  // local filter
    void Filter4Click();  // remote filter
    void All1Click(int tag);

    // A header click on a column (0 the name); the Sorting menu items give their tags.
    void lvLocColumnClick(int column);
    void FTPViewColumnClick(int column);
    void Byname4Click(int tag);  // local Sorting menu
    void Byname6Click(int tag);  // remote Sorting menu

    // Tag 0 chooses lvLoc's font, any other FTPView's.
    void Font2Click(int tag);
    // A pane's own font once one was chosen; until then it shows the window's font.
    const std::optional<TFontChoice>& PaneFont(const TPaneModel& pane) const;
    TFontChoice ShownFont(const TPaneModel& pane) const;

    // The View menu items (tags 0 large icons, 1 small icons, 2 list, 3 details).
    void MenuItem11Click(int tag);   // lvLoc
    void LargeIcons1Click(int tag);  // FTPView
    void LargeIcons3Click(int tag) { LargeIcons1Click(tag); }
    // Lines the icons of lvLoc up on the grid, when the list has the focus.
    void MenuItem18Click();

    // What only the window can do: give a pane the focus, line up its icons.
    std::function<void(const TPaneModel&)> OnFocusPane;
    std::function<void(const TPaneModel&)> OnArrangeIcons;

  private:
    void PaneReset() override { Recount(); }
    void RowsRemoved(size_t, size_t) override { Recount(); }
    void SelectionChanged(size_t, size_t) override { Recount(); }
    void PresentationChanged() override { ShowStyleChecks(); }
    void Recount();
    void SetStatus(TStatusLine& line, TStatusLine value);
    void SortByTag(TPaneModel& pane, int tag);
    std::optional<std::string> AskMask(const char* caption, const std::string& start);
    void ShowStyleChecks();

    TSessionCore& core_;
    TStatusLine local_;
    TStatusLine remote_;
    std::optional<TFontChoice> localFont_;
    std::optional<TFontChoice> remoteFont_;
    TStateNotifier::Subscription session_;
};

}  // namespace tarnwick::session
