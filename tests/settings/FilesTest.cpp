// Saving never loses the old file; reading bad files never fails hard.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>

#include "TempFolder.h"
#include "settings/AtomicFile.h"
#include "settings/Commands.h"
#include "settings/HostTypes.h"
#include "settings/Options.h"
#include "settings/ServerList.h"
#include "settings/SettingsFolder.h"

namespace tarnwick {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
namespace fs = std::filesystem;

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

size_t EntriesIn(const std::string& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

// Each settings file's save, as the Parts call it.
struct Saver {
    const char* file;
    std::function<bool(const std::string&)> save;
    unsigned mode;
};

std::vector<Saver> AllSavers() {
    return {
        {"ftplist.TXT", [](auto& f) { return SaveServerList(f, {NewServerInfo()}); }, 0600},
        {"options.ftp", [](auto& f) { return SaveOptions(f, DefaultOptions()); }, 0600},
        {"Answer.txt", [](auto& f) { return SaveHostTypes(f, LoadHostTypes(f)); }, 0644},
        {"commands.txt",
         [](auto& f) {
             return SaveCommands(f, {{"a"}, {"b"}});
         },
         0644},
    };
}

TEST(Files, SaveCreatesFolderAndSetsModes) {
    TempFolder root;
    const std::string folder = root.file("a/b/tarnwick");
    for (const Saver& saver : AllSavers()) {
        SCOPED_TRACE(saver.file);
        ASSERT_TRUE(saver.save(folder));
        EXPECT_EQ(ModeOf(JoinPath(folder, saver.file)), saver.mode);
    }
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_EQ(EntriesIn(folder), 4u);  // no temporary files left behind
}

TEST(Files, PasswordFileBecomesPrivateOnRewrite) {
    TempFolder folder;
    WriteBytes(folder.file("ftplist.TXT"), "Name=old\r\n");
    ::chmod(folder.file("ftplist.TXT").c_str(), 0644);
    ASSERT_TRUE(SaveServerList(folder.path(), {}));
    EXPECT_EQ(ModeOf(folder.file("ftplist.TXT")), 0600u);
    EXPECT_EQ(ReadBytes(folder.file("ftplist.TXT")), "");
}

TEST(Files, FailedSaveReportsAndKeepsOldFile) {
    for (const Saver& saver : AllSavers()) {
        SCOPED_TRACE(saver.file);
        // A folder in the file's place cannot be renamed over.
        TempFolder folder;
        const std::string target = folder.file(saver.file);
        fs::create_directory(target);
        WriteBytes(target + "/inside", "keep");
        EXPECT_FALSE(saver.save(folder.path()));
        EXPECT_EQ(ReadBytes(target + "/inside"), "keep");
        EXPECT_EQ(EntriesIn(folder.path()), 1u);

        // A settings folder that cannot be created.
        WriteBytes(folder.file("plain"), "x");
        EXPECT_FALSE(saver.save(folder.file("plain/sub")));
    }
}

TEST(Files, ReadOnlyFolderKeepsOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    TempFolder folder;
    const std::string old = "Name=old;\r\n";
    WriteBytes(folder.file("ftplist.TXT"), old);
    ::chmod(folder.path().c_str(), 0555);
    EXPECT_FALSE(SaveServerList(folder.path(), {NewServerInfo()}));
    ::chmod(folder.path().c_str(), 0755);
    EXPECT_EQ(ReadBytes(folder.file("ftplist.TXT")), old);
    EXPECT_EQ(EntriesIn(folder.path()), 1u);
}

TEST(Files, SymlinkedFileIsUpdatedAtItsTarget) {
    TempFolder folder;
    fs::create_directory(folder.file("real"));
    WriteBytes(folder.file("real/commands.txt"), "old\r\nold\r\n");
    fs::create_symlink(folder.file("real/commands.txt"), folder.file("commands.txt"));
    ASSERT_TRUE(SaveCommands(folder.path(), {{"l"}, {"c"}}));
    EXPECT_TRUE(fs::is_symlink(folder.file("commands.txt")));
    EXPECT_EQ(ReadBytes(folder.file("real/commands.txt")), "l\r\nc\r\n");
}

TEST(Files, UnreadableFilesGiveDefaultsAndAreNotReplaced) {
    TempFolder folder;
    for (const char* name : {"ftplist.TXT", "options.ftp", "Answer.txt", "commands.txt"}) {
        fs::create_directory(folder.file(name));
    }
    ASSERT_EQ(::mkfifo(folder.file("fifo").c_str(), 0600), 0);
    std::string text;
    EXPECT_EQ(ReadTextFile(folder.file("fifo"), text), ReadStatus::kUnreadable);

    std::vector<TFTPServerInfo> servers{NewServerInfo()};
    EXPECT_EQ(LoadServerList(folder.path(), servers), ReadStatus::kUnreadable);
    EXPECT_EQ(servers.size(), 1u);
    ReadStatus status = ReadStatus::kOk;
    EXPECT_EQ(LoadOptions(folder.path(), &status).TimeOut, 15);
    EXPECT_EQ(status, ReadStatus::kUnreadable);
    EXPECT_FALSE(SaveOptions(folder.path(), DefaultOptions()));
    EXPECT_EQ(LoadHostTypes(folder.path()).Names, std::vector<std::string>{"Default"});
    EXPECT_TRUE(LoadCommands(folder.path()).Labels.empty());
}

// A settings file that exists but cannot be read is never saved over: the save is
// refused and the file keeps what it holds.
TEST(Files, UnreadableFileIsNeverSavedOver) {
    // Past the size the reader accepts; sparse, so it takes no room.
    constexpr off_t kOversized = off_t{257} * 1024 * 1024;
    constexpr uid_t kNobody = 65534;
    const struct {
        const char* kind;
        std::function<void(const std::string&)> make;
        bool asOtherUser;  // no read permission: root would read it anyway
    } unreadable[] = {
        {"fifo", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, false},
        {"oversized",
         [&](const std::string& p) {
             WriteBytes(p, "keep");
             ASSERT_EQ(::truncate(p.c_str(), kOversized), 0);
         },
         false},
        {"no permission",
         [](const std::string& p) {
             WriteBytes(p, "keep");
             ASSERT_EQ(::chmod(p.c_str(), 0), 0);
         },
         true},
    };
    for (const Saver& saver : AllSavers()) {
        for (const auto& u : unreadable) {
            SCOPED_TRACE(std::string(saver.file) + ", " + u.kind);
            TempFolder folder;
            const std::string target = folder.file(saver.file);
            u.make(target);
            const struct stat before = [&] {
                struct stat st {};
                ::lstat(target.c_str(), &st);
                return st;
            }();
            if (u.asOtherUser) {
                // The save runs in a child that cannot read the file, but may write the folder.
                ::chmod(folder.path().c_str(), 0777);
                EXPECT_EXIT(
                    {
                        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
                            std::_Exit(2);
                        std::_Exit(saver.save(folder.path()) ? 1 : 0);
                    },
                    ::testing::ExitedWithCode(0), "");
            } else {
                EXPECT_FALSE(saver.save(folder.path()));
            }
            struct stat after {};
            ASSERT_EQ(::lstat(target.c_str(), &after), 0);
            EXPECT_EQ(after.st_ino, before.st_ino);
            EXPECT_EQ(after.st_size, before.st_size);
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(EntriesIn(folder.path()), 1u);  // no temporary file left behind
        }
    }
}

TEST(Files, BinaryGarbageNeverFailsHard) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 20; ++round) {
        std::string junk(4096, '\0');
        for (char& c : junk) c = static_cast<char>(random() & 0xFF);
        TempFolder folder;
        for (const char* name : {"ftplist.TXT", "options.ftp", "Answer.txt", "commands.txt"}) {
            WriteBytes(folder.file(name), junk);
        }
        std::vector<TFTPServerInfo> servers;
        EXPECT_EQ(LoadServerList(folder.path(), servers), ReadStatus::kOk);
        EXPECT_FALSE(servers.empty());
        TFTPOptions options = LoadOptions(folder.path());
        THostTypes types = LoadHostTypes(folder.path());
        EXPECT_EQ(types.Answers.at(0), "0957681");
        EXPECT_EQ(types.Names.size(), types.Answers.size());
        TCommandList commands = LoadCommands(folder.path());
        EXPECT_EQ(commands.Labels.size(), commands.Commands.size());
        // What was read saves and reads back the same.
        ASSERT_TRUE(SaveOptions(folder.path(), options));
        EXPECT_EQ(LoadOptions(folder.path()), options);
        ASSERT_TRUE(SaveServerList(folder.path(), servers));
        std::vector<TFTPServerInfo> again;
        LoadServerList(folder.path(), again);
        EXPECT_EQ(ServerLines(again), ServerLines(servers));
    }
}

class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

struct FolderCase {
    std::optional<std::string> own, xdg;
    std::string expected;
};

TEST(Files, SettingsFolderResolution) {
    ScopedEnv home("HOME", "/home/u");
    const FolderCase cases[] = {
        {"/cfg/tw", "/xdg", "/cfg/tw"},
        {"", "/xdg", "/xdg/tarnwick"},
        {std::nullopt, "/xdg/", "/xdg/tarnwick"},
        {std::nullopt, "relative", "/home/u/.config/tarnwick"},
        {std::nullopt, std::nullopt, "/home/u/.config/tarnwick"},
    };
    for (const FolderCase& c : cases) {
        ScopedEnv own("TARNWICK_HOME", c.own);
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        EXPECT_EQ(SettingsFolder(), c.expected);
    }
}

}  // namespace
}  // namespace tarnwick
