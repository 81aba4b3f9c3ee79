#include "app/DemoWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QSocketNotifier>
#include <QTimer>
#include <iostream>
#include <memory>

#include "ui/QtOwnership.h"
#include "ui/WindowReady.h"

namespace tarnwick::demo {
namespace {

constexpr int kListingDeadlineMs = 30000;
constexpr int kPollMs = 50;

}  // namespace

void CloseOnSignals(ui::TMainWindow& window, const TTerminationSignals& termination) {
    if (termination.Fd() < 0) return;
    auto* notifier =
        ui::MakeChild<QSocketNotifier>(&window, termination.Fd(), QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, notifier] {
        notifier->setEnabled(false);
        window.close();
        QApplication::quit();
    });
}

void ScreenshotWhenListed(ui::TMainWindow& window, const std::string& server, const QString& file,
                          int& status) {
    status = 1;
    session::T_Main& main = window.Main();
    ui::WhenWindowReady(window, [&window, &main, server, file, &status] {
        session::TSessionCore& core = main.Core();
        const int row = core.FTPView.FindCaption(server);
        if (row < 0) {
            std::cerr << "tarnwick --screenshot: no saved server \"" << server << "\"\n";
            window.close();
            return;
        }
        core.FTPView.SetSelection({static_cast<size_t>(row)});
        main.sbConnectClick();
        auto* poll = ui::MakeChild<QTimer>(&window);
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        QObject::connect(
            poll, &QTimer::timeout, &window, [&window, &core, poll, clock, file, &status] {
                const bool listed =
                    !core.State.ServerMode && !core.State.Busy && core.FTPView.RowCount() > 0;
                if (!listed && clock->elapsed() < kListingDeadlineMs) return;
                poll->stop();
                if (!listed) {
                    std::cerr << "tarnwick --screenshot: the server was not listed in time\n";
                    window.close();
                    return;
                }
                // One more turn of the loop, so that the rows are painted before the grab.
                QTimer::singleShot(kPollMs, &window, [&window, file, &status] {
                    if (window.grab().save(file, "PNG"))
                        status = 0;
                    else
                        std::cerr << "tarnwick --screenshot: cannot write " << file.toStdString()
                                  << "\n";
                    window.close();
                });
            });
        poll->start(kPollMs);
    });
}

}  // namespace tarnwick::demo
