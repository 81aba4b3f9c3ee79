// An IPv4 or IPv6 socket address, and the numeric address texts: a dotted quad, or an IPv6
// address with or without the brackets of a URL ("::1", "[::1]"). IPv4 texts keep the
// socket library's rules (InetAddr in SocketApi.h); this adds the IPv6 ones.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>

namespace tarnwick::platform {

class SocketAddress {
  public:
    SocketAddress() = default;
    static SocketAddress FromIPv4(const sockaddr_in& sin);
    // An IPv4 address in network byte order, port in host order.
    static SocketAddress IPv4(uint32_t addressNetworkOrder, uint16_t port);
    // The wildcard address of a family (0.0.0.0 or ::).
    static SocketAddress Any(int family, uint16_t port);
    // Takes a raw address of either family; false (and nothing taken) for any other.
    bool Assign(const sockaddr* raw, socklen_t length);

    // AF_INET, AF_INET6, or AF_UNSPEC when empty.
    int Family() const { return storage_.ss_family; }
    bool Empty() const { return length_ == 0; }
    bool IsIPv6() const { return Family() == AF_INET6; }
    // Host byte order.
    uint16_t Port() const;
    void SetPort(uint16_t port);
    // The IPv4 address in network byte order (0 for an IPv6 address).
    uint32_t IPv4Address() const;
    // The 16 bytes of an IPv6 address (null for an IPv4 one).
    const uint8_t* IPv6Bytes() const;
    // Same family and same address bytes; ports are not compared.
    bool SameHost(const SocketAddress& other) const;

    const sockaddr* Raw() const { return reinterpret_cast<const sockaddr*>(&storage_); }
    sockaddr* Raw() { return reinterpret_cast<sockaddr*>(&storage_); }
    socklen_t Length() const { return length_; }
    // Room for any address, for calls that fill one in (accept, getsockname).
    static constexpr socklen_t Capacity() { return sizeof(sockaddr_storage); }

  private:
    sockaddr_storage storage_{};
    socklen_t length_ = 0;
};

// The address without its port: "127.0.0.1", "::1" (the compressed lower-case form).
std::string AddressText(const SocketAddress& address);

// An IPv6 address text, with or without enclosing brackets, and a zone after "%" for
// link-local addresses; leading and trailing blanks allowed. Port 0.
bool ParseIPv6Address(const std::string& text, SocketAddress& out);
// The text without the brackets of a bracketed address ("[::1]" gives "::1"); any other
// text comes back as it is.
std::string StripAddressBrackets(const std::string& text);
// Whether the text is written as an IPv6 address (ParseIPv6Address accepts it).
bool IsIPv6Literal(const std::string& text);

}  // namespace tarnwick::platform
