// A name service for tests: answers host queries from a table (IPv4 and IPv6 texts) (everything
// else is "host not found"), records every query, and can hold a name's answer back until released.
// Ports and protocols come from the system's databases.
#pragma once

#include <netinet/in.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/ErrorCodes.h"
#include "platform/NameService.h"
#include "platform/SocketApi.h"

namespace tarnwick::testing {

class FakeNameService : public platform::NameService {
  public:
    FakeNameService() {
        platform::SetNameService(nullptr);
        system_ = platform::CurrentNameService();
    }

    void AddHost(const std::string& name, std::vector<std::string> addresses) {
        std::lock_guard<std::mutex> lock(mutex_);
        hosts_[name] = std::move(addresses);
    }
    void AddReverse(const std::string& address, const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex_);
        reverse_[platform::InetAddr(address)] = name;
    }
    // Queries for name wait until Release(name).
    void Hold(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex_);
        held_.insert(name);
    }
    void Release(const std::string& name) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            held_.erase(name);
        }
        released_.notify_all();
    }
    std::vector<std::string> Queries() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return queries_;
    }

    platform::NameAnswer ByName(const std::string& name) override {
        std::unique_lock<std::mutex> lock(mutex_);
        queries_.push_back(name);
        released_.wait(lock, [&] { return held_.count(name) == 0; });
        platform::NameAnswer answer;
        auto it = hosts_.find(name);
        if (it == hosts_.end()) {
            answer.error = platform::kErrHostNotFound;
            return answer;
        }
        answer.entry.officialName = name;
        // IPv6 texts go to the answer's list of all addresses only, as the system's do.
        for (const auto& a : it->second) {
            platform::SocketAddress v6;
            if (platform::ParseIPv6Address(a, v6)) {
                answer.entry.allAddresses.push_back(v6);
                continue;
            }
            answer.entry.addresses.push_back(platform::InetAddr(a));
            answer.entry.allAddresses.push_back(
                platform::SocketAddress::IPv4(platform::InetAddr(a), 0));
        }
        return answer;
    }
    platform::NameAnswer ByAddress(uint32_t address) override {
        std::lock_guard<std::mutex> lock(mutex_);
        queries_.push_back("reverse:" + platform::InetNtoa(address));
        platform::NameAnswer answer;
        auto it = reverse_.find(address);
        if (it == reverse_.end()) {
            answer.error = platform::kErrHostNotFound;
            return answer;
        }
        answer.entry.officialName = it->second;
        answer.entry.addresses.push_back(address);
        return answer;
    }
    std::optional<int> ServicePort(const std::string& service,
                                   const std::string& protocol) override {
        return system_->ServicePort(service, protocol);
    }
    std::optional<int> ProtocolNumber(const std::string& protocol) override {
        return system_->ProtocolNumber(protocol);
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::map<std::string, std::vector<std::string>> hosts_;
    std::map<uint32_t, std::string> reverse_;
    std::set<std::string> held_;
    std::vector<std::string> queries_;
    std::shared_ptr<platform::NameService> system_;
};

// Installs a FakeNameService for the scope; the system's resolver comes back afterwards.
class ScopedFakeNameService {
  public:
    ScopedFakeNameService() : fake_(std::make_shared<FakeNameService>()) {
        platform::SetNameService(fake_);
    }
    ~ScopedFakeNameService() { platform::SetNameService(nullptr); }
    FakeNameService& operator*() { return *fake_; }
    FakeNameService* operator->() { return fake_.get(); }

  private:
    std::shared_ptr<FakeNameService> fake_;
};

}  // namespace tarnwick::testing
