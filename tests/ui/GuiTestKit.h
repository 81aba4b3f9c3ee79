// The fixture of the GUI tests: the real main window on a scratch settings folder, driven
// through Qt Test on the offscreen platform, with the platform loop under Qt as in the
// program.
#pragma once

#include <QAbstractItemView>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "session/MainWindow.h"
#include "settings/ServerList.h"
#include "tests/settings/TempFolder.h"
#include "ui/MainWindow.h"
#include "ui/QtDialogService.h"
#include "ui/QtLoopDriver.h"

namespace tarnwick::ui::testkit {

inline constexpr int kGuiDeadlineMs = 15000;

// A drag over a pane's view and a drop on it, as the platform delivers them; true when the
// view took the drop.
inline bool DragAndDrop(TPaneWidget& target, const QMimeData& data) {
    QWidget* viewport = target.CurrentView().viewport();
    const QPoint at = viewport->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    if (!move.isAccepted()) return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    return drop.isAccepted();
}

// The drag a pane starts for its selection.
inline std::unique_ptr<QMimeData> DragFrom(TPaneWidget& source, int row) {
    return std::unique_ptr<QMimeData>(source.Model().mimeData({source.Model().index(row, 0)}));
}

class TGuiWindow {
  public:
    explicit TGuiWindow(const std::vector<TFTPServerInfo>& servers) {
        if (!servers.empty()) SaveServerList(settings.path(), servers);
        session::TMainEnvironment env;
        env.SettingsFolder = settings.path();
        env.Dialogs = &dialogs;
        env.CloseWindow = [this] {
            if (window) window->close();
        };
        main = std::make_unique<session::T_Main>(env);
        window = std::make_unique<TMainWindow>(*main);
        dialogs.SetOwner(window.get());
        main->FormCreate();
        window->show();
        exposed = QTest::qWaitForWindowExposed(window.get());
    }
    ~TGuiWindow() {
        window.reset();
        main.reset();
    }

    session::TSessionCore& Core() { return main->Core(); }

    // The centre of a row's name cell in the view a pane shows now.
    QPoint RowCentre(TPaneWidget& pane, int row) {
        QAbstractItemView& view = pane.CurrentView();
        return view.visualRect(pane.Model().index(row, 0)).center();
    }
    void DoubleClickRow(TPaneWidget& pane, int row) {
        QAbstractItemView& view = pane.CurrentView();
        const QPoint at = RowCentre(pane, row);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    std::vector<std::string> Captions(const session::TPaneModel& pane) const {
        std::vector<std::string> out;
        for (const TPaneRow& r : pane.Rows()) out.push_back(r.Name);
        return out;
    }
    int Row(const session::TPaneModel& pane, const std::string& caption) const {
        return pane.FindCaption(caption);
    }

    bool exposed = false;
    testing::TempFolder settings;
    TQtLoopDriver driver;
    TQtDialogService dialogs;
    std::unique_ptr<session::T_Main> main;
    std::unique_ptr<TMainWindow> window;
};

}  // namespace tarnwick::ui::testkit
