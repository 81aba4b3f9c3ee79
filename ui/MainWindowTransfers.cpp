// The window's transfer controls: the download and upload buttons and menu items, drag and
// drop between the panes and from the desktop's file manager onto the remote pane, and the
// progress window of each batch.
#include <QFile>
#include <QMenuBar>
#include <QMimeData>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <optional>

#include "ui/MainWindow.h"
#include "ui/ProgressWindow.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {

using session::TDragSource;

constexpr const char* kUriList = "text/uri-list";

// Where a drag comes from: a pane of this window by its own MIME type, or the desktop with
// local files and folders only.
std::optional<TDragSource> SourceOf(const QMimeData* data, const TPaneItemModel& remote,
                                    const TPaneItemModel& local) {
    if (data->hasFormat(remote.DragMimeType())) return TDragSource::FTPView;
    if (data->hasFormat(local.DragMimeType())) return TDragSource::lvLoc;
    if (!data->hasFormat(kUriList) || data->urls().isEmpty()) return std::nullopt;
    for (const QUrl& url : data->urls())
        if (!url.isLocalFile()) return std::nullopt;
    return TDragSource::External;
}

// The local paths of a desktop drop, as the file system names them.
std::vector<std::string> LocalPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    for (const QUrl& url : data->urls())
        paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    return paths;
}

}  // namespace

void TMainWindow::BuildTransfers() {
    session::TTransferManager& t = main_.Transfers();
    QStyle* st = style();
    QAction* download = AddAction("SpeedButton2", tr("Download"), [&t] { t.SpeedButton2Click(); });
    download->setIcon(QIcon::fromTheme("go-previous", st->standardIcon(QStyle::SP_ArrowLeft)));
    QAction* upload = AddAction("SpeedButton1", tr("Upload"), [&t] { t.SpeedButton1Click(); });
    upload->setIcon(QIcon::fromTheme("go-next", st->standardIcon(QStyle::SP_ArrowRight)));
    for (const char* n : {"DownloadSelectedFiles1", "DownloadSelectedFiles2"})
        AddAction(n, tr("&Download Selected Files"), [&t] { t.SpeedButton2Click(); });
    for (const char* n : {"UploadSelectedFiles1", "UploadSelectedFiles2"})
        AddAction(n, tr("&Upload Selected Files"), [&t] { t.SpeedButton1Click(); });

    if (auto* bar = findChild<QToolBar*>("ToolBar1")) {
        QAction* before = Action("sbStop");
        bar->insertAction(before, download);
        bar->insertAction(before, upload);
        for (QAction* a : {download, upload}) {
            if (QWidget* w = bar->widgetForAction(a)) {
                w->setObjectName(a->objectName() + "Button");
                w->setAccessibleName(a->toolTip());
            }
        }
    }
    QMenu* menu = menuBar()->addMenu(tr("&Transfer"));
    menu->setObjectName("Transfer1");
    menu->addAction(Action("DownloadSelectedFiles1"));
    menu->addAction(Action("UploadSelectedFiles1"));
    menu->addSeparator();
    menu->addAction(Action("StopTransfer1"));
    // The second items go into the panes' own popup menus (when the window has them).
    if (auto* popup = findChild<QMenu*>("pmRemote"))
        popup->insertAction(popup->actions().value(0), Action("DownloadSelectedFiles2"));
    if (auto* popup = findChild<QMenu*>("pmLocal"))
        popup->insertAction(popup->actions().value(0), Action("UploadSelectedFiles2"));

    // Drops start their batch once the drop itself has finished: a batch may ask questions.
    TPaneItemModel& remote = ftpView_->Model();
    TPaneItemModel& local = lvLoc_->Model();
    local.SetDropHandlers(
        [&t, &remote, &local](const QMimeData* data) {
            const std::optional<TDragSource> source = SourceOf(data, remote, local);
            return source && t.lvLocDragOver(*source);
        },
        [this, &t](const QMimeData*) { QTimer::singleShot(0, this, [&t] { t.lvLocDragDrop(); }); });
    remote.SetDropHandlers(
        [&t, &remote, &local](const QMimeData* data) {
            const std::optional<TDragSource> source = SourceOf(data, remote, local);
            return source && t.FTPViewDragOver(*source);
        },
        [this, &t, &remote, &local](const QMimeData* data) {
            if (SourceOf(data, remote, local) == TDragSource::External) {
                std::vector<std::string> paths = LocalPaths(data);
                QTimer::singleShot(0, this, [&t, paths] { t.FTPViewDropFiles(paths); });
            } else {
                QTimer::singleShot(0, this, [&t] { t.FTPViewDragDrop(); });
            }
        });

    progress_ = MakeChild<TProgressController>(this, main_);
}

}  // namespace tarnwick::ui
