// The name service: host names to IPv4 addresses and back, service names to ports,
// protocol names to numbers. Blocking calls; the system's resolver unless a replacement is
// installed (tests install one that answers from a table and records what was asked).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick::platform {

struct HostEntry {
    std::string officialName;
    std::vector<uint32_t> addresses;  // network byte order, in the answer's order
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
