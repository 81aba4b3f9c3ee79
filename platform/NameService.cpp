#include "platform/NameService.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <mutex>

#include "platform/ErrorCodes.h"

namespace tarnwick::platform {

namespace {

constexpr size_t kDatabaseBuffer = 4096;  // scratch for the reentrant database calls

class SystemNameService final : public NameService {
  public:
    NameAnswer ByName(const std::string& name) override {
        NameAnswer answer;
        addrinfo hints{};
        // Both families, in the order the system's resolver sorts them.
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_CANONNAME;
        addrinfo* list = nullptr;
        const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &list);
        if (rc != 0) {
            answer.error = SocketErrorFromResolver(rc);
            return answer;
        }
        for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
            if (ai->ai_canonname != nullptr && answer.entry.officialName.empty()) {
                answer.entry.officialName = ai->ai_canonname;
            }
            SocketAddress address;
            if (!address.Assign(ai->ai_addr, ai->ai_addrlen)) continue;
            address.SetPort(0);
            answer.entry.allAddresses.push_back(address);
            if (address.Family() == AF_INET)
                answer.entry.addresses.push_back(address.IPv4Address());
        }
        freeaddrinfo(list);
        if (answer.entry.allAddresses.empty()) answer.error = kErrNoData;
        return answer;
    }

    NameAnswer ByAddress(uint32_t addressNetworkOrder) override {
        NameAnswer answer;
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = addressNetworkOrder;
        char host[NI_MAXHOST] = {};
        const int rc = getnameinfo(reinterpret_cast<const sockaddr*>(&sin), sizeof(sin), host,
                                   sizeof(host), nullptr, 0, NI_NAMEREQD);
        if (rc != 0) {
            answer.error = SocketErrorFromResolver(rc);
            return answer;
        }
        answer.entry.officialName = host;
        answer.entry.addresses.push_back(addressNetworkOrder);
        return answer;
    }

    std::optional<int> ServicePort(const std::string& service,
                                   const std::string& protocol) override {
        servent entry{};
        servent* found = nullptr;
        char buf[kDatabaseBuffer];
        getservbyname_r(service.c_str(), protocol.empty() ? nullptr : protocol.c_str(), &entry, buf,
                        sizeof(buf), &found);
        if (found == nullptr) return std::nullopt;
        return static_cast<int>(ntohs(static_cast<uint16_t>(found->s_port)));
    }

    std::optional<int> ProtocolNumber(const std::string& protocol) override {
        protoent entry{};
        protoent* found = nullptr;
        char buf[kDatabaseBuffer];
        getprotobyname_r(protocol.c_str(), &entry, buf, sizeof(buf), &found);
        if (found == nullptr) return std::nullopt;
        return found->p_proto;
    }
};

std::mutex& ServiceMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<NameService>& Installed() {
    static std::shared_ptr<NameService> service;
    return service;
}

}  // namespace

std::shared_ptr<NameService> CurrentNameService() {
    std::lock_guard<std::mutex> lock(ServiceMutex());
    if (!Installed()) Installed() = std::make_shared<SystemNameService>();
    return Installed();
}

void SetNameService(std::shared_ptr<NameService> service) {
    std::lock_guard<std::mutex> lock(ServiceMutex());
    Installed() = std::move(service);
}

}  // namespace tarnwick::platform
