// tarnwick-cli ls, get and put against real servers (pyftpdlib and vsftpd), passive and
// active: byte-identical round trips, resumes, parsed listings and the failures a user
// sees.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/Cli.h"
#include "tests/settings/TempFolder.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/VsftpdServer.h"

namespace tarnwick::cli {
namespace {

using tarnwick::testing::RandomBytes;

using tarnwick::testing::ReadBytes;
using tarnwick::testing::TempFolder;
using tarnwick::testing::WriteBytes;

using tarnwick::testing::PyFtpdServer;
using tarnwick::testing::VsftpdServer;

// The URL of the served root: pyftpdlib with its named user, vsftpd with the anonymous
// login the client makes when the URL names no user.
std::string RootUrl(const PyFtpdServer& server) {
    return "ftp://" + server.User() + ":" + server.Password() + "@127.0.0.1:" + server.PortText() +
           "/";
}
std::string RootUrl(const VsftpdServer& server) {
    return "ftp://127.0.0.1:" + server.PortText() + "/";
}

// Every test works below "pub", the folder vsftpd lets anonymous sessions write to.
constexpr const char* kWorkDir = "pub/";

template <class Server>
class CliServers : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.Running()) << server.Failure();
        std::filesystem::create_directories(server.Root() + "/" + kWorkDir);
    }

    // Runs tarnwick-cli with the mode's option first.
    int Cli(const std::string& mode, std::vector<std::string> args) {
        args.insert(args.begin(), mode);
        out.str("");
        err.str("");
        return RunCli(args, out, err);
    }

    // The URL of a path below the work folder, and that path on the server's disk.
    std::string Url(const std::string& path) const { return RootUrl(server) + kWorkDir + path; }
    static std::string Remote(const std::string& path) { return kWorkDir + path; }
    std::string Local(const std::string& name) const { return local.file(name); }

    Server server;
    TempFolder local;
    std::ostringstream out;
    std::ostringstream err;
};

const char* const kModes[] = {"--passive", "--active"};

// TMPDIR names another folder while it lives.
class ScopedTmpdir {
  public:
    explicit ScopedTmpdir(const std::string& folder) {
        if (const char* old = std::getenv("TMPDIR")) old_ = old;
        ::setenv("TMPDIR", folder.c_str(), 1);
    }
    ~ScopedTmpdir() {
        if (old_) {
            ::setenv("TMPDIR", old_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }
    ScopedTmpdir(const ScopedTmpdir&) = delete;
    ScopedTmpdir& operator=(const ScopedTmpdir&) = delete;

  private:
    std::optional<std::string> old_;
};

using Servers = ::testing::Types<PyFtpdServer, VsftpdServer>;
TYPED_TEST_SUITE(CliServers, Servers);

TYPED_TEST(CliServers, FilesRoundTripByteIdentical) {
    const std::size_t sizes[] = {0, 1, 1514, 2048, 10 << 20};
    for (const char* mode : kModes) {
        for (std::size_t size : sizes) {
            SCOPED_TRACE(std::string(mode) + " " + std::to_string(size));
            const std::string bytes = RandomBytes(size, static_cast<unsigned>(size));
            const std::string name = std::string(mode + 2) + std::to_string(size);
            WriteBytes(this->Local(name), bytes);
            ASSERT_EQ(this->Cli(mode, {"put", this->Local(name), this->Url(name)}), kExitOk)
                << this->err.str();
            EXPECT_TRUE(this->server.ReadFile(this->Remote(name)) == bytes);
            ASSERT_EQ(this->Cli(mode, {"get", this->Url(name), this->Local(name + ".back")}),
                      kExitOk)
                << this->err.str();
            EXPECT_TRUE(ReadBytes(this->Local(name + ".back")) == bytes);
        }
    }
}

// Both servers tell a file's time (MDTM): a download keeps it.
TYPED_TEST(CliServers, ADownloadKeepsTheServersModificationTime) {
    constexpr std::time_t kServerTime = 1588748889;  // 2020-05-06 07:08:09 UTC
    this->server.WriteFile(this->Remote("dated.txt"), "dated");
    const std::string served = this->server.Root() + "/" + this->Remote("dated.txt");
    const struct timespec times[2] = {{kServerTime, 0}, {kServerTime, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, served.c_str(), times, 0), 0);
    ASSERT_EQ(this->Cli("--passive", {"get", this->Url("dated.txt"), this->Local("dated.txt")}),
              kExitOk)
        << this->err.str();
    struct stat st {};
    ASSERT_EQ(::stat(this->Local("dated.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, kServerTime);
    EXPECT_EQ(ReadBytes(this->Local("dated.txt")), "dated");
}

TYPED_TEST(CliServers, ResumedTransfersEndIdentical) {
    const std::string bytes = RandomBytes(300000, 7);
    this->server.WriteFile(this->Remote("whole"), bytes);
    for (const char* mode : kModes) {
        SCOPED_TRACE(mode);
        // A download cut short: the local file holds the first part.
        WriteBytes(this->Local("part"), bytes.substr(0, 123457));
        ASSERT_EQ(this->Cli(mode, {"--resume", "get", this->Url("whole"), this->Local("part")}),
                  kExitOk)
            << this->err.str();
        EXPECT_TRUE(ReadBytes(this->Local("part")) == bytes);

        // An upload cut short: the server holds the first 4096 bytes.
        WriteBytes(this->Local("upload"), bytes);
        this->server.WriteFile(this->Remote("up"), bytes.substr(0, 4096));
        ASSERT_EQ(this->Cli(mode, {"put", "--resume", this->Local("upload"), this->Url("up")}),
                  kExitOk)
            << this->err.str();
        EXPECT_TRUE(this->server.ReadFile(this->Remote("up")) == bytes);

        // Nothing on the server yet: the resumed upload sends the whole file.
        const std::string fresh = std::string("fresh") + (mode + 2);
        ASSERT_EQ(this->Cli(mode, {"put", "--resume", this->Local("upload"), this->Url(fresh)}),
                  kExitOk)
            << this->err.str();
        EXPECT_TRUE(this->server.ReadFile(this->Remote(fresh)) == bytes);
    }
}

TYPED_TEST(CliServers, ListingShowsParsedEntries) {
    std::filesystem::create_directories(this->server.Root() + "/" + this->Remote("list/sub dir"));
    this->server.WriteFile(this->Remote("list/plain.txt"), "12345");
    this->server.WriteFile(this->Remote("list/with blanks.bin"), "ab");
    this->server.WriteFile(this->Remote("list/\xC3\xA9t\xC3\xA9 \xE2\x82\xAC.txt"), "");
    this->server.WriteFile(this->Remote("list/sub dir/inner"), "x");
    std::filesystem::create_symlink("plain.txt",
                                    this->server.Root() + "/" + this->Remote("list/link.txt"));
    // The listing is parsed as it arrives: no temporary file is needed.
    const ScopedTmpdir noTemporaryFolder(this->Local("no-such-folder"));
    for (const char* mode : kModes) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(this->Cli(mode, {"ls", this->Url("list")}), kExitOk) << this->err.str();
        std::vector<std::string> kindAndName;
        std::istringstream lines(this->out.str());
        for (std::string line; std::getline(lines, line);) {
            const std::size_t tabs = std::count(line.begin(), line.end(), '\t');
            EXPECT_EQ(tabs, 5u) << line;
            kindAndName.push_back(line.substr(0, line.find('\t', 2)));
            if (line.rfind("1\tplain.txt\t", 0) == 0) {
                EXPECT_EQ(line.substr(12, 2), "5\t") << line;
            }
        }
        std::sort(kindAndName.begin(), kindAndName.end());
        const std::vector<std::string> expected = {"0\tsub dir", "1\tlink.txt", "1\tplain.txt",
                                                   "1\twith blanks.bin",
                                                   "1\t\xC3\xA9t\xC3\xA9 \xE2\x82\xAC.txt"};
        EXPECT_EQ(kindAndName, expected) << this->out.str();

        ASSERT_EQ(this->Cli(mode, {"ls", "--raw", this->Url("list/")}), kExitOk) << this->err.str();
        EXPECT_NE(this->out.str().find(" sub dir\n"), std::string::npos) << this->out.str();
        EXPECT_NE(this->out.str().find("link.txt"), std::string::npos) << this->out.str();
    }
    // Another host type string: under the Text type the name is the whole listing line.
    ASSERT_EQ(this->Cli("--passive", {"ls", "--answer", "1957681", this->Url("list")}), kExitOk)
        << this->err.str();
    EXPECT_NE(this->out.str().find("\t-rw"), std::string::npos) << this->out.str();
    EXPECT_EQ(this->out.str().find("\tplain.txt\t"), std::string::npos) << this->out.str();
}

TYPED_TEST(CliServers, FailuresExitOneAndLeaveTheLocalFile) {
    const std::string kept = "local bytes the user did not ask to replace";
    WriteBytes(this->Local("kept"), kept);
    for (const char* mode : kModes) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(this->Cli(mode, {"get", this->Url("no-such-file"), this->Local("kept")}),
                  kExitFailed);
        EXPECT_EQ(this->err.str().substr(0, 4), "550 ") << this->err.str();
        EXPECT_EQ(ReadBytes(this->Local("kept")), kept);
        EXPECT_FALSE(std::filesystem::exists(this->Local("never")));
        EXPECT_EQ(this->Cli(mode, {"get", this->Url("no-such-file"), this->Local("never")}),
                  kExitFailed);
        EXPECT_FALSE(std::filesystem::exists(this->Local("never")));

        EXPECT_EQ(this->Cli(mode, {"ls", this->Url("no-such-dir/")}), kExitFailed);
        EXPECT_EQ(this->err.str().substr(0, 4), "550 ") << this->err.str();
        EXPECT_EQ(this->out.str(), "");
    }
}

// A local file whose name holds CR LF, put under its own name: the name never goes out as
// a second command (here one that deletes a file); the client fails and the remote folder
// is as it was.
TYPED_TEST(CliServers, PutOfANameWithALineBreakFailsAndChangesNothing) {
    this->server.WriteFile(this->Remote("victim"), "keep me");
    const std::string name = "x\r\nDELE victim";
    WriteBytes(this->Local(name), "payload");
    for (const char* mode : kModes) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(this->Cli(mode, {"put", this->Local(name), this->Url("")}), kExitFailed);
        EXPECT_NE(this->err.str().find("501 Command holds a line break or NUL"), std::string::npos)
            << this->err.str();
        std::vector<std::string> names;
        for (const auto& e :
             std::filesystem::directory_iterator(this->server.Root() + "/" + kWorkDir))
            names.push_back(e.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"victim"});
        EXPECT_EQ(this->server.ReadFile(this->Remote("victim")), "keep me");
    }
}

// Runs tarnwick-cli on its own (outside a fixture).
int RunAlone(const std::vector<std::string>& args, std::string& out, std::string& err) {
    std::ostringstream outStream;
    std::ostringstream errStream;
    const int code = RunCli(args, outStream, errStream);
    out = outStream.str();
    err = errStream.str();
    return code;
}

TEST(CliPyftpd, VerboseShowsTheDialogueWithoutThePassword) {
    PyFtpdServer server;
    ASSERT_TRUE(server.Running()) << server.Failure();
    TempFolder local;
    server.WriteFile("a.txt", "A\r\nB\r\n");
    std::string out;
    std::string log;
    ASSERT_EQ(RunAlone({"-v", "get", RootUrl(server) + "a.txt", local.file("a.txt")}, out, log),
              kExitOk)
        << log;
    EXPECT_NE(log.find("> PASS ****\n"), std::string::npos) << log;
    EXPECT_EQ(log.find(server.Password()), std::string::npos) << log;
    EXPECT_NE(log.find("> TYPE I\n"), std::string::npos) << log;
    EXPECT_NE(log.find("> PASV\n"), std::string::npos) << log;
    EXPECT_NE(log.find("> RETR a.txt\n"), std::string::npos) << log;
    EXPECT_EQ(out, "");
}

// A refused login prints the server's 530 line alone and exits 1: pyftpdlib refuses a
// wrong password, vsftpd every user but anonymous.
TEST(CliRefusedLogin, PrintsThe530Line) {
    PyFtpdServer pyftpd;
    VsftpdServer vsftpd;
    ASSERT_TRUE(pyftpd.Running()) << pyftpd.Failure();
    ASSERT_TRUE(vsftpd.Running()) << vsftpd.Failure();
    const std::string urls[] = {
        "ftp://" + pyftpd.User() + ":wrong@127.0.0.1:" + pyftpd.PortText() + "/",
        "ftp://someone:pw@127.0.0.1:" + vsftpd.PortText() + "/",
    };
    for (const std::string& url : urls) {
        std::string out;
        std::string err;
        EXPECT_EQ(RunAlone({"ls", url}, out, err), kExitFailed) << url;
        EXPECT_EQ(err.substr(0, 4), "530 ") << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(out, "");
    }
}

}  // namespace
}  // namespace tarnwick::cli
