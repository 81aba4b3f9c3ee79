// The name service: host names to addresses (IPv4 and IPv6) and IPv4 addresses back to names,
// service names to ports, protocol names to numbers. Blocking calls; the system's resolver unless a
// replacement is installed (tests install one that answers from a table and records what was
// asked).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/SocketAddress.h"

namespace tarnwick::platform {

struct HostEntry {
    std::string officialName;
    std::vector<uint32_t> addresses;  // the IPv4 ones, network byte order, in the answer's order
    // Every address of either family (port 0), in the order the resolver gave them. An answer
    // that fills only `addresses` (an IPv4-only service) leaves this empty.
    std::vector<SocketAddress> allAddresses;
};

struct NameAnswer {
    int error = 0;  // 0, or 11001 (host not found), 11002, 11003, 11004
    HostEntry entry;
};

class NameService {
  public:
    virtual ~NameService() = default;
    virtual NameAnswer ByName(const std::string& name) = 0;
    virtual NameAnswer ByAddress(uint32_t addressNetworkOrder) = 0;
    // Port in host byte order; nothing when the service is unknown. An empty protocol
    // matches any protocol.
    virtual std::optional<int> ServicePort(const std::string& service,
                                           const std::string& protocol) = 0;
    virtual std::optional<int> ProtocolNumber(const std::string& protocol) = 0;
};

// Safe to call from any thread.
std::shared_ptr<NameService> CurrentNameService();
// nullptr restores the system's resolver.
void SetNameService(std::shared_ptr<NameService> service);

}  // namespace tarnwick::platform
