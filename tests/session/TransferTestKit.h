// The fixture of the transfer tests: the headless window connected to pyftpdlib, the local
// pane on a scratch folder of its own, and helpers that select rows, run a batch to its end
// and read what arrived on either side.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "settings/Options.h"
#include "tests/session/MainTestKit.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::session::testkit {

inline constexpr int kBatchDeadlineMs = 60000;
inline constexpr const char* kStartingTransfer = "Starting transfer of ";

// Public, so that the cases of a table can prepare both sides.
class TransferFixture : public MainFixture {
  public:
    void SetUp() override { ASSERT_TRUE(ftpd.Running()) << ftpd.Failure(); }

    // Opens the pyftpdlib server with these preferences; the local pane shows `local`.
    void Connect(const TFTPOptions& options = DefaultOptions()) {
        SaveOptionsFile(options);
        SaveServers({Server("ftpd", ftpd.PortText(), ftpd.User(), ftpd.Password())});
        Create();
        ASSERT_TRUE(Core().Local.SetDirectory(local.path()));
        Open("ftpd");
        ASSERT_TRUE(NextListing()) << ftpd.Log();
    }
    // Connected with the rewrite prompt off for both directions.
    void ConnectWithoutPrompt(int defPrompt) {
        TFTPOptions o = DefaultOptions();
        o.PromptDownLoad = false;
        o.PromptUpLoad = false;
        o.DefPrompt = defPrompt;
        Connect(o);
    }

    void Select(TPaneModel& pane, const std::vector<std::string>& names) {
        std::vector<size_t> rows;
        for (const std::string& n : names) {
            const int row = pane.FindCaption(n);
            ASSERT_GE(row, 0) << n << " is not in " << pane.Name();
            rows.push_back(static_cast<size_t>(row));
        }
        if (&pane == &Core().FTPView)
            main->FTPViewSelectItems(rows);
        else
            main->lvLocSelectItems(rows);
    }
    // The batch has ended: nothing busy, the engine ready, the progress window gone.
    bool WaitBatch(int deadlineMs = kBatchDeadlineMs) {
        return PumpUntil([&] { return Idle() && main->Transfers().Progress() == nullptr; },
                         deadlineMs);
    }
    // Downloads (uploads) these rows of the remote (local) pane and waits for the batch.
    bool Download(const std::vector<std::string>& names, int deadlineMs = kBatchDeadlineMs) {
        Select(Core().FTPView, names);
        main->Transfers().SpeedButton2Click();
        return WaitBatch(deadlineMs);
    }
    bool Upload(const std::vector<std::string>& names, int deadlineMs = kBatchDeadlineMs) {
        Core().Local.dlbxChange();
        Select(Core().lvLoc, names);
        main->Transfers().SpeedButton1Click();
        return WaitBatch(deadlineMs);
    }

    // The file names of "Starting transfer of" lines, in order.
    std::vector<std::string> Started() const {
        std::vector<std::string> out;
        const std::string prefix = kStartingTransfer;
        for (const std::string& l : LogLines())
            if (l.starts_with(prefix)) out.push_back(l.substr(prefix.size()));
        return out;
    }
    // Whether a log line contains `text`.
    bool LogHas(const std::string& text) const {
        for (const std::string& l : LogLines())
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

    std::string LocalPath(const std::string& relative) const {
        return local.path() + "/" + relative;
    }
    void WriteLocal(const std::string& relative, const std::string& bytes) const {
        std::filesystem::create_directories(
            std::filesystem::path(LocalPath(relative)).parent_path());
        tarnwick::testing::WriteBytes(LocalPath(relative), bytes);
    }
    std::string ReadLocal(const std::string& relative) const {
        return tarnwick::testing::ReadBytes(LocalPath(relative));
    }
    bool LocalExists(const std::string& relative) const {
        struct stat st {};
        return ::lstat(LocalPath(relative).c_str(), &st) == 0;
    }
    void MakeRemoteFolder(const std::string& relative) const {
        std::filesystem::create_directories(ftpd.Root() + "/" + relative);
    }

    tarnwick::testing::PyFtpdServer ftpd;
    tarnwick::testing::TempFolder local;
};

}  // namespace tarnwick::session::testkit
