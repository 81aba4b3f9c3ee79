#include "net/Resolver.h"

#include <netinet/in.h>

#include "net/SocketErrors.h"
#include "platform/ErrorCodes.h"
#include "platform/NameService.h"
#include "platform/SocketApi.h"

namespace tarnwick::net {

namespace {

constexpr size_t kMaxHostText = 256;
constexpr size_t kMaxPortText = 32;   // this long or longer is refused
constexpr size_t kMaxProtoText = 32;  // this long or longer is refused

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

}  // namespace

std::string TrimBlanks(const std::string& text) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

int32_t LeadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    uint32_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    return static_cast<int32_t>(value);
}

bool IsDottedQuad(const std::string& text) {
    const size_t n = text.size();
    size_t i = 0;
    while (i < n && text[i] == ' ') ++i;
    if (i < n && text[i] == '.') return false;
    int dots = 0;
    uint32_t value = 0;
    constexpr uint32_t kTooBig = 256;  // saturates: a part past 255 is refused anyway
    for (; i < n; ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            value = value * 10u + static_cast<uint32_t>(c - '0');
            if (value > kTooBig) value = kTooBig;
        } else if (c == '.') {
            ++dots;
            if (dots > 3 || value > 255 || i + 1 == n || !IsDigit(text[i + 1])) return false;
            value = 0;
        } else {
            size_t j = i;
            while (j < n && text[j] == ' ') ++j;
            if (j == n) break;  // trailing blanks
            return false;
        }
    }
    return dots == 3 && value <= 255;
}

namespace {

void CheckHostText(const std::string& inAddr) {
    if (inAddr.empty() || inAddr.size() > kMaxHostText) {
        throw ESocketException("WSocketResolveHost: '" + inAddr + "' Invalid Hostname.");
    }
}

uint32_t DottedQuadAddress(const std::string& host) {
    const uint32_t addr = platform::InetAddr(host);
    if (addr == INADDR_NONE && host != "255.255.255.255") {
        throw ESocketException("WSocketResolveHost: '" + host + "' Invalid IP address.");
    }
    return addr;
}

[[noreturn]] void CannotConvert(const std::string& host, int code) {
    throw ESocketException(Sprintf(
        "WSocketResolveHost: Cannot convert host address '%s', Error #%d", host.c_str(), code));
}

}  // namespace

uint32_t WSocketResolveHost(const std::string& inAddr) {
    CheckHostText(inAddr);
    const std::string host = TrimBlanks(inAddr);
    if (IsDottedQuad(host)) return DottedQuadAddress(host);
    const platform::NameAnswer answer = platform::CurrentNameService()->ByName(host);
    if (answer.error != 0 || answer.entry.addresses.empty()) {
        CannotConvert(host, answer.error != 0 ? answer.error : platform::kErrNoData);
    }
    return answer.entry.addresses.front();
}

std::vector<platform::SocketAddress> WSocketResolveHostAddresses(const std::string& inAddr) {
    CheckHostText(inAddr);
    const std::string host = TrimBlanks(inAddr);
    if (IsDottedQuad(host)) return {platform::SocketAddress::IPv4(DottedQuadAddress(host), 0)};
    platform::SocketAddress v6;
    if (platform::ParseIPv6Address(host, v6)) return {v6};
    if (!host.empty() && host.front() == '[') {
        throw ESocketException("WSocketResolveHost: '" + host + "' Invalid IP address.");
    }
    const platform::NameAnswer answer = platform::CurrentNameService()->ByName(host);
    std::vector<platform::SocketAddress> found = answer.entry.allAddresses;
    if (found.empty()) {
        for (uint32_t a : answer.entry.addresses)
            found.push_back(platform::SocketAddress::IPv4(a, 0));
    }
    if (answer.error != 0 || found.empty()) {
        CannotConvert(host, answer.error != 0 ? answer.error : platform::kErrNoData);
    }
    return found;
}

bool ParseNumericAddress(const std::string& text, platform::SocketAddress& out) {
    const std::string host = TrimBlanks(text);
    if (IsDottedQuad(host)) {
        const uint32_t addr = platform::InetAddr(host);
        if (addr == INADDR_NONE && host != "255.255.255.255") return false;
        out = platform::SocketAddress::IPv4(addr, 0);
        return true;
    }
    return platform::ParseIPv6Address(host, out);
}

int WSocketResolvePort(const std::string& port, const std::string& proto) {
    if (port.empty() || port.size() >= kMaxPortText)
        throw ESocketException("WSocketResolvePort: Invalid Port.");
    if (IsDigit(port[0])) return LeadingNumber(port);
    const auto found =
        platform::CurrentNameService()->ServicePort(TrimBlanks(port), TrimBlanks(proto));
    if (!found) {
        throw ESocketException(Sprintf("WSocketResolvePort: Cannot convert port '%s', Error #%d",
                                       port.c_str(), platform::kErrNoData));
    }
    return *found;
}

int WSocketResolveProto(const std::string& proto) {
    if (proto.empty() || proto.size() >= kMaxProtoText) {
        throw ESocketException("WSocketResolveProto: Invalid Protocol.");
    }
    const std::string name = TrimBlanks(proto);
    if (!name.empty() && IsDigit(name[0])) return LeadingNumber(name);
    const auto found = platform::CurrentNameService()->ProtocolNumber(name);
    if (!found) {
        throw ESocketException(
            Sprintf("WSocketResolveProto: Cannot convert protocol '%s', Error #%d", name.c_str(),
                    platform::kErrNoData));
    }
    return *found;
}

}  // namespace tarnwick::net
