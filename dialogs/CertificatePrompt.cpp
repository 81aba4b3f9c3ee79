#include "dialogs/CertificatePrompt.h"

#include <utility>

namespace tarnwick::dialogs {
namespace {

constexpr const char* kNotGiven = "(not given)";

std::string OrNotGiven(const std::string& value) {
    return value.empty() ? kNotGiven : value;
}

}  // namespace

TCertificatePrompt::TCertificatePrompt(net::TCertificateInfo info) : info_(std::move(info)) {}

std::string TCertificatePrompt::Heading() const {
    std::string text = "The certificate of " + info_.host + ":" + std::to_string(info_.port) +
                       " could not be verified";
    if (!info_.problem.empty()) text += ": " + info_.problem;
    return text;
}

std::vector<TCertificateField> TCertificatePrompt::Fields() const {
    return {
        {"Subject", OrNotGiven(info_.subject)},
        {"Issuer", OrNotGiven(info_.issuer)},
        {"Valid from", OrNotGiven(info_.validFrom)},
        {"Valid until", OrNotGiven(info_.validUntil)},
        {"SHA-256 fingerprint", OrNotGiven(info_.sha256)},
    };
}

std::string TCertificatePrompt::Advice() {
    return "Compare the fingerprint with the one the server's administrator gives you. "
           "\"Trust always\" remembers this certificate for this server; \"Trust this time\" "
           "accepts it until Tarnwick is closed.";
}

TCertificateAnswer TCertificatePrompt::AnswerOf(int index) {
    switch (index) {
        case 0:
            return TCertificateAnswer::TrustAlways;
        case 1:
            return TCertificateAnswer::TrustThisTime;
        default:
            return TCertificateAnswer::Cancel;
    }
}

}  // namespace tarnwick::dialogs
