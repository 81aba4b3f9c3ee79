#include "platform/ErrorCodes.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

namespace tarnwick::platform {
namespace {

TEST(ErrorCodes, NativeErrorsMapOntoTheSocketVocabulary) {
    const struct {
        int err;
        int code;
    } cases[] = {
        {0, 0},
        {EAGAIN, 10035},
        {EINPROGRESS, 10036},
        {ENOTSOCK, 10038},
        {EBADF, 10038},
        {EINVAL, 10022},
        {EADDRINUSE, 10048},
        {ECONNABORTED, 10053},
        {EPIPE, 10053},
        {ECONNRESET, 10054},
        {ENOTCONN, 10057},
        {ETIMEDOUT, 10060},
        {ECONNREFUSED, 10061},
        {EHOSTUNREACH, 10065},
        {ENETUNREACH, 10051},
    };
    for (const auto& c : cases) EXPECT_EQ(SocketErrorFromErrno(c.err), c.code) << "errno " << c.err;
}

TEST(ErrorCodes, UnknownErrnoStaysASocketErrorThatFitsSixteenBits) {
    const int code = SocketErrorFromErrno(ENOSPC);
    EXPECT_GE(code, 10000);
    EXPECT_LE(code, 0xFFFF);
    EXPECT_EQ(code, kErrUnmappedBase + ENOSPC);
}

TEST(ErrorCodes, ResolverFailures) {
    EXPECT_EQ(SocketErrorFromResolver(0), 0);
    EXPECT_EQ(SocketErrorFromResolver(EAI_NONAME), 11001);
    EXPECT_EQ(SocketErrorFromResolver(EAI_AGAIN), 11002);
    EXPECT_EQ(SocketErrorFromResolver(EAI_FAIL), 11003);
}

}  // namespace
}  // namespace tarnwick::platform
