// The main window's local pane and the menus both panes share: the local commands (toolbar
// buttons, the Local menu and the pop-up over lvLoc), filters, selection tools, change case,
// sorting, view styles and fonts of either pane, and the remote pane's status line.
#include <QActionGroup>
#include <QMenuBar>
#include <QPointer>
#include <QStyle>
#include <string_view>

#include "ui/MainWindow.h"
#include "ui/PaneViews.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {

using session::TChange;

// A menu item that passes its tag to its handler.
struct TTaggedItem {
    const char* name;
    const char* text;
    int tag;
};

// Items that stand in several menus, named by a base and the menu's number: the selection tools
// (the remote pane's carry the negative tags), the case changes, and sorting by name, size and
// date ("By extension" is there but hidden, and does nothing).
constexpr TTaggedItem kSelectItems[] = {{"All", "Select &All", 1},
                                        {"Unselectbymask", "&Unselect by Mask...", 2},
                                        {"Selectbymask", "&Select by Mask...", 3},
                                        {"Invertselection", "&Invert Selection", 4}};
constexpr TTaggedItem kCaseItems[] = {{"LargeCase", "&UPPER CASE", 0},
                                      {"smallcase", "&lower case", 1},
                                      {"Assentense", "&Sentence case", 2}};
constexpr TTaggedItem kSortItems[] = {{"Byname", "By &Name", 1},
                                      {"Bysize", "By &Size", 2},
                                      {"Bydate", "By &Date", 3},
                                      {"Byextension", "By &Extension", 0}};
constexpr std::string_view kHiddenSortItem = "Byextension";
// The View items carry the view style as their tag.
constexpr TTaggedItem kLocalStyles[] = {{"MenuItem11", "Lar&ge Icons", 0},
                                        {"MenuItem12", "S&mall Icons", 1},
                                        {"MenuItem13", "&List", 2},
                                        {"MenuItem14", "&Details", 3}};
constexpr TTaggedItem kRemoteStyles[] = {{"LargeIcons1", "Lar&ge Icons", 0},
                                         {"SmallIcons1", "S&mall Icons", 1},
                                         {"List1", "&List", 2},
                                         {"Details1", "&Details", 3}};
constexpr TTaggedItem kRemotePopupStyles[] = {{"LargeIcons3", "Lar&ge Icons", 0},
                                              {"SmallIcons3", "S&mall Icons", 1},
                                              {"List3", "&List", 2},
                                              {"Details3", "&Details", 3}};
constexpr int kRemoteFontTag = 1;

QString PlainText(QString text) {
    return text.remove('&').remove("...");
}

}  // namespace

QWidget* TMainWindow::BuildLocalPane() {
    localPane_ = MakeChild<TLocalPaneView>(panes_, main_);
    lvLoc_ = &localPane_->Pane();
    return localPane_;
}

void TMainWindow::BuildPaneMenus() {
    session::T_Main& m = main_;
    session::TLocalCommands& local = m.LocalCommands();
    session::TPaneTools& tools = m.PaneTools();
    QStyle* st = style();

    // A submenu, found by its object name like every named control.
    auto subMenu = [this](QMenu& parent, const QString& name, const QString& title) {
        QMenu* menu = parent.addMenu(title);
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name);
        binder_->Bind(menu->menuAction());
        return menu;
    };
    // Items that pass their tag to one handler; `suffix` numbers the names of shared items,
    // `sign` -1 gives them the remote pane's tags.
    auto tagged = [this, &subMenu](QMenu& parent, const QString& name, const QString& title,
                                   const auto& items, std::function<void(int)> run,
                                   const char* suffix = "", int sign = 1, bool checkable = false) {
        QMenu* menu = subMenu(parent, name, title);
        QActionGroup* group = checkable ? MakeChild<QActionGroup>(menu) : nullptr;
        for (const TTaggedItem& item : items) {
            const QString itemName = QString(item.name) + suffix;
            QAction* a =
                AddAction(itemName, tr(item.text), [run, tag = sign * item.tag] { run(tag); });
            if (group != nullptr) {
                a->setCheckable(true);
                group->addAction(a);
            }
            if (item.name == kHiddenSortItem)
                core_.Controls.SetVisible(itemName.toStdString(), false);
            menu->addAction(a);
        }
        return menu;
    };

    // --- The local commands: buttons, the Local menu and the pop-up over lvLoc -----------
    AddAction("sbMkd1", tr("New Folder"), [&local] {
        local.sbMkd1Click();
    })->setIcon(QIcon::fromTheme("folder-new", st->standardIcon(QStyle::SP_FileDialogNewFolder)));
    AddAction("sbRen1", tr("Rename"), [&local] {
        local.sbRen1Click();
    })->setIcon(QIcon::fromTheme("edit-rename", st->standardIcon(QStyle::SP_FileIcon)));
    AddAction("sbDel1", tr("Delete"), [&local] {
        local.sbDel1Click();
    })->setIcon(QIcon::fromTheme("edit-delete", st->standardIcon(QStyle::SP_TrashIcon)));
    AddAction("sbView", tr("View"), [&local] { local.Viewfile2Click(); })
        ->setIcon(QIcon::fromTheme("document-preview",
                                   st->standardIcon(QStyle::SP_FileDialogContentsView)));
    AddAction("sbRun", tr("Run"), [&local] {
        local.sbRunClick();
    })->setIcon(QIcon::fromTheme("document-open", st->standardIcon(QStyle::SP_DialogOpenButton)));
    QToolBar& buttons = localPane_->Buttons();
    for (const char* n : {"sbMkd1", "sbRen1", "sbDel1", "sbView", "sbRun"}) {
        buttons.addAction(Action(n));
        if (QWidget* w = buttons.widgetForAction(Action(n))) {
            w->setObjectName(QString(n) + "Button");
            w->setAccessibleName(PlainText(Action(n)->text()));
        }
    }

    AddAction("MakeDirectory1", tr("&Make Directory..."), [&local] { local.sbMkd1Click(); });
    AddAction("RenameFile2", tr("&Rename..."), [&local] { local.sbRen1Click(); });
    AddAction("DeleteFile1", tr("&Delete..."), [&local] { local.sbDel1Click(); });
    AddAction("Viewfile2", tr("&View File"), [&local] { local.Viewfile2Click(); });
    AddAction("RunFile1", tr("R&un File"), [&local] { local.sbRunClick(); });
    AddAction("Filter1", tr("&Filter..."), [&tools] { tools.Filter1Click(); });
    AddAction("Font1", tr("F&ont..."), [&tools] { tools.Font2Click(0); });
    AddAction("MenuItem18", tr("Line &up Icons"), [&tools] { tools.MenuItem18Click(); });
    // The pop-up twins (their keys, with those of both panes, in ui/MainWindowKeys.cpp).
    struct TPopupItem {
        const char* name;
        const char* text;
        std::function<void()> run;
    };
    const TPopupItem popupItems[] = {
        {"MenuItem4", "Make Directory...", [&local] { local.sbMkd1Click(); }},
        {"MenuItem7", "Rename...", [&local] { local.sbRen1Click(); }},
        {"MenuItem8", "Delete...", [&local] { local.sbDel1Click(); }},
        {"ViewFile3", "View File", [&local] { local.Viewfile2Click(); }},
        {"RunApplication1", "Run Application", [&local] { local.sbRunClick(); }},
        {"Filter2", "Filter...", [&tools] { tools.Filter1Click(); }},
        {"Font2", "Font...", [&tools] { tools.Font2Click(0); }},
    };
    for (const TPopupItem& item : popupItems) AddAction(item.name, tr(item.text), item.run);

    auto select = [&tools](int tag) { tools.All1Click(tag); };
    auto changeCase = [&local](int tag) { local.LargeCase1Click(tag); };
    auto sortLocal = [&tools](int tag) { tools.Byname4Click(tag); };
    auto sortRemote = [&tools](int tag) { tools.Byname6Click(tag); };
    auto localStyle = [&tools](int tag) { tools.MenuItem11Click(tag); };
    auto remoteStyle = [&tools](int tag) { tools.LargeIcons1Click(tag); };
    auto remotePopupStyle = [&tools](int tag) { tools.LargeIcons3Click(tag); };

    QMenu* localMenu = menuBar()->addMenu(tr("&Local"));
    localMenu->setObjectName("Local1");
    for (const char* n : {"MakeDirectory1", "RenameFile2", "DeleteFile1", "Viewfile2", "RunFile1"})
        localMenu->addAction(Action(n));
    localMenu->addSeparator();
    localMenu->addAction(Action("Filter1"));
    tagged(*localMenu, "Select1", tr("&Select"), kSelectItems, select, "1");
    tagged(*localMenu, "ChangeCase1", tr("C&hange Case"), kCaseItems, changeCase, "1");
    tagged(*localMenu, "Sorting1", tr("S&orting"), kSortItems, sortLocal, "4");
    QMenu* localView =
        tagged(*localMenu, "View2", tr("Vie&w"), kLocalStyles, localStyle, "", 1, true);
    localView->addSeparator();
    localView->addAction(Action("MenuItem18"));
    localMenu->addAction(Action("Font1"));

    auto* localPopup = MakeChild<QMenu>(this);
    localPopup->setObjectName("pmLocal");
    for (const char* n : {"MenuItem4", "MenuItem7", "MenuItem8", "ViewFile3", "RunApplication1"})
        localPopup->addAction(Action(n));
    localPopup->addSeparator();
    localPopup->addAction(Action("Filter2"));
    tagged(*localPopup, "Select4", tr("&Select"), kSelectItems, select, "2");
    tagged(*localPopup, "ChangeCase2", tr("C&hange Case"), kCaseItems, changeCase, "2");
    tagged(*localPopup, "Sorting4", tr("S&orting"), kSortItems, sortLocal, "5");
    localPopup->addMenu(localView);
    localPopup->addAction(Action("Font2"));
    AttachPopupMenu(*lvLoc_, *localPopup);

    // --- The remote pane's share: filter, selection tools, sorting, view and font ---------
    AddAction("Filter3", tr("&Filter..."), [&tools] { tools.Filter4Click(); });
    AddAction("Filter4", tr("Filter..."), [&tools] { tools.Filter4Click(); });
    AddAction("Font3", tr("F&ont..."), [&tools] { tools.Font2Click(kRemoteFontTag); });
    AddAction("Font4", tr("Font..."), [&tools] { tools.Font2Click(kRemoteFontTag); });
    QMenu* remoteMenu = menuBar()->addMenu(tr("&Remote"));
    remoteMenu->setObjectName("Remote1");
    remoteMenu->addAction(Action("Filter3"));
    tagged(*remoteMenu, "Select2", tr("&Select"), kSelectItems, select, "3", -1);
    tagged(*remoteMenu, "Sorting2", tr("S&orting"), kSortItems, sortRemote, "6");
    tagged(*remoteMenu, "View3", tr("Vie&w"), kRemoteStyles, remoteStyle, "", 1, true);
    remoteMenu->addAction(Action("Font3"));

    auto* remotePopup = MakeChild<QMenu>(this);
    remotePopup->setObjectName("pmRemote");
    remotePopup->addAction(Action("Filter4"));
    tagged(*remotePopup, "Select3", tr("&Select"), kSelectItems, select, "4", -1);
    tagged(*remotePopup, "Sorting3", tr("S&orting"), kSortItems, sortRemote, "7");
    tagged(*remotePopup, "View4", tr("Vie&w"), kRemotePopupStyles, remotePopupStyle, "", 1, true);
    remotePopup->addAction(Action("Font4"));
    AttachPopupMenu(*ftpView_, *remotePopup);

    binder_->ApplyAll();

    connect(ftpView_, &TPaneWidget::HeaderClicked, this,
            [this](int column) { main_.FTPViewColumnClick(column); });
    subscriptions_.push_back(core_.Notifier.Subscribe(
        static_cast<session::TChangeMask>(TChange::Status),
        [this](TChange) { ShowStatusLine(*pnlFtpInfo_, main_.PaneTools().RemoteStatus()); }));
    QPointer<TPaneWidget> localView2 = lvLoc_;
    QPointer<TPaneWidget> remoteView = ftpView_;
    tools.OnFocusPane = [localView2, remoteView, &core = core_](const session::TPaneModel& p) {
        TPaneWidget* pane = &p == &core.lvLoc ? localView2.data() : remoteView.data();
        if (pane != nullptr) pane->CurrentView().setFocus(Qt::OtherFocusReason);
    };
    tools.OnArrangeIcons = [localView2](const session::TPaneModel&) {
        if (localView2) localView2->ListView().doItemsLayout();
    };
}

}  // namespace tarnwick::ui
