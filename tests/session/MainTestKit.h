// The fixture of the main window's logic, headless: T_Main on a scratch settings folder, with
// scripted dialog answers (every question asked is recorded), timers driven by hand, and the
// thread's event loop pumped until the window reaches the state a test waits for.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session/MainWindow.h"
#include "settings/ServerList.h"
#include "tests/settings/TempFolder.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/SavedServers.h"

namespace tarnwick::session::testkit {

using tarnwick::testing::PumpFor;
using tarnwick::testing::PumpUntil;

// Dialog answers given in advance; a question without a prepared answer is cancelled.
class TScriptedDialogs : public TDialogService {
  public:
    std::deque<std::optional<std::string>> inputAnswers;
    std::deque<TMsgResult> messageAnswers;
    std::deque<std::function<bool(TFTPServerInfo&)>> serverEdits;
    std::deque<std::function<bool(TFTPOptions&)>> optionEdits;
    std::deque<std::pair<TRewriteAnswer, std::string>> rewriteAnswers;
    std::deque<std::optional<int>> permissionAnswers;
    std::deque<std::string> commandPicks;
    std::deque<std::optional<TFontChoice>> fontAnswers;
    std::deque<TCertificateAnswer> certificateAnswers;
    std::deque<std::optional<std::string>> saveFileAnswers;

    std::vector<TInputQuery> inputsAsked;
    std::vector<TMessageQuery> messagesAsked;
    std::vector<std::string> rewritesAsked;
    std::vector<std::string> permissionsAsked;
    std::vector<TFontChoice> fontsAsked;
    std::vector<TTextFileView> textsViewed;
    std::vector<net::TCertificateInfo> certificatesAsked;
    std::vector<std::string> saveFilesAsked;  // the start names
    int serverDialogs = 0;
    // What the last server dialog was given besides its record.
    std::string serverFolder;
    std::vector<std::string> serverOtherNames;
    int optionDialogs = 0;
    int beeps = 0;

    std::optional<std::string> InputQuery(const TInputQuery& query) override {
        inputsAsked.push_back(query);
        return Take(inputAnswers, std::optional<std::string>{});
    }
    TMsgResult MessageBox(const TMessageQuery& query) override {
        messagesAsked.push_back(query);
        return Take(messageAnswers,
                    query.Buttons == TMsgButtons::YesNo ? TMsgResult::No : TMsgResult::Cancel);
    }
    void Beep() override { ++beeps; }
    bool EditServer(TFTPServerInfo& record, const std::string& settingsFolder,
                    const std::vector<std::string>& otherNames) override {
        ++serverDialogs;
        serverFolder = settingsFolder;
        serverOtherNames = otherNames;
        auto edit = Take(serverEdits, std::function<bool(TFTPServerInfo&)>{});
        return edit ? edit(record) : false;
    }
    bool EditOptions(TFTPOptions& options) override {
        ++optionDialogs;
        auto edit = Take(optionEdits, std::function<bool(TFTPOptions&)>{});
        return edit ? edit(options) : false;
    }
    TRewriteAnswer AskRewrite(std::string& target) override {
        rewritesAsked.push_back(target);
        auto answer = Take(rewriteAnswers, std::make_pair(TRewriteAnswer::Cancel, std::string()));
        if (answer.first == TRewriteAnswer::SaveAs) target = answer.second;
        return answer.first;
    }
    std::optional<int> EditPermissions(const std::string& attributes) override {
        permissionsAsked.push_back(attributes);
        return Take(permissionAnswers, std::optional<int>{});
    }
    std::string PickCommand(TCommandList&) override { return Take(commandPicks, std::string()); }
    std::optional<TFontChoice> ChooseFont(const TFontChoice& start) override {
        fontsAsked.push_back(start);
        return Take(fontAnswers, std::optional<TFontChoice>{});
    }
    void ViewText(const TTextFileView& view) override { textsViewed.push_back(view); }
    std::optional<std::string> ChooseSaveFile(const std::string&,
                                              const std::string& startName) override {
        saveFilesAsked.push_back(startName);
        return Take(saveFileAnswers, std::optional<std::string>{});
    }
    TCertificateAnswer AskCertificate(const net::TCertificateInfo& certificate) override {
        certificatesAsked.push_back(certificate);
        return Take(certificateAnswers, TCertificateAnswer::Cancel);
    }

  private:
    template <typename T>
    static T Take(std::deque<T>& q, T fallback) {
        if (q.empty()) return fallback;
        T v = std::move(q.front());
        q.pop_front();
        return v;
    }
};

// Timers that tick only when the test says so, on a clock the test moves.
class TManualTimers {
  public:
    class Source : public TTimerSource {
      public:
        explicit Source(TManualTimers& owner) : owner_(owner) {}
        void Start(uint32_t intervalMs, std::function<void()> onTick) override {
            intervalMs_ = intervalMs;
            onTick_ = std::move(onTick);
            running_ = true;
        }
        void Stop() override { running_ = false; }
        uint64_t NowMs() const override { return owner_.nowUs_ / 1000; }
        bool Running() const { return running_; }
        uint32_t IntervalMs() const { return intervalMs_; }
        // One tick, if the timer runs.
        void Fire() {
            if (!running_) return;
            auto tick = onTick_;
            tick();
        }

      private:
        TManualTimers& owner_;
        uint32_t intervalMs_ = 0;
        bool running_ = false;
        std::function<void()> onTick_;
    };

    TTimerFactory Factory() {
        return [this] {
            auto s = std::make_unique<Source>(*this);
            sources_.push_back(s.get());
            return s;
        };
    }
    // The first source made is the window's cTimer.
    Source& Window() { return *sources_.at(0); }
    Source& Last() { return *sources_.back(); }
    // Ticks `source` on the grid of system ticks until it stops, moving the clock.
    void RunUntilStopped(Source& source, int maxTicks = 100000) {
        for (int i = 0; i < maxTicks && source.Running(); ++i) {
            nowUs_ += RoundToSystemTicksUs(source.IntervalMs());
            source.Fire();
        }
    }

  private:
    friend class Source;
    std::vector<Source*> sources_;
    uint64_t nowUs_ = 1'000'000;
};

class MainFixture : public ::testing::Test {
  protected:
    void SaveServers(const std::vector<TFTPServerInfo>& servers) {
        ASSERT_TRUE(SaveServerList(settings.path(), servers));
    }
    void SaveOptionsFile(const TFTPOptions& options) {
        ASSERT_TRUE(tarnwick::SaveOptions(settings.path(), options));
    }

    // A record for a server on this machine.
    static TFTPServerInfo Server(const std::string& name, const std::string& port,
                                 const std::string& user = "", const std::string& password = "") {
        return tarnwick::testing::LoopbackServer(name, port, user, password);
    }

    // T_Main started as the window starts it; the timer calibration is finished by hand.
    void Create() {
        TMainEnvironment env;
        env.SettingsFolder = settings.path();
        env.Dialogs = &dialogs;
        env.Timers = timers.Factory();
        env.CloseWindow = [this] { ++closeRequests; };
        env.Opener = opener;
        main = std::make_unique<T_Main>(env);
        subscription = main->Core().Notifier.Subscribe(
            TChange::RemoteDirectory | TChange::ServerList, [this](TChange kind) {
                if (kind == TChange::RemoteDirectory)
                    ++listings;
                else
                    ++serverLists;
            });
        main->FormCreate();
        timers.RunUntilStopped(timers.Last());
    }

    TSessionCore& Core() { return main->Core(); }

    // Selects the server row of that name and double-clicks it.
    void Open(const std::string& name) {
        const int row = Core().FTPView.FindCaption(name);
        ASSERT_GE(row, 0) << name;
        main->FTPViewSelectItems({static_cast<size_t>(row)});
        main->FTPViewDblClick();
    }

    // The engine is idle and the window is not busy.
    bool Idle() {
        return Core().Ftp1.State() == ftp::esReady && !Core().State.Busy &&
               Core().ScreenCursor() == TCursor::Default;
    }
    // Waits until the session has shown one more listing than when the wait began.
    bool NextListing(int deadlineMs = 10000) {
        const int target = listings + 1;
        return PumpUntil([&] { return listings >= target && Idle(); }, deadlineMs);
    }
    bool WaitServerMode(int deadlineMs = 10000) {
        return PumpUntil([&] { return Core().State.ServerMode && Idle(); }, deadlineMs);
    }

    std::vector<std::string> LogLines() const {
        std::vector<std::string> out;
        for (size_t i = 0; i < main->Core().Log.Count(); ++i)
            out.push_back(main->Core().Log.Line(i).Text);
        return out;
    }
    bool Logged(const std::string& line) const {
        for (const std::string& l : LogLines())
            if (l == line) return true;
        return false;
    }
    std::vector<std::string> Captions(const TPaneModel& pane) const {
        std::vector<std::string> out;
        for (const TPaneRow& r : pane.Rows()) out.push_back(r.Name);
        return out;
    }

    tarnwick::testing::TempFolder settings;
    TScriptedDialogs dialogs;
    TManualTimers timers;
    std::unique_ptr<T_Main> main;
    int closeRequests = 0;
    // The program "Run" starts (xdg-open when empty).
    std::string opener;
    // Listings shown and server lists shown since the window was created.
    int listings = 0;
    int serverLists = 0;
    TStateNotifier::Subscription subscription;
};

}  // namespace tarnwick::session::testkit
