// The question a server's certificate raises when it could not be verified and has not been
// trusted before: what the user is shown (subject, issuer, validity, SHA-256 fingerprint and
// why it failed) and the three answers. Enter and Escape both give the default, Cancel: a
// certificate is never trusted by a key pressed in passing.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "net/TlsCertificate.h"

namespace tarnwick::dialogs {

// In the order of the buttons.
enum class TCertificateAnswer { TrustAlways, TrustThisTime, Cancel };

inline constexpr const char* kCertificateCaption = "Server Certificate";
inline constexpr std::array<const char*, 3> kCertificateButtons = {"Trust always",
                                                                   "Trust this time", "Cancel"};
inline constexpr TCertificateAnswer kCertificateDefault = TCertificateAnswer::Cancel;

// One line of the details: its label and value.
struct TCertificateField {
    std::string Label;
    std::string Value;
    bool operator==(const TCertificateField&) const = default;
};

class TCertificatePrompt {
  public:
    explicit TCertificatePrompt(net::TCertificateInfo info);

    const net::TCertificateInfo& Info() const { return info_; }
    // "The certificate of host:port could not be verified: <problem>"
    std::string Heading() const;
    // Subject, issuer, valid from, valid until, SHA-256 fingerprint; an empty value is shown
    // as "(not given)".
    std::vector<TCertificateField> Fields() const;
    // What trusting means for each answer, shown under the details.
    static std::string Advice();

    // The answer of the button at `index` (kCertificateButtons); anything else cancels.
    static TCertificateAnswer AnswerOf(int index);
    static int IndexOf(TCertificateAnswer answer) { return static_cast<int>(answer); }

  private:
    net::TCertificateInfo info_;
};

}  // namespace tarnwick::dialogs
