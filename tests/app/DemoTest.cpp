// The parts of "tarnwick --demo" without the window: the sample tree, the server's failures
// told in words the user can act on, and what TDemo leaves once it goes.
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "app/Demo.h"
#include "gtest/gtest.h"
#include "settings/ServerList.h"
#include "tests/settings/TempFolder.h"

namespace tarnwick::demo {
namespace {

namespace fs = std::filesystem;

TEST(DemoTree, HoldsNestedFoldersUtf8NamesAndASparseLargeFile) {
    testing::TempFolder root;
    ASSERT_EQ(MakeDemoTree(root.path()), "");
    for (const char* path :
         {"Read me.txt", "Ünïcode ✓/Grüße aus Köln.txt", "Ünïcode ✓/naïve café/menu du jour.txt",
          "Projects/tarnwick/src/main.cpp", "Pictures/Holiday 2026/empty album", "Uploads"})
        EXPECT_TRUE(fs::exists(root.path() + "/" + path)) << path;
    struct stat st {};
    ASSERT_EQ(::stat(root.file(kDemoLargeFile).c_str(), &st), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), kDemoLargeFileSize);
    EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512, kDemoLargeFileSize / 64)
        << "the large file takes real disk";
}

TEST(DemoServer, FailuresSayWhatToInstall) {
    testing::TempFolder root;
    struct TCase {
        const char* what;
        std::string python;
        std::string script;
        const char* said;
    };
    const TCase cases[] = {
        {"no python", "/nonexistent/python3", TARNWICK_DEMO_SCRIPT, "python3-pyftpdlib"},
        {"no script", kSystemPython, root.file("missing.py"), "missing.py is missing"},
    };
    for (const TCase& c : cases) {
        TDemoServerSpec spec;
        spec.Python = c.python;
        spec.Script = c.script;
        spec.Root = root.path();
        spec.User = "demo";
        spec.Password = "pw";
        const TDemoServer server(spec);
        EXPECT_FALSE(server.Running()) << c.what;
        EXPECT_NE(server.Failure().find(c.said), std::string::npos)
            << c.what << ": " << server.Failure();
        EXPECT_EQ(server.Pid(), -1) << c.what;
    }
}

TEST(Demo, SavesOneServerAndLeavesNothingOnceGone) {
    std::string settings;
    std::string served;
    pid_t pid = -1;
    {
        TDemo demo(TARNWICK_DEMO_SCRIPT);
        ASSERT_TRUE(demo.Start()) << demo.Failure();
        settings = demo.SettingsFolder();
        served = demo.ServedFolder();
        pid = demo.ServerPid();
        std::vector<TFTPServerInfo> servers;
        ASSERT_EQ(LoadServerList(settings, servers), ReadStatus::kOk);
        ASSERT_EQ(servers.size(), 1u);
        EXPECT_EQ(servers[0].Name, kDemoServerName);
        EXPECT_EQ(servers[0].Server, "127.0.0.1");
        EXPECT_EQ(servers[0].Port, std::to_string(demo.Port()));
        EXPECT_FALSE(servers[0].Password.empty());
        EXPECT_TRUE(fs::exists(served + "/Read me.txt"));
        EXPECT_EQ(::kill(pid, 0), 0);
    }
    EXPECT_FALSE(fs::exists(settings));
    EXPECT_FALSE(fs::exists(fs::path(served).parent_path()));
    EXPECT_NE(::kill(pid, 0), 0) << "the server outlived the demo";
}

}  // namespace
}  // namespace tarnwick::demo
