#include "session/PaneTools.h"

#include <charconv>
#include <limits>

#include "listing/MaskMatch.h"

namespace tarnwick::session {

namespace {

constexpr double kBytesPerKb = 1024.0;
constexpr int kKbDecimals = 2;
constexpr int kLastSortMenuTag = kColumnDate;

// The View menu items of each pane, by the tag (the view style) they carry.
const std::vector<std::string_view> kLocalStyleItems = {"MenuItem11", "MenuItem12", "MenuItem13",
                                                        "MenuItem14"};
const std::vector<std::string_view> kRemoteStyleItems = {"LargeIcons1", "SmallIcons1", "List1",
                                                         "Details1"};
const std::vector<std::string_view> kRemotePopupStyleItems = {"LargeIcons3", "SmallIcons3", "List3",
                                                              "Details3"};

// A size column read as a whole decimal number; anything else (or a negative number) is 0.
int64_t SizeValue(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return 0;
    return value;
}

std::string StatusText(const TSelectionSum& sum, const char* byteWord) {
    char kb[64];
    const auto r = std::to_chars(kb, kb + sizeof kb, static_cast<double>(sum.Bytes) / kBytesPerKb,
                                 std::chars_format::fixed, kKbDecimals);
    return std::to_string(sum.Bytes) + byteWord + std::string(kb, r.ptr) + " Kb) in " +
           std::to_string(sum.Files) + " file(s)";
}

bool ValidStyleTag(int tag) {
    return tag >= static_cast<int>(TViewStyle::vsIcon) &&
           tag <= static_cast<int>(TViewStyle::vsReport);
}

}  // namespace

TSelectionSum SumSelectedFiles(const TPaneModel& pane) {
    TSelectionSum sum;
    if (pane.SelectedCount() == 0) return sum;
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    for (size_t i : pane.SelectedRows()) {
        const TPaneRow& row = pane.Row(i);
        if (row.Picture != kPictureFile) continue;
        ++sum.Files;
        const int64_t size = SizeValue(row.Size);
        sum.Bytes = size > kMax - sum.Bytes ? kMax : sum.Bytes + size;
    }
    return sum;
}

std::string LocalStatusText(const TSelectionSum& sum) {
    return StatusText(sum, " byte(");
}

std::string RemoteStatusText(const TSelectionSum& sum) {
    return StatusText(sum, " byte (");
}

TPaneTools::TPaneTools(TSessionCore& core) : core_(core) {
    core_.lvLoc.AddObserver(this);
    core_.FTPView.AddObserver(this);
    session_ = core_.Notifier.Subscribe(static_cast<TChangeMask>(TChange::Session),
                                        [this](TChange) { Recount(); });
    ShowStyleChecks();
}

TPaneTools::~TPaneTools() {
    core_.lvLoc.RemoveObserver(this);
    core_.FTPView.RemoveObserver(this);
}

// --- Status lines ----------------------------------------------------------------------------

void TPaneTools::SetStatus(TStatusLine& line, TStatusLine value) {
    if (line == value) return;
    line = std::move(value);
    core_.Notifier.Notify(TChange::Status);
}

void TPaneTools::lvLocSelectItem() {
    const TSelectionSum sum = SumSelectedFiles(core_.lvLoc);
    SetStatus(local_, sum.Files > 0 ? TStatusLine{true, LocalStatusText(sum)} : TStatusLine{});
}

void TPaneTools::FTPViewSelectItem() {
    // The saved servers have no sizes: nothing shows under them.
    if (core_.State.ServerMode) {
        SetStatus(remote_, TStatusLine{});
        return;
    }
    const TSelectionSum sum = SumSelectedFiles(core_.FTPView);
    SetStatus(remote_, sum.Files > 0 ? TStatusLine{true, RemoteStatusText(sum)} : TStatusLine{});
}

void TPaneTools::Recount() {
    lvLocSelectItem();
    FTPViewSelectItem();
}

// --- Masks and selection tools ---------------------------------------------------------------

std::optional<std::string> TPaneTools::AskMask(const char* caption, const std::string& start) {
    TInputQuery q;
    q.Caption = caption;
    q.Prompt = kMaskPrompt;
    q.Value = start;
    q.MaxLength = kMaxMaskLength;
    return core_.Dialogs().InputQuery(q);
}

void TPaneTools::Filter1Click() {
    const std::optional<std::string> mask = AskMask(kLocalFilterCaption, core_.State.LocalMask);
    if (!mask) return;
    core_.State.LocalMask = *mask;
    core_.Local.dlbxChange();
}

void TPaneTools::Filter4Click() {
    if (core_.State.ServerMode) return;
    const std::optional<std::string> mask = AskMask(kRemoteFilterCaption, core_.State.RemoteMask);
    if (!mask) return;
    core_.State.RemoteMask = *mask;
    // Drawn again from the cache, in the pane's order.
    core_.ShowRemoteListing();
}

void TPaneTools::All1Click(int tag) {
    TPaneModel& pane = tag < 0 ? core_.FTPView : core_.lvLoc;
    const int tool = tag < 0 ? -tag : tag;
    std::vector<size_t> rows;
    switch (static_cast<TSelectTool>(tool)) {
        case TSelectTool::SelectAll:
            pane.SelectAll(true);
            break;
        case TSelectTool::Invert:
            for (size_t i = 0; i < pane.RowCount(); ++i)
                if (!pane.IsSelected(i)) rows.push_back(i);
            pane.SetSelection(rows);
            break;
        case TSelectTool::SelectByMask:
        case TSelectTool::UnselectByMask: {
            // The answer becomes the local mask, whichever pane it selects in.
            const std::optional<std::string> mask =
                AskMask(kLocalFilterCaption, core_.State.LocalMask);
            if (!mask) break;
            core_.State.LocalMask = *mask;
            const bool select = tool == static_cast<int>(TSelectTool::SelectByMask);
            for (size_t i = 0; i < pane.RowCount(); ++i) {
                const bool matches = MatchesMask(pane.Row(i).Name, *mask);
                if (matches ? select : pane.IsSelected(i)) rows.push_back(i);
            }
            pane.SetSelection(rows);
            break;
        }
        default:
            return;
    }
    if (OnFocusPane) OnFocusPane(pane);
}

// --- Sorting ---------------------------------------------------------------------------------

void TPaneTools::SortByTag(TPaneModel& pane, int tag) {
    pane.SetSortKey(ColumnClickKey(pane.SortKey(), tag));
    pane.Resort();
}

void TPaneTools::lvLocColumnClick(int column) {
    if (column < 0 || column >= core_.lvLoc.ColumnCount()) return;
    SortByTag(core_.lvLoc, column + 1);
}

void TPaneTools::FTPViewColumnClick(int column) {
    if (core_.State.ServerMode) return;
    if (column < 0 || column >= core_.FTPView.ColumnCount()) return;
    SortByTag(core_.FTPView, column + 1);
}

void TPaneTools::Byname4Click(int tag) {
    if (tag >= kColumnName && tag <= kLastSortMenuTag) lvLocColumnClick(tag - 1);
}

void TPaneTools::Byname6Click(int tag) {
    if (tag >= kColumnName && tag <= kLastSortMenuTag) FTPViewColumnClick(tag - 1);
}

// --- Fonts and view styles -------------------------------------------------------------------

const std::optional<TFontChoice>& TPaneTools::PaneFont(const TPaneModel& pane) const {
    return &pane == &core_.FTPView ? remoteFont_ : localFont_;
}

TFontChoice TPaneTools::ShownFont(const TPaneModel& pane) const {
    const std::optional<TFontChoice>& own = PaneFont(pane);
    return own ? *own : core_.Font();
}

void TPaneTools::Font2Click(int tag) {
    const TPaneModel& pane = tag != 0 ? core_.FTPView : core_.lvLoc;
    std::optional<TFontChoice> chosen = core_.Dialogs().ChooseFont(ShownFont(pane));
    if (!chosen) return;
    (tag != 0 ? remoteFont_ : localFont_) = std::move(chosen);
    core_.Notifier.Notify(TChange::ViewStyle);
}

void TPaneTools::MenuItem11Click(int tag) {
    if (ValidStyleTag(tag)) core_.lvLoc.SetStyle(static_cast<TViewStyle>(tag));
}

void TPaneTools::LargeIcons1Click(int tag) {
    if (ValidStyleTag(tag)) core_.FTPView.SetStyle(static_cast<TViewStyle>(tag));
}

void TPaneTools::MenuItem18Click() {
    if (core_.Local.Focused() && OnArrangeIcons) OnArrangeIcons(core_.lvLoc);
}

void TPaneTools::ShowStyleChecks() {
    TControlBatch batch(core_.Controls);
    const auto check = [this](const std::vector<std::string_view>& items, TViewStyle style) {
        for (size_t i = 0; i < items.size(); ++i)
            core_.Controls.SetChecked(items[i], static_cast<int>(i) == static_cast<int>(style));
    };
    check(kLocalStyleItems, core_.lvLoc.Style());
    check(kRemoteStyleItems, core_.FTPView.Style());
    check(kRemotePopupStyleItems, core_.FTPView.Style());
}

}  // namespace tarnwick::session
