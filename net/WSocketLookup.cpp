// TCustomWSocket: asynchronous lookups. The answer arrives in the socket's own queue and
// becomes OnDnsLookupDone, with the results in DnsResult and DnsResultList (addresses of
// both families as texts, in the resolver's order).
#include <netinet/in.h>

#include "net/CustomWSocket.h"
#include "net/Resolver.h"
#include "platform/ErrorCodes.h"
#include "platform/SocketNotifier.h"

namespace tarnwick::net {

using namespace platform;

// The start shared by both lookups: refuse an empty text, replace a pending request
// (its answer will not come, and no event is raised for it) and clear the results.
bool TCustomWSocket::BeginLookup(const std::string& text) {
    if (text.empty()) {
        SignalError("DNS lookup: invalid host name.");
        NotifyDnsLookupDone(kErrInvalidArgument);
        return false;
    }
    if (lookupRequest_ != 0) {
        platform::CancelLookup(lookupRequest_);
        lookupRequest_ = 0;
    }
    dnsResult_.clear();
    dnsResultList_.clear();
    return true;
}

void TCustomWSocket::LookupHost(const std::string& hostName) {
    const std::string name = TrimBlanks(hostName);
    if (!BeginLookup(name)) return;
    const uint32_t addr = InetAddr(name);
    if (addr != INADDR_NONE) {
        // A dotted address needs no query: the lookup is done before the call returns.
        dnsResult_ = InetNtoa(addr);
        NotifyDnsLookupDone(0);
        return;
    }
    SocketAddress v6;
    if (ParseIPv6Address(name, v6)) {
        // So does an IPv6 address, bracketed or not; the result is its usual text ("::1").
        dnsResult_ = AddressText(v6);
        dnsResultList_.assign(1, dnsResult_);
        NotifyDnsLookupDone(0);
        return;
    }
    lookupRequest_ = StartHostLookup(window_, MsgHostLookupDone, name);
    // The request identity is known before the worker can answer, so no completion can
    // arrive ahead of it.
}

void TCustomWSocket::LookupAddress(const std::string& hostAddr) {
    const std::string text = TrimBlanks(hostAddr);
    if (!BeginLookup(text)) return;
    lookupRequest_ = StartAddrLookup(window_, MsgAddrLookupDone, InetAddr(text));
}

void TCustomWSocket::CancelLookup() {
    if (lookupRequest_ == 0) return;
    const LookupRequest request = lookupRequest_;
    lookupRequest_ = 0;
    if (!platform::CancelLookup(request)) {
        SetSocketLastError(kErrInvalidArgument);
        ReportSocketError("WSACancelAsyncRequest");
        return;
    }
    if (!destroying_) NotifyDnsLookupDone(kErrInterrupted);
}

void TCustomWSocket::HandleHostLookupDone(const Message& msg) {
    if (lookupRequest_ == 0 || msg.wParam != lookupRequest_) return;  // replaced or cancelled
    lookupRequest_ = 0;
    uint16_t error = SelectError(msg.lParam);
    const auto answer = std::static_pointer_cast<const NameAnswer>(msg.payload);
    if (error == 0) {
        // Both families in the resolver's order; an IPv4-only answer has only the first list.
        if (answer) {
            for (const SocketAddress& a : answer->entry.allAddresses)
                dnsResultList_.push_back(AddressText(a));
            if (answer->entry.allAddresses.empty()) {
                for (uint32_t a : answer->entry.addresses) dnsResultList_.push_back(InetNtoa(a));
            }
        }
        if (dnsResultList_.empty()) {
            error = kErrNoData;
        } else {
            dnsResult_ = dnsResultList_.front();
        }
    }
    NotifyDnsLookupDone(error);
}

void TCustomWSocket::HandleAddrLookupDone(const Message& msg) {
    if (lookupRequest_ == 0 || msg.wParam != lookupRequest_) return;
    lookupRequest_ = 0;
    const uint16_t error = SelectError(msg.lParam);
    const auto answer = std::static_pointer_cast<const NameAnswer>(msg.payload);
    if (error == 0 && answer) {
        dnsResult_ = answer->entry.officialName;
        dnsResultList_.assign(1, dnsResult_);
    }
    NotifyDnsLookupDone(error);
}

}  // namespace tarnwick::net
