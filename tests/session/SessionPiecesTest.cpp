// The small pieces of the main window's logic: address normalisation, the text shown for a
// name, the window timer's ticks and calibration, the bounded log, the pane's selection.
#include <gtest/gtest.h>

#include "session/DisplayText.h"
#include "session/LogModel.h"
#include "session/PaneModel.h"
#include "session/ServerAddress.h"
#include "session/SessionLog.h"
#include "session/WindowTimer.h"
#include "tests/session/MainTestKit.h"

namespace tarnwick::session {
namespace {

TEST(NormalizeServerAddress, TakesTheUrlApart) {
    struct Case {
        const char* server;
        const char* host;
        const char* port;
        const char* user;
        const char* password;
        const char* dir;
    };
    const Case cases[] = {
        {"  FTP://user:pw@127.0.0.1:2121/pub  ", "127.0.0.1", "2121", "user", "pw", "/pub"},
        {"ftp.example.org", "ftp.example.org", "21", "", "", ""},
        {"http://host/a/b", "host", "21", "", "", "/a/b"},
        {"ftp://http://host", "host", "21", "", "", ""},
        {"anna@host:21", "host", "21", "anna", "", ""},
        {"a b@h o s t", "host", "21", "ab", "", ""},
        {"u:p:q@host/x:y", "host", "21", "u", "p:q", "/x:y"},
        {"host:2121", "host", "2121", "", "", ""},
    };
    for (const Case& c : cases) {
        TFTPServerInfo s = NewServerInfo();
        s.Server = c.server;
        s.User.clear();
        NormalizeServerAddress(s);
        EXPECT_EQ(s.Server, c.host) << c.server;
        EXPECT_EQ(s.Port, c.port) << c.server;
        EXPECT_EQ(s.User, c.user) << c.server;
        EXPECT_EQ(s.Password, c.password) << c.server;
        EXPECT_EQ(s.InitialDir, c.dir) << c.server;
    }
    TFTPServerInfo longDir;
    longDir.Server = "host/" + std::string(400, 'd');
    NormalizeServerAddress(longDir);
    EXPECT_EQ(longDir.InitialDir.size(), kMaxInitialDir);
}

TEST(AddSlash, AppendsOnlyWhenMissing) {
    EXPECT_EQ(AddSlash(""), "/");
    EXPECT_EQ(AddSlash("/pub"), "/pub/");
    EXPECT_EQ(AddSlash("/pub/"), "/pub/");
    EXPECT_EQ(AddBackslash("/home/u"), "/home/u/");
}

TEST(DisplayText, ShowsUtf8OrWindows1252AndNeverControls) {
    struct Case {
        std::string bytes;
        std::string shown;
    };
    const Case cases[] = {
        {"plain.txt", "plain.txt"},
        {"\xC3\xA6"
         "ble.txt",
         "\xC3\xA6"
         "ble.txt"},                 // UTF-8 kept
        {"caf\xE9", "caf\xC3\xA9"},  // Windows-1252 é
        {"\x80uro",
         "\xE2\x82\xAC"
         "uro"},                             // Windows-1252 €
        {"a\x1b[2Jb", "a\xE2\x90\x9B[2Jb"},  // ESC shown as a picture
        {"tab\there", "tab\xE2\x90\x89here"},
        {"del\x7f", "del\xE2\x90\xA1"},
        {"x\xE2\x80\xAEtxt.exe", "x\xEF\xBF\xBDtxt.exe"},  // bidi override
        {"c1\xC2\x9B", "c1\xEF\xBF\xBD"},                  // CSI as UTF-8 C1
        {std::string("nul\0", 4), "nul\xE2\x90\x80"},
    };
    for (const Case& c : cases) EXPECT_EQ(DisplayText(c.bytes), c.shown) << c.bytes;
}

TEST(DisplayText, EditsGoBackInTheNamesEncoding) {
    EXPECT_EQ(BytesFromEdit("caf\xE9", DisplayText("caf\xE9")), "caf\xE9");
    EXPECT_EQ(BytesFromEdit("caf\xE9", "CAF\xC3\x89"), "CAF\xC9");        // still Windows-1252
    EXPECT_EQ(BytesFromEdit("caf\xE9", "\xE6\x97\xA5"), "\xE6\x97\xA5");  // not in 1252: UTF-8
    EXPECT_EQ(BytesFromEdit("a\x01"
                            "b",
                            DisplayText("a\x01"
                                        "b")),
              "a\x01"
              "b");
    EXPECT_EQ(BytesFromEdit("abc", "abd"), "abd");
}

TEST(WindowTimer, TicksOnWholeSystemTicks) {
    EXPECT_EQ(RoundToSystemTicksUs(0), kSystemTickUs);
    EXPECT_EQ(RoundToSystemTicksUs(1), kSystemTickUs);
    EXPECT_EQ(RoundToSystemTicksUs(16), 2 * kSystemTickUs);
    EXPECT_EQ(RoundToSystemTicksUs(1500), 1500000u);  // 96 ticks exactly
    EXPECT_EQ(TTimerCalibration::PeriodFromCount(3 * 64), 15);
    EXPECT_EQ(TTimerCalibration::PeriodFromCount(3 * 63), 15);
    EXPECT_EQ(TTimerCalibration::PeriodFromCount(5), 1000);
}

TEST(WindowTimer, CalibrationFindsFifteenOnTheTickGrid) {
    testkit::TManualTimers timers;
    int period = -1;
    TTimerCalibration calibration(timers.Factory()(), [&](int p) { period = p; });
    calibration.Start();
    timers.RunUntilStopped(timers.Last());
    EXPECT_FALSE(calibration.Running());
    EXPECT_EQ(period, 15);
}

TEST(WindowTimer, LoopTimerTicksOnTheGrid) {
    TWindowTimer timer(std::make_unique<TLoopTimerSource>());
    int ticks = 0;
    timer.OnTimer = [&] { ++ticks; };
    timer.SetInterval(1);
    timer.SetEnabled(true);
    const uint64_t start = platform::GetTickCount();
    testkit::PumpUntil([&] { return ticks >= 16; }, 3000);
    const uint64_t elapsed = platform::GetTickCount() - start;
    timer.SetEnabled(false);
    // 16 ticks of 15.625 ms: about 250 ms, never the 16 ms a 1 ms timer would take.
    EXPECT_GE(elapsed, 230u);
    testkit::PumpFor(50);
    const int stopped = ticks;
    testkit::PumpFor(50);
    EXPECT_EQ(ticks, stopped);
}

TEST(LogModel, KeepsABoundedNumberOfLinesAndTheirKinds) {
    TLogModel log(3);
    for (const char* l : {"> USER a", "< 331 ok", "! 5 bytes received", "Error 550 x", "Hi"})
        log.Append(l);
    ASSERT_EQ(log.Count(), 3u);
    EXPECT_EQ(log.Line(0).Text, "! 5 bytes received");
    EXPECT_EQ(log.Line(0).Kind, TLogKind::Notice);
    EXPECT_EQ(log.Line(1).Kind, TLogKind::Error);
    EXPECT_EQ(log.Line(2).Kind, TLogKind::Session);
    EXPECT_EQ(log.TotalAppended(), 5u);
    EXPECT_EQ(ClassifyLogLine("> PASS ****"), TLogKind::Command);
    EXPECT_EQ(ClassifyLogLine("< 230 in"), TLogKind::Reply);
}

TEST(SessionLog, MasksEveryLineHoldingAPassword) {
    EXPECT_EQ(MaskedDisplayLine("> PASS hunter2"), "> PASS ****");
    EXPECT_EQ(MaskedDisplayLine("< 530 PASS hunter2 rejected"), "> PASS ****");
    EXPECT_EQ(MaskedDisplayLine("> USER anna"), "> USER anna");
}

TEST(PaneModel, SelectionAndResortTellTheirRanges) {
    struct Recorder : TPaneObserver {
        std::vector<std::string> events;
        void PaneReset() override { events.push_back("reset"); }
        void SelectionChanged(size_t f, size_t l) override {
            events.push_back("sel " + std::to_string(f) + "-" + std::to_string(l));
        }
        void RowsChanged(size_t f, size_t l) override {
            events.push_back("rows " + std::to_string(f) + "-" + std::to_string(l));
        }
    } rec;
    TPaneModel pane("FTPView", true);
    pane.AddObserver(&rec);
    pane.SetRows({{1, "b", "10", "", "", ""}, {0, "d", "", "", "", ""}, {1, "a", "5", "", "", ""}});
    pane.Select(2, true);
    pane.Select(2, true);  // no change, no event
    EXPECT_EQ(pane.SelectedIndex(), 2);
    pane.SetRow(0, {1, "c", "10", "", "", ""});
    pane.Resort();
    EXPECT_EQ(pane.Row(0).Name, "d");  // directories first
    EXPECT_EQ(pane.Row(1).Name, "a");
    EXPECT_EQ(pane.SelectedCount(), 0u);
    EXPECT_EQ(rec.events, (std::vector<std::string>{"reset", "sel 2-2", "rows 0-0", "reset"}));
    pane.RemoveObserver(&rec);
}

}  // namespace
}  // namespace tarnwick::session
