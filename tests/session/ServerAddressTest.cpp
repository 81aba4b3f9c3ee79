// The Server text of a saved server with an IPv6 host: brackets around the address (with or
// without a port and path), or the bare address; IPv4 and names as they were.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/ServerAddress.h"

namespace tarnwick::session {
namespace {

TEST(NormalizeServerAddress, TakesIPv6HostsOutOfTheirBrackets) {
    struct Case {
        const char* server;
        const char* host;
        const char* port;
        const char* user;
        const char* dir;
    };
    const std::vector<Case> cases = {
        {"ftp://[::1]:2121/path", "::1", "2121", "", "/path"},
        {"[::1]:2121", "::1", "2121", "", ""},
        {"[::1]", "::1", "21", "", ""},
        {"::1", "::1", "21", "", ""},
        {"FTP://anna:pw@[2001:db8::1]:990/pub/x", "2001:db8::1", "990", "anna", "/pub/x"},
        {"  [fe80::1%eth0]:21  ", "fe80::1%eth0", "21", "", ""},
        {"2001:db8::7/in", "2001:db8::7", "21", "", "/in"},
        {"[::1]:", "::1", "", "", ""},
        // Not an IPv6 host: as before, or kept whole for the connect to refuse.
        {"host:2121", "host", "2121", "", ""},
        {"10.0.0.1:2121/a", "10.0.0.1", "2121", "", "/a"},
        {"[::1", "[::1", "21", "", ""},
        {"[::1]x:21", "[::1]x:21", "21", "", ""},
        {"host:21:22", "host", "21:22", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        TFTPServerInfo s;
        s.Server = c.server;
        s.Port = "21";
        NormalizeServerAddress(s);
        EXPECT_EQ(s.Server, c.host);
        EXPECT_EQ(s.Port, c.port);
        EXPECT_EQ(s.User, c.user);
        EXPECT_EQ(s.InitialDir, c.dir);
    }
}

}  // namespace
}  // namespace tarnwick::session
