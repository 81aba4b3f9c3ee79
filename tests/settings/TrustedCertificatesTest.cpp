// Trusted server certificates: what the file says, what is decided on it, how it is saved.
#include "settings/TrustedCertificates.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "TempFolder.h"

namespace tarnwick::settings {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
using TTrust = TTrustedCertificates::TTrust;
namespace fs = std::filesystem;

// Three distinct fingerprints: 32 byte pairs each.
std::string Fingerprint(const std::string& pair) {
    std::string out = pair;
    for (int i = 1; i < 32; ++i) out += ":" + pair;
    return out;
}
const std::string kA = Fingerprint("AA");
const std::string kB = Fingerprint("BB");
const std::string kC = Fingerprint("C3");

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

TEST(TrustedCertificates, CheckAndKnownReadTheFile) {
    TempFolder folder;
    const std::string path = folder.file("trusted-certificates");
    WriteBytes(path,
               "ftp.example.org:21 " + kA + "\r\n" +                      // plain entry
                   "Mixed.Example.ORG:990 " + Fingerprint("bb") + "\n" +  // cases differ
                   "garbage line\r\n" +                                   // corrupt: ignored
                   "nofingerprint:21 AA:BB\r\n" +         // corrupt: short fingerprint
                   "noport " + kC + "\r\n" +              // corrupt: no port
                   "badport:70000 " + kC + "\r\n" +       // corrupt: port out of range
                   "ftp.example.org:21 " + kC + "\r\n" +  // a later duplicate does not count
                   "  spaced:2121\t " + kC + "  ");       // blanks around, no line end
    const TTrustedCertificates trusted(path);
    struct Case {
        const char* host;
        int port;
        std::string sha256;
        TTrust trust;
        std::string known;
    } cases[] = {
        {"ftp.example.org", 21, kA, TTrust::Trusted, kA},
        {"FTP.example.org", 21, kA, TTrust::Trusted, kA},
        {"ftp.example.org", 21, Fingerprint("aa"), TTrust::Trusted, kA},
        {"ftp.example.org", 21, kB, TTrust::Changed, kA},
        {"ftp.example.org", 21, "", TTrust::Changed, kA},
        {"ftp.example.org", 990, kA, TTrust::Unknown, ""},  // the port is part of the key
        {"mixed.example.org", 990, kB, TTrust::Trusted, kB},
        {"garbage", 21, kA, TTrust::Unknown, ""},
        {"nofingerprint", 21, kA, TTrust::Unknown, ""},
        {"noport", 21, kC, TTrust::Unknown, ""},
        {"badport", 70000, kC, TTrust::Unknown, ""},
        {"spaced", 2121, kC, TTrust::Trusted, kC},
        {"other.example.org", 21, kA, TTrust::Unknown, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.host) + ":" + std::to_string(c.port));
        EXPECT_EQ(trusted.Check(c.host, c.port, c.sha256), c.trust);
        EXPECT_EQ(trusted.Known(c.host, c.port), c.known);
    }
}

TEST(TrustedCertificates, MissingOrUnreadableFileTrustsNothing) {
    TempFolder folder;
    const TTrustedCertificates missing(folder.file("trusted-certificates"));
    EXPECT_EQ(missing.Check("h", 21, kA), TTrust::Unknown);
    fs::create_directory(folder.file("dir"));
    const TTrustedCertificates unreadable(folder.file("dir"));
    EXPECT_EQ(unreadable.Check("h", 21, kA), TTrust::Unknown);
}

TEST(TrustedCertificates, Decision) {
    TempFolder folder;
    const std::string path = folder.file("trusted-certificates");
    WriteBytes(path, "known:21 " + kA + "\r\n");
    const TTrustedCertificates trusted(path);
    struct Case {
        const char* host;
        std::string sha256;
        const char* problem;
        TCertificateDecision decision;
    } cases[] = {
        {"known", kA, "", TCertificateDecision::Accept},
        {"known", kA, "self-signed certificate", TCertificateDecision::Accept},
        {"known", kB, "", TCertificateDecision::RefuseChanged},  // verified or not: never taken
        {"known", kB, "self-signed certificate", TCertificateDecision::RefuseChanged},
        {"new", kB, "", TCertificateDecision::Accept},
        {"new", kB, "certificate has expired", TCertificateDecision::Ask},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " " + c.problem);
        net::TCertificateInfo info;
        info.host = c.host;
        info.port = 21;
        info.sha256 = c.sha256;
        info.problem = c.problem;
        EXPECT_EQ(DecideCertificate(trusted, info), c.decision);
    }
}

TEST(TrustedCertificates, ChangedWarningNamesBothFingerprints) {
    net::TCertificateInfo info;
    info.host = "ftp.example.org";
    info.port = 990;
    info.sha256 = kB;
    const std::string warning = CertificateChangedWarning(info, kA);
    EXPECT_NE(warning.find("ftp.example.org:990"), std::string::npos);
    EXPECT_NE(warning.find(kA), std::string::npos);
    EXPECT_NE(warning.find(kB), std::string::npos);
}

TEST(TrustedCertificates, TrustAlwaysCreatesPrivateFileInNewFolder) {
    TempFolder root;
    const std::string path = TrustedCertificatesPath(root.file("a/tarnwick"));
    EXPECT_EQ(path, root.file("a/tarnwick/trusted-certificates"));
    TTrustedCertificates trusted(path);
    ASSERT_TRUE(trusted.TrustAlways("Host.Example", 990, Fingerprint("ab"))) << trusted.Error();
    EXPECT_EQ(ReadBytes(path), "host.example:990 " + Fingerprint("AB") + "\r\n");
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_EQ(trusted.Check("host.example", 990, Fingerprint("AB")), TTrust::Trusted);
    // No temporary file left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(root.file("a/tarnwick")), {}), 1);
}

TEST(TrustedCertificates, TrustAlwaysReplacesOnlyItsOwnLine) {
    TempFolder folder;
    const std::string path = folder.file("trusted-certificates");
    const std::string before = "other:21 " + kA + "\r\n" + "# a note the user wrote\r\n" +
                               "target:21 " + kA + "\r\n" + "\r\n" + "target:990 " + kA + "\n" +
                               "TARGET:21 " + kC + "\r\n" + "broken:x " + kB;
    WriteBytes(path, before);
    ::chmod(path.c_str(), 0644);
    TTrustedCertificates trusted(path);
    ASSERT_TRUE(trusted.TrustAlways("target", 21, kB)) << trusted.Error();
    EXPECT_EQ(ReadBytes(path), "other:21 " + kA + "\r\n" + "# a note the user wrote\r\n" +
                                   "target:21 " + kB + "\r\n" + "\r\n" + "target:990 " + kA +
                                   "\r\n" + "broken:x " + kB + "\r\n");
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_EQ(trusted.Check("target", 21, kB), TTrust::Trusted);
    EXPECT_EQ(trusted.Check("target", 990, kA), TTrust::Trusted);
    EXPECT_EQ(trusted.Check("other", 21, kA), TTrust::Trusted);
    // A new server is appended at the end.
    ASSERT_TRUE(trusted.TrustAlways("new", 2121, kC));
    const std::string after = ReadBytes(path);
    EXPECT_TRUE(after.ends_with("\r\nbroken:x " + kB + "\r\nnew:2121 " + kC + "\r\n"));
}

TEST(TrustedCertificates, TrustAlwaysRefusesAndLeavesFileAlone) {
    TempFolder folder;
    const std::string path = folder.file("trusted-certificates");
    const std::string before = "kept:21 " + kA + "\r\n";
    WriteBytes(path, before);
    struct Case {
        const char* what;
        std::string host;
        int port;
        std::string sha256;
    } cases[] = {
        {"empty host", "", 21, kB},
        {"blank in host", "a b", 21, kB},
        {"line break in host", "a\nb", 21, kB},
        {"port 0", "h", 0, kB},
        {"port too high", "h", 65536, kB},
        {"short fingerprint", "h", 21, "AB:CD"},
        {"not hex", "h", 21, Fingerprint("ZZ")},
        {"no colons", "h", 21, std::string(64, 'A')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TTrustedCertificates trusted(path);
        EXPECT_FALSE(trusted.TrustAlways(c.host, c.port, c.sha256));
        EXPECT_FALSE(trusted.Error().empty());
        EXPECT_EQ(ReadBytes(path), before);
    }
    // A file that cannot be read is never written over, and a folder cannot be replaced.
    fs::create_directory(folder.file("dir"));
    TTrustedCertificates blocked(folder.file("dir"));
    EXPECT_FALSE(blocked.TrustAlways("h", 21, kA));
    EXPECT_NE(blocked.Error().find("Cannot read"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(folder.file("dir")));
}

}  // namespace
}  // namespace tarnwick::settings
