// Synchronous resolution of what a user typed: host names or dotted addresses, port
// numbers or service names, protocol names or numbers. Failures raise ESocketException.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/SocketAddress.h"

namespace tarnwick::net {

// The text without leading and trailing blanks (and control characters).
std::string TrimBlanks(const std::string& text);

// Leading blanks skipped, then decimal digits up to the first other character; no sign,
// no overflow check (the value wraps); no digits gives 0.
int32_t LeadingNumber(const std::string& text);

// Exactly four numbers of at most 255 separated by single dots; leading and trailing
// blanks allowed.
bool IsDottedQuad(const std::string& text);

// IPv4 address in network byte order. A dotted quad is converted directly; anything else
// goes to the name service (blocking), whose first IPv4 address is taken.
uint32_t WSocketResolveHost(const std::string& inAddr);
// Every address of the host, of either family, port 0: a dotted quad or an IPv6 address
// ("::1", "[::1]") is converted directly, anything else goes to the name service (blocking)
// and its addresses come in the resolver's order. A bracketed text that is no IPv6 address
// is refused as an invalid IP address. The same refusals as WSocketResolveHost otherwise.
std::vector<platform::SocketAddress> WSocketResolveHostAddresses(const std::string& inAddr);
// A numeric address only (dotted quad or IPv6, brackets allowed), never the name service;
// false for anything else.
bool ParseNumericAddress(const std::string& text, platform::SocketAddress& out);
// Port in host byte order (callers keep the low 16 bits): a text starting with a digit is
// read as a number ("21x" gives 21), anything else is a service name.
int WSocketResolvePort(const std::string& port, const std::string& proto);
// Protocol number: a number, or a protocol name ("tcp" gives 6).
int WSocketResolveProto(const std::string& proto);

}  // namespace tarnwick::net
