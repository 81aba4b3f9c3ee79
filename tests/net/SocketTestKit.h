// Helpers for the socket tests: an event log attached to a socket, and a loopback server
// whose accepted connection is adopted into a TWSocket the test prepares.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "net/WSocket.h"
#include "tests/support/PumpUntil.h"

namespace tarnwick::net::testkit {

using tarnwick::testing::PumpFor;
using tarnwick::testing::PumpUntil;

inline const char* StateName(TSocketState s) {
    static const char* const kNames[] = {"wsInvalidState", "wsOpened",    "wsBound",
                                         "wsConnecting",   "wsConnected", "wsAccepting",
                                         "wsListening",    "wsClosed"};
    return kNames[s];
}

// Records the socket's events as short texts: "state:wsClosed>wsOpened", "connected:0",
// "closed:0", "sent:0", "available:0", "dns:0", "error".
class EventLog {
  public:
    void Attach(TCustomWSocket& s) {
        s.OnChangeState = [this](TCustomWSocket*, TSocketState o, TSocketState n) {
            Add(std::string("state:") + StateName(o) + ">" + StateName(n));
        };
        s.OnSessionConnected = [this](TCustomWSocket*, uint16_t e) {
            Add("connected:" + std::to_string(e));
        };
        s.OnSessionClosed = [this](TCustomWSocket*, uint16_t e) {
            Add("closed:" + std::to_string(e));
        };
        s.OnDataSent = [this](TCustomWSocket*, uint16_t e) { Add("sent:" + std::to_string(e)); };
        s.OnSessionAvailable = [this](TCustomWSocket*, uint16_t e) {
            Add("available:" + std::to_string(e));
        };
        s.OnDnsLookupDone = [this](TCustomWSocket*, uint16_t e) {
            Add("dns:" + std::to_string(e));
        };
    }
    void Add(const std::string& entry) { entries.push_back(entry); }
    int Count(const std::string& entry) const {
        return static_cast<int>(std::count(entries.begin(), entries.end(), entry));
    }
    bool Has(const std::string& entry) const { return Count(entry) > 0; }
    // Position of the first occurrence, or -1.
    int IndexOf(const std::string& entry) const {
        auto it = std::find(entries.begin(), entries.end(), entry);
        return it == entries.end() ? -1 : static_cast<int>(it - entries.begin());
    }
    void Clear() { entries.clear(); }
    std::string Text() const {
        std::string t;
        for (const auto& e : entries) t += e + " ";
        return t;
    }

    std::vector<std::string> entries;
};

// Listens on 127.0.0.1 with a port the system picks; each connection that comes in is
// accepted and adopted (Dup) into `conn`, which the test prepares beforehand.
class LoopbackServer {
  public:
    LoopbackServer() {
        listener.SetProto("tcp");
        listener.SetAddr("127.0.0.1");
        listener.SetPort("0");
        listener.Listen();
        sockaddr_in bound{};
        int len = sizeof(bound);
        EXPECT_EQ(listener.GetSockName(bound, len), 0);
        port = ntohs(bound.sin_port);
        listener.OnSessionAvailable = [this](TCustomWSocket*, uint16_t) {
            const TSocket h = listener.Accept();
            if (h != kInvalidSocket) {
                conn.Dup(h);
                ++accepted;
            }
        };
    }
    std::string PortText() const { return std::to_string(port); }

    TWSocket listener;
    TWSocket conn;
    uint16_t port = 0;
    int accepted = 0;
};

// The text an operation raises (without OnError), or "" when it raises nothing.
template <typename F>
std::string RaisedText(F&& operation) {
    try {
        operation();
    } catch (const ESocketException& e) {
        return e.what();
    }
    return "";
}

// A port on 127.0.0.1 where nobody listens (it was free a moment ago).
inline std::string ClosedPort() {
    TWSocket probe;
    probe.SetAddr("127.0.0.1");
    probe.SetPort("0");
    probe.Listen();
    const std::string port = probe.GetBoundPort();
    probe.Close();
    return port;
}

inline void ConnectTo(TCustomWSocket& s, const std::string& port) {
    s.SetProto("tcp");
    s.SetAddr("127.0.0.1");
    s.SetPort(port);
    s.Connect();
}

// A deterministic byte pattern, different for every seed.
inline std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 1u;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return bytes;
}

// Reads everything readable into `into` on each data notification.
inline TDataAvailable ReadAllInto(std::vector<uint8_t>& into) {
    return [&into](TCustomWSocket* s, uint16_t) {
        uint8_t buf[65536];
        int n;
        while ((n = s->Receive(buf, sizeof(buf))) > 0) into.insert(into.end(), buf, buf + n);
    };
}

}  // namespace tarnwick::net::testkit
