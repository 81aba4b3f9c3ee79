// The small rules of transfers and the dialog logic they use, without a server: queue
// entries, ASCII or binary by extension, the remote exists and size checks, the progress
// window's figures and animation, and the rewrite prompt's buttons.
#include <gtest/gtest.h>

#include "dialogs/ProgressForm.h"
#include "dialogs/ReWriteForm.h"
#include "session/TransferRules.h"

namespace tarnwick::session {
namespace {

using dialogs::TFReWrite;
using dialogs::TProgress;
using dialogs::TRewriteAnswer;

TEST(TransferRules, SplitQueueEntry) {
    struct Case {
        std::string entry;
        std::string path;
        int64_t size;
    };
    const Case cases[] = {
        {"/pub/a.bin\t1234", "/pub/a.bin", 1234},
        {"a.bin", "a.bin", 0},
        {"a.bin\t", "a.bin", 0},
        {"a.bin\t12x", "a.bin", 0},
        {"a.bin\t-5", "a.bin", 0},
        {"tab\tname\t77", "tab\tname", 77},  // a name holding a TAB keeps it
        {"big\t6442450944", "big", 6442450944},
    };
    for (const Case& c : cases) {
        const TQueueEntry e = SplitQueueEntry(c.entry);
        EXPECT_EQ(e.Path, c.path) << c.entry;
        EXPECT_EQ(e.Size, c.size) << c.entry;
    }
    EXPECT_EQ(SplitQueueEntry(QueueEntry("x y", int64_t{9})).Path, "x y");
}

TEST(TransferRules, AsciiOnlyForListedExtensionsInAsciiMode) {
    struct Case {
        int mode;
        const char* file;
        bool ascii;
    };
    const char* ext = "txt,htm";
    const Case cases[] = {
        {1, "/l/readme.txt", true},  {1, "/l/a.t", true},  // substring of "txt"
        {1, "/l/page.htm", true},    {1, "/l/noext", false},      {1, "/l/dir.txt/noext", false},
        {1, "/l/x.TXT", false},      {1, "/l/p.bin", false},      {1, "/l/dot.", false},
        {0, "/l/readme.txt", false}, {2, "/l/readme.txt", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WantsAscii(c.file, c.mode, ext), c.ascii) << c.mode << " " << c.file;
}

TEST(TransferRules, RemoteExistsAndSizeGoByTheFileName) {
    const std::vector<std::string> names = {"a.bin", "Read.me"};
    EXPECT_TRUE(RemoteFileExists(names, "a.bin"));
    EXPECT_TRUE(RemoteFileExists(names, "/pub/dir/a.bin"));
    EXPECT_FALSE(RemoteFileExists(names, "read.me"));  // case counts
    EXPECT_FALSE(RemoteFileExists(names, "b.bin"));

    std::vector<TPaneRow> rows(3);
    rows[0] = {kPictureDirectory, "d", "4096", "", "", ""};
    rows[1] = {kPictureFile, "f.bin", "5000", "", "", ""};
    rows[2] = {kPictureFile, "odd", "12k", "", "", ""};
    EXPECT_EQ(RemoteFileSize(rows, "/x/f.bin"), 5000);
    EXPECT_EQ(RemoteFileSize(rows, "d"), -1);  // directories do not count
    EXPECT_EQ(RemoteFileSize(rows, "odd"), -1);
    EXPECT_EQ(RemoteFileSize(rows, "none"), -1);
}

// A progress window on a clock the test moves.
struct ProgressClock {
    uint64_t now = 50000;
    TProgress Make() {
        return TProgress([this] { return now; });
    }
};

TEST(Progress, RatesAndTimes) {
    struct Case {
        int64_t bytes;
        uint64_t ms;
        const char* rate;
        const char* time;
        const char* left;
    };
    // A file of 100000 bytes.
    const Case cases[] = {
        {2100, 2000, "1.050 K/sec", " 0:00:02", " 0:01:33"},
        {999, 1000, "0.999 K/sec", " 0:00:01", " 0:01:39"},
        {4000, 2500, "2.000 K/sec", " 0:00:02", " 0:00:48"},
        {5000, 999, "0.000 K/sec", " 0:00:00", " 0:00:00"},  // the first second
        {0, 5000, "0.000 K/sec", " 0:00:05", " 0:00:00"},
        {100, 3723000, "0.000 K/sec", " 1:02:03", " 0:00:00"},  // under 1 B/s
    };
    for (const Case& c : cases) {
        ProgressClock clock;
        TProgress p = clock.Make();
        p.StartFile("/l/f.bin", 100000, false);
        clock.now += c.ms;
        p.UpdateProgress(c.bytes);
        EXPECT_EQ(p.TransferRateLbl(), c.rate) << c.bytes << "/" << c.ms;
        EXPECT_EQ(p.TimeLbl(), c.time) << c.bytes << "/" << c.ms;
        EXPECT_EQ(p.TimeLeftLbl(), c.left) << c.bytes << "/" << c.ms;
        EXPECT_EQ(p.TransferLbl(), std::to_string(c.bytes));
    }
    EXPECT_EQ(TProgress::FormatTime(360000), "100:00:00");
}

TEST(Progress, CaptionsTotalsAndCountsAfterTheFile) {
    ProgressClock clock;
    TProgress p = clock.Make();
    EXPECT_EQ(p.Caption(), "Progress");
    p.StartFile("/home/u/dir/a.bin", 6442450944, true);
    EXPECT_EQ(p.Caption(), "Sending   a.bin (6442450944 bytes)");
    clock.now += 2000;
    p.UpdateProgress(5000000000);  // past 4 GiB
    EXPECT_EQ(p.TransferLbl(), "5000000000");
    EXPECT_EQ(p.ProgressPosition(), 5000000000);
    EXPECT_EQ(p.TransferRateLbl(), "2500000.000 K/sec");
    p.UpdateProgress(6442450944);
    p.FileDone();
    EXPECT_EQ(p.ProgressPosition(), 0);
    p.UpdateProgress(10);  // after the file: ignored
    EXPECT_EQ(p.TransferLbl(), "6442450944");
    EXPECT_EQ(p.TotTransferLbl(), "6442450944");

    p.StartFile("b", 0, false);
    EXPECT_EQ(p.Caption(), "Receiving b (0 bytes)");
    p.FileDone();  // a file without a byte count adds nothing
    p.StartFile("c", 10, false);
    clock.now += 1000;
    p.UpdateProgress(10);
    EXPECT_EQ(p.TotTransferLbl(), "6442450954");
    EXPECT_EQ(p.TotTimeLbl(), " 0:00:03");
}

TEST(Progress, TheAnimationMovesByDirection) {
    ProgressClock clock;
    TProgress p = clock.Make();
    p.StartFile("r", 100, false);
    EXPECT_EQ(p.Frame(), 0);
    p.UpdateProgress(1);
    EXPECT_EQ(p.Frame(), 20);  // receiving wraps to 20 at once
    p.UpdateProgress(2);
    EXPECT_EQ(p.Frame(), 19);
    p.StartFile("s", 100, true);
    for (int i = 0; i < 2; ++i) p.UpdateProgress(3 + i);
    EXPECT_EQ(p.Frame(), 1);  // 19 -> 20 wraps to 0, then 1
    struct Case {
        int updates;
        int x;
        int y;
    };
    // In a 200 x 40 box, while sending from frame 1.
    const Case cases[] = {{0, 10, 0},  {1, 20, 10},   {2, 30, 20},
                          {3, 40, 10}, {18, 190, 20}, {19, 0, 10}};
    for (const Case& c : cases) {
        TProgress q = clock.Make();
        q.StartFile("s", 100, true);
        for (int i = 0; i <= c.updates; ++i) q.UpdateProgress(i + 1);
        const dialogs::TPicturePlace at = q.PicturePlace(200, 40);
        EXPECT_EQ(at.X, c.x) << c.updates;
        EXPECT_EQ(at.Y, c.y) << c.updates;
    }
}

TEST(Progress, CancelRunsTheOwnersAction) {
    int cancels = 0;
    auto p = std::make_unique<TProgress>();
    p->OnCancel = [&] {
        ++cancels;
        p.reset();  // the owner releases the window from its handler
    };
    p->CancelBtnClick();
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(p, nullptr);
}

TEST(RewritePrompt, ButtonsTextsAndSaveAs) {
    std::vector<std::string> captions;
    for (const auto& b : dialogs::kRewriteButtons) {
        EXPECT_EQ(static_cast<int>(b.Answer), static_cast<int>(captions.size()));
        captions.push_back(b.Caption);
    }
    EXPECT_EQ(captions, (std::vector<std::string>{"Resume", "Overwrite", "All", "Skip", "Save as",
                                                  "Cancel"}));
    TFReWrite form("/l/a.bin");
    EXPECT_EQ(form.Lines(), (std::vector<std::string>{"File is already exist !", "/l/a.bin"}));

    std::vector<dialogs::TInputQuery> asked;
    std::optional<std::string> typed;
    auto ask = [&](const dialogs::TInputQuery& q) {
        asked.push_back(q);
        return typed;
    };
    EXPECT_FALSE(form.Press(TRewriteAnswer::SaveAs, ask));  // input cancelled: stays open
    typed = "";
    EXPECT_FALSE(form.Press(TRewriteAnswer::SaveAs, ask));  // no path: stays open
    typed = "/l/b.bin";
    EXPECT_TRUE(form.Press(TRewriteAnswer::SaveAs, ask));
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].Caption, "Save as ...");
    EXPECT_EQ(asked[0].Prompt, "New Path");
    EXPECT_EQ(asked[0].Value, "/l/a.bin");
    EXPECT_EQ(form.Answer(), TRewriteAnswer::SaveAs);
    EXPECT_EQ(form.Target(), "/l/b.bin");

    TFReWrite other("/l/c");
    other.Close();
    EXPECT_EQ(other.Answer(), TRewriteAnswer::Cancel);
    TFReWrite skip("/l/d");
    EXPECT_TRUE(skip.Press(TRewriteAnswer::Skip, {}));
    EXPECT_EQ(skip.Answer(), TRewriteAnswer::Skip);
}

}  // namespace
}  // namespace tarnwick::session
