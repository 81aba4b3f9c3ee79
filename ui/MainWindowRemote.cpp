// The remote file commands on screen: make directory, rename and delete on the toolbar, in the
// Remote menu and the pop-up over FTPView (with change case, change directory, file
// attributes, compare directories and the custom command items), and the command panel
// Panel17 with "Commands", "Do It" and the command box cbCmd.
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>
#include <memory>

#include "session/DisplayText.h"
#include "ui/MainWindow.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {

using session::TChange;

// Where the command panel goes in the remote pane: under the title and the path row.
constexpr int kCommandPanelPosition = 2;

QString Shown(const std::string& bytes) {
    return QString::fromStdString(session::DisplayText(bytes));
}

QString PlainText(QString text) {
    return text.remove('&').remove("...");
}

}  // namespace

void TMainWindow::BuildRemoteOps() {
    session::TRemoteOperations& r = main_.RemoteOps();
    QStyle* st = style();

    AddAction("sbMkd2", tr("New Folder"), [&r] {
        r.sbMkd2Click();
    })->setIcon(QIcon::fromTheme("folder-new", st->standardIcon(QStyle::SP_FileDialogNewFolder)));
    AddAction("sbRen2", tr("Rename"), [&r] {
        r.sbRen2Click();
    })->setIcon(QIcon::fromTheme("edit-rename", st->standardIcon(QStyle::SP_FileIcon)));
    AddAction("sbDel2", tr("Delete"), [&r] {
        r.sbDel2Click();
    })->setIcon(QIcon::fromTheme("edit-delete", st->standardIcon(QStyle::SP_TrashIcon)));
    for (const char* n : {"Makedirectory2", "MakeDirectory3"})
        AddAction(n, tr("&Make Directory..."), [&r] { r.sbMkd2Click(); });
    for (const char* n : {"RenameFile3", "RenameFile4"})
        AddAction(n, tr("&Rename..."), [&r] { r.sbRen2Click(); });
    for (const char* n : {"DeleteServerFile1", "Delete1"})
        AddAction(n, tr("&Delete..."), [&r] { r.sbDel2Click(); });
    for (const char* n : {"ChandDirect1", "ChangeDirectory1"})
        AddAction(n, tr("C&hange Directory..."), [&r] { r.ChandDirect1Click(); });
    for (const char* n : {"FileAttributes1", "FileAttributes2"})
        AddAction(n, tr("File &Attributes..."), [&r] { r.FileAttributes2Click(); });
    for (const char* n : {"CompareDirectories1", "CompareDirectories2"})
        AddAction(n, tr("Com&pare Directories"), [&r] { r.CompareDirectories1Click(); });
    for (const char* n : {"CustomCommand1", "CustomCommand2"})
        AddAction(n, tr("Custom &Command"), [&r] { r.CustomCommand1Click(); })->setCheckable(true);

    if (auto* bar = findChild<QToolBar*>("ToolBar1")) {
        QAction* before = Action("sbStop");
        for (const char* n : {"sbMkd2", "sbRen2", "sbDel2"}) {
            bar->insertAction(before, Action(n));
            if (QWidget* w = bar->widgetForAction(Action(n))) {
                w->setObjectName(QString(n) + "Button");
                w->setAccessibleName(tr("Remote ") + PlainText(Action(n)->text()));
            }
        }
    }

    // The case changes of the remote selection, by their tags.
    struct TCaseItem {
        const char* name;
        const char* text;
        int tag;
    };
    const TCaseItem caseItems[] = {{"LARGECASE", "&UPPER CASE", 0},
                                   {"smallcase", "&lower case", 1},
                                   {"Assentense", "&Sentence case", 2}};
    auto caseMenu = [&](QMenu& parent, const QString& name, const char* suffix) {
        QMenu* menu = parent.addMenu(tr("C&hange Case"));
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name);
        binder_->Bind(menu->menuAction());
        for (const TCaseItem& item : caseItems)
            menu->addAction(AddAction(QString(item.name) + suffix, tr(item.text),
                                      [&r, tag = item.tag] { r.LARGECASE3Click(tag); }));
    };
    auto fill = [&](QMenu& menu, const char* mkd, const char* ren, const char* del,
                    const char* chdir, const char* attrs, const char* compare, const char* custom,
                    const QString& caseName, const char* caseSuffix) {
        QAction* first = menu.actions().value(0);
        for (const char* n : {mkd, ren, del, chdir, attrs, compare})
            menu.insertAction(first, Action(n));
        menu.insertSeparator(first);
        menu.addSeparator();
        caseMenu(menu, caseName, caseSuffix);
        menu.addAction(Action(custom));
    };
    if (auto* menu = findChild<QMenu*>("Remote1"))
        fill(*menu, "Makedirectory2", "RenameFile3", "DeleteServerFile1", "ChandDirect1",
             "FileAttributes1", "CompareDirectories1", "CustomCommand1", "ChangeCase3", "3");
    if (auto* popup = findChild<QMenu*>("pmRemote"))
        fill(*popup, "MakeDirectory3", "RenameFile4", "Delete1", "ChangeDirectory1",
             "FileAttributes2", "CompareDirectories2", "CustomCommand2", "ChangeCase4", "4");

    // The command panel.
    auto* remote = findChild<QWidget*>("PanelRemote");
    auto* layout = remote != nullptr ? qobject_cast<QVBoxLayout*>(remote->layout()) : nullptr;
    if (layout == nullptr) return;
    auto* panel = MakeChild<QWidget>(remote);
    panel->setObjectName("Panel17");
    auto* row = MakeChild<QHBoxLayout>(panel);
    row->setContentsMargins(0, 0, 0, 0);
    auto* commands = MakeChild<QPushButton>(panel, tr("Commands"));
    commands->setObjectName("SpeedButton6");
    commands->setAccessibleName(tr("Commands"));
    auto* doIt = MakeChild<QPushButton>(panel, tr("Do It"));
    doIt->setObjectName("SpeedButton5");
    doIt->setAccessibleName(tr("Do It"));
    auto* box = MakeChild<QComboBox>(panel);
    box->setObjectName("cbCmd");
    box->setAccessibleName(tr("Custom command"));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    row->addWidget(commands);
    row->addWidget(doIt);
    row->addWidget(box);
    layout->insertWidget(kCommandPanelPosition, panel);
    binder_->Bind(panel);

    session::TComboModel& cmd = core_.cbCmd;
    auto showing = std::make_shared<bool>(false);
    auto show = [box, &cmd, showing] {
        *showing = true;
        // Typing changes only the text: the items are rebuilt when they differ.
        QStringList items;
        for (const std::string& item : cmd.Items()) items.append(Shown(item));
        QStringList now;
        for (int i = 0; i < box->count(); ++i) now.append(box->itemText(i));
        if (items != now) {
            box->clear();
            box->addItems(items);
        }
        if (box->currentIndex() != cmd.ItemIndex()) box->setCurrentIndex(cmd.ItemIndex());
        if (box->currentText() != Shown(cmd.Text())) box->setEditText(Shown(cmd.Text()));
        *showing = false;
    };
    connect(box, &QComboBox::editTextChanged, this, [&cmd, showing](const QString& text) {
        if (*showing) return;
        cmd.SetText(session::BytesFromEdit(cmd.Text(), text.toStdString()));
    });
    connect(box, &QComboBox::activated, this, [&cmd, showing](int index) {
        if (!*showing) cmd.SetItemIndex(index);
    });
    connect(commands, &QPushButton::clicked, this, [&r] { r.SpeedButton6Click(); });
    connect(doIt, &QPushButton::clicked, this, [&r] { r.SpeedButton5Click(); });
    connect(box->lineEdit(), &QLineEdit::returnPressed, this, [&r] { r.SpeedButton5Click(); });
    subscriptions_.push_back(core_.Notifier.Subscribe(
        static_cast<session::TChangeMask>(TChange::CommandBox), [show](TChange) { show(); }));
    show();
    binder_->ApplyAll();
}

}  // namespace tarnwick::ui
