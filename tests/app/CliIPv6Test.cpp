// tarnwick-cli to a server on the IPv6 loopback, its address in brackets in the URL:
// put, ls and get byte-identical in passive (EPSV) and active (EPRT) mode.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/Cli.h"
#include "tests/settings/TempFolder.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::cli {
namespace {

using tarnwick::testing::PyFtpdServer;
using tarnwick::testing::RandomBytes;
using tarnwick::testing::ReadBytes;
using tarnwick::testing::TempFolder;
using tarnwick::testing::WriteBytes;

TEST(CliIPv6, PutListAndGetThroughABracketedAddress) {
    if (!tarnwick::testing::IPv6LoopbackAvailable())
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1) to listen on";
    PyFtpdServer server(PyFtpdServer::kDefaultUser, PyFtpdServer::kDefaultPassword,
                        {"--address", "::1"});
    ASSERT_TRUE(server.Running()) << server.Failure();
    TempFolder local;
    const std::string content = RandomBytes(300 * 1024 + 7);
    WriteBytes(local.path() + "/up.bin", content);
    const std::string base =
        "ftp://" + server.User() + ":" + server.Password() + "@[::1]:" + server.PortText() + "/";
    for (const char* mode : {"--passive", "--active"}) {
        SCOPED_TRACE(mode);
        const std::string name = std::string(mode + 2) + ".bin";
        std::ostringstream out;
        std::ostringstream err;
        ASSERT_EQ(RunCli({mode, "put", local.path() + "/up.bin", base + name}, out, err), kExitOk)
            << err.str();
        EXPECT_TRUE(ReadBytes(server.Root() + "/" + name) == content);
        ASSERT_EQ(RunCli({mode, "ls", base}, out, err), kExitOk) << err.str();
        EXPECT_NE(out.str().find(name), std::string::npos) << out.str();
        ASSERT_EQ(RunCli({mode, "get", base + name, local.path() + "/" + name}, out, err), kExitOk)
            << err.str();
        EXPECT_TRUE(ReadBytes(local.path() + "/" + name) == content);
    }
}

}  // namespace
}  // namespace tarnwick::cli
