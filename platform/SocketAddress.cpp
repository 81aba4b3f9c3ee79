#include "platform/SocketAddress.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <cstring>

namespace tarnwick::platform {

namespace {

std::string TrimmedBlanks(const std::string& text) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
    return text.substr(b, e - b);
}

}  // namespace

SocketAddress SocketAddress::FromIPv4(const sockaddr_in& sin) {
    SocketAddress a;
    a.Assign(reinterpret_cast<const sockaddr*>(&sin), sizeof(sin));
    return a;
}

SocketAddress SocketAddress::IPv4(uint32_t addressNetworkOrder, uint16_t port) {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = addressNetworkOrder;
    sin.sin_port = htons(port);
    return FromIPv4(sin);
}

SocketAddress SocketAddress::Any(int family, uint16_t port) {
    if (family != AF_INET6) return IPv4(htonl(INADDR_ANY), port);
    sockaddr_in6 sin6{};
    sin6.sin6_family = AF_INET6;
    sin6.sin6_addr = in6addr_any;
    sin6.sin6_port = htons(port);
    SocketAddress a;
    a.Assign(reinterpret_cast<const sockaddr*>(&sin6), sizeof(sin6));
    return a;
}

bool SocketAddress::Assign(const sockaddr* raw, socklen_t length) {
    if (raw == nullptr) return false;
    socklen_t needed = 0;
    if (raw->sa_family == AF_INET) needed = sizeof(sockaddr_in);
    if (raw->sa_family == AF_INET6) needed = sizeof(sockaddr_in6);
    if (needed == 0 || length < needed) return false;
    storage_ = sockaddr_storage{};
    std::memcpy(&storage_, raw, needed);
    length_ = needed;
    return true;
}

uint16_t SocketAddress::Port() const {
    if (Family() == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&storage_)->sin_port);
    if (Family() == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_port);
    return 0;
}

void SocketAddress::SetPort(uint16_t port) {
    if (Family() == AF_INET) reinterpret_cast<sockaddr_in*>(&storage_)->sin_port = htons(port);
    if (Family() == AF_INET6) reinterpret_cast<sockaddr_in6*>(&storage_)->sin6_port = htons(port);
}

uint32_t SocketAddress::IPv4Address() const {
    if (Family() != AF_INET) return 0;
    return reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr.s_addr;
}

const uint8_t* SocketAddress::IPv6Bytes() const {
    if (Family() != AF_INET6) return nullptr;
    return reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_addr.s6_addr;
}

bool SocketAddress::SameHost(const SocketAddress& other) const {
    if (Family() != other.Family()) return false;
    if (Family() == AF_INET) return IPv4Address() == other.IPv4Address();
    if (Family() == AF_INET6) return std::memcmp(IPv6Bytes(), other.IPv6Bytes(), 16) == 0;
    return true;
}

std::string AddressText(const SocketAddress& address) {
    char buf[INET6_ADDRSTRLEN] = {};
    if (address.Family() == AF_INET) {
        in_addr a{};
        a.s_addr = address.IPv4Address();
        inet_ntop(AF_INET, &a, buf, sizeof(buf));
    } else if (address.Family() == AF_INET6) {
        inet_ntop(AF_INET6, address.IPv6Bytes(), buf, sizeof(buf));
    }
    return buf;
}

std::string StripAddressBrackets(const std::string& text) {
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
        return text.substr(1, text.size() - 2);
    return text;
}

bool ParseIPv6Address(const std::string& text, SocketAddress& out) {
    const std::string bare = StripAddressBrackets(TrimmedBlanks(text));
    // Every IPv6 text has a colon; AI_NUMERICHOST keeps the name service out of it.
    if (bare.find(':') == std::string::npos) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (getaddrinfo(bare.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return false;
    SocketAddress parsed;
    const bool ok = parsed.Assign(list->ai_addr, list->ai_addrlen) && parsed.IsIPv6();
    freeaddrinfo(list);
    if (ok) out = parsed;
    return ok;
}

bool IsIPv6Literal(const std::string& text) {
    SocketAddress ignored;
    return ParseIPv6Address(text, ignored);
}

}  // namespace tarnwick::platform
