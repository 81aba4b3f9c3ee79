// The certificate question: what it shows and what its buttons answer.
#include "dialogs/CertificatePrompt.h"

#include <gtest/gtest.h>

namespace tarnwick::dialogs {
namespace {

TEST(CertificatePrompt, ShowsTheCertificateAndWhyItFailed) {
    net::TCertificateInfo info;
    info.host = "ftp.example.org";
    info.port = 990;
    info.subject = "CN=ftp.example.org, O=Example";
    info.issuer = "CN=ftp.example.org, O=Example";
    info.validFrom = "2026-01-31 12:00:00 UTC";
    info.validUntil = "2027-01-31 12:00:00 UTC";
    info.sha256 = "AB:CD";
    info.problem = "self-signed certificate";
    const TCertificatePrompt prompt(info);
    EXPECT_EQ(prompt.Heading(),
              "The certificate of ftp.example.org:990 could not be verified: self-signed "
              "certificate");
    EXPECT_EQ(prompt.Fields(), (std::vector<TCertificateField>{
                                   {"Subject", "CN=ftp.example.org, O=Example"},
                                   {"Issuer", "CN=ftp.example.org, O=Example"},
                                   {"Valid from", "2026-01-31 12:00:00 UTC"},
                                   {"Valid until", "2027-01-31 12:00:00 UTC"},
                                   {"SHA-256 fingerprint", "AB:CD"},
                               }));
    // Fields a certificate lacks are said to be missing rather than left blank.
    net::TCertificateInfo bare;
    bare.host = "h";
    bare.port = 21;
    const TCertificatePrompt empty(bare);
    EXPECT_EQ(empty.Heading(), "The certificate of h:21 could not be verified");
    for (const TCertificateField& field : empty.Fields()) EXPECT_EQ(field.Value, "(not given)");
}

TEST(CertificatePrompt, ButtonsAnswerInOrderAndEverythingElseCancels) {
    const std::pair<int, TCertificateAnswer> cases[] = {
        {0, TCertificateAnswer::TrustAlways}, {1, TCertificateAnswer::TrustThisTime},
        {2, TCertificateAnswer::Cancel},      {-1, TCertificateAnswer::Cancel},
        {3, TCertificateAnswer::Cancel},
    };
    for (const auto& [index, answer] : cases) {
        EXPECT_EQ(TCertificatePrompt::AnswerOf(index), answer) << index;
        if (index >= 0 && index < 3) {
            EXPECT_EQ(TCertificatePrompt::IndexOf(answer), index);
        }
    }
    EXPECT_EQ(kCertificateDefault, TCertificateAnswer::Cancel);
    EXPECT_STREQ(kCertificateButtons[0], "Trust always");
    EXPECT_STREQ(kCertificateButtons[1], "Trust this time");
    EXPECT_STREQ(kCertificateButtons[2], "Cancel");
}

}  // namespace
}  // namespace tarnwick::dialogs
