#include "settings/TrustedCertificates.h"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/AtomicFile.h"
#include "settings/SettingsFolder.h"
#include "settings/TextFile.h"

namespace tarnwick::settings {
namespace {

constexpr size_t kSha256Bytes = 32;
constexpr size_t kFingerprintLength = kSha256Bytes * 3 - 1;  // "AB:" per byte, none after the last
constexpr int kLowestPort = 1;
constexpr int kHighestPort = 65535;

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Normalised(std::string_view text, char (*convert)(char)) {
    std::string out(text);
    for (char& c : out) c = convert(c);
    return out;
}

// A host as it may stand in a line: not empty, no blank and no control byte.
bool IsWritableHost(std::string_view host) {
    if (host.empty()) return false;
    for (unsigned char c : host) {
        if (c <= ' ' || c == 0x7f) return false;
    }
    return true;
}

struct TEntry {
    std::string host;  // lower case
    int port = 0;
    std::string sha256;  // upper case
};

// One line "host:port FINGERPRINT"; nothing when the line does not read as one.
std::optional<TEntry> ParseLine(std::string_view line) {
    size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    size_t keyEnd = start;
    while (keyEnd < line.size() && !IsBlank(line[keyEnd])) ++keyEnd;
    size_t fpStart = keyEnd;
    while (fpStart < line.size() && IsBlank(line[fpStart])) ++fpStart;
    size_t fpEnd = line.size();
    while (fpEnd > fpStart && IsBlank(line[fpEnd - 1])) --fpEnd;

    const std::string_view key = line.substr(start, keyEnd - start);
    const std::string fingerprint(line.substr(fpStart, fpEnd - fpStart));
    const size_t colon = key.rfind(':');
    if (colon == std::string_view::npos || !IsSha256Fingerprint(fingerprint)) return std::nullopt;
    const std::string_view host = key.substr(0, colon);
    const std::string_view portText = key.substr(colon + 1);
    int port = 0;
    if (!IsWritableHost(host) || portText.empty() || !ParseInt(portText, port) ||
        port < kLowestPort || port > kHighestPort) {
        return std::nullopt;
    }
    return TEntry{Normalised(host, Lower), port, Normalised(fingerprint, Upper)};
}

bool SameKey(const TEntry& entry, const std::string& host, int port) {
    return entry.port == port && entry.host == Normalised(host, Lower);
}

std::string LineOf(const TEntry& entry) {
    return entry.host + ":" + std::to_string(entry.port) + " " + entry.sha256;
}

// The first entry for host:port in the file; a file that is missing or unreadable
// trusts nothing.
std::optional<TEntry> Lookup(const std::string& path, const std::string& host, int port) {
    std::string text;
    if (ReadTextFile(path, text) != ReadStatus::kOk) return std::nullopt;
    for (const std::string& line : SplitLines(text)) {
        std::optional<TEntry> entry = ParseLine(line);
        if (entry && SameKey(*entry, host, port)) return entry;
    }
    return std::nullopt;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

std::string TrustedCertificatesPath(const std::string& settingsFolder) {
    return JoinPath(settingsFolder, kTrustedCertificatesFileName);
}

bool IsSha256Fingerprint(const std::string& text) {
    if (text.size() != kFingerprintLength) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool separator = i % 3 == 2;
        if (separator ? text[i] != ':' : !IsHex(text[i])) return false;
    }
    return true;
}

TTrustedCertificates::TTrustedCertificates(std::string filePath) : path_(std::move(filePath)) {}

TTrustedCertificates::TTrust TTrustedCertificates::Check(const std::string& host, int port,
                                                         const std::string& sha256) const {
    const std::optional<TEntry> entry = Lookup(path_, host, port);
    if (!entry) return TTrust::Unknown;
    return entry->sha256 == Normalised(sha256, Upper) ? TTrust::Trusted : TTrust::Changed;
}

std::string TTrustedCertificates::Known(const std::string& host, int port) const {
    const std::optional<TEntry> entry = Lookup(path_, host, port);
    return entry ? entry->sha256 : std::string();
}

bool TTrustedCertificates::TrustAlways(const std::string& host, int port,
                                       const std::string& sha256) {
    error_.clear();
    if (!IsWritableHost(host)) {
        error_ = "Cannot trust a certificate for the host name \"" + host + "\"";
        return false;
    }
    if (port < kLowestPort || port > kHighestPort) {
        error_ = "Cannot trust a certificate for port " + std::to_string(port);
        return false;
    }
    if (!IsSha256Fingerprint(sha256)) {
        error_ = "Not a SHA-256 fingerprint: \"" + sha256 + "\"";
        return false;
    }
    std::string text;
    if (ReadTextFile(path_, text) == ReadStatus::kUnreadable) {
        error_ = "Cannot read " + path_ + "; the certificate was not saved";
        return false;
    }
    const TEntry added{Normalised(host, Lower), port, Normalised(sha256, Upper)};
    std::string content;
    bool placed = false;
    for (const std::string& line : SplitLines(text)) {
        std::optional<TEntry> entry = ParseLine(line);
        if (entry && SameKey(*entry, host, port)) {
            if (placed) continue;  // a second line for the same server would contradict it
            content += LineOf(added);
            placed = true;
        } else {
            content += line;  // other servers, and lines that do not read, as they were
        }
        content += kLineEnd;
    }
    if (!placed) {
        content += LineOf(added);
        content += kLineEnd;
    }
    if (!EnsureFolder(FolderOf(path_)) || !WriteFileAtomic(path_, content, FileAccess::kPrivate)) {
        error_ = "Cannot write " + path_ + "; the certificate was not saved";
        return false;
    }
    return true;
}

TCertificateDecision DecideCertificate(const TTrustedCertificates& trusted,
                                       const net::TCertificateInfo& certificate) {
    switch (trusted.Check(certificate.host, certificate.port, certificate.sha256)) {
        case TTrustedCertificates::TTrust::Trusted:
            return TCertificateDecision::Accept;
        case TTrustedCertificates::TTrust::Changed:
            return TCertificateDecision::RefuseChanged;
        case TTrustedCertificates::TTrust::Unknown:
            break;
    }
    return certificate.problem.empty() ? TCertificateDecision::Accept : TCertificateDecision::Ask;
}

std::string CertificateChangedWarning(const net::TCertificateInfo& certificate,
                                      const std::string& knownSha256) {
    return "The certificate of " + certificate.host + ":" + std::to_string(certificate.port) +
           " has changed: trusted " + knownSha256 + ", presented " + certificate.sha256 +
           ". It was refused; if the server's certificate was replaced on purpose, remove its "
           "line from the trusted-certificates file.";
}

}  // namespace tarnwick::settings
