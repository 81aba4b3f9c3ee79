// Helpers for the SOCKS tests: a socket prepared to connect through a proxy, whose event
// log also records the SOCKS events and whose data handler keeps what it receives.
#pragma once

#include <string>

#include "tests/net/SocketTestKit.h"

namespace tarnwick::net::testkit {

// Adds "socksconnected:E", "sockserror:E:Msg", "auth:begin|succeeded|refused|skipped" and
// "data:<bytes>" (one entry per data offer that yielded bytes) to the socket's log.
struct SocksClient {
    SocksClient() {
        log.Attach(sock);
        sock.OnSocksConnected = [this](TCustomWSocket*, uint16_t e) {
            log.Add("socksconnected:" + std::to_string(e));
        };
        sock.OnSocksError = [this](TCustomWSocket*, int e, const std::string& msg) {
            log.Add("sockserror:" + std::to_string(e) + ":" + msg);
        };
        sock.OnSocksAuthState = [this](TCustomWSocket*, TSocksAuthState s) {
            static const char* const kNames[] = {"begin", "succeeded", "refused", "skipped"};
            log.Add(std::string("auth:") + kNames[s]);
        };
        sock.OnDataAvailable = [this](TCustomWSocket* s, uint16_t) {
            char buf[4096];
            const int n = s->Receive(buf, sizeof(buf));
            if (n > 0) {
                received.append(buf, static_cast<size_t>(n));
                log.Add("data:" + std::string(buf, static_cast<size_t>(n)));
            }
        };
    }

    // Connects to addr:port through the proxy at 127.0.0.1:proxyPort.
    void Connect(const std::string& proxyPort, const std::string& level, const std::string& addr,
                 const std::string& port) {
        sock.SetSocksServer("127.0.0.1");
        sock.SetSocksPort(proxyPort);
        sock.SetSocksLevel(level);
        sock.SetProto("tcp");
        sock.SetAddr(addr);
        sock.SetPort(port);
        sock.Connect();
    }
    void UseCredentials(const std::string& user, const std::string& password) {
        sock.SetSocksUsercode(user);
        sock.SetSocksPassword(password);
        sock.SetSocksAuthentication(socksAuthenticateUsercode);
    }
    // Pumps until the socket was told it is connected (or failed), or closed.
    bool WaitConnected() {
        return PumpUntil([this] {
            for (const auto& e : log.entries)
                if (e.rfind("connected:", 0) == 0 || e.rfind("closed:", 0) == 0) return true;
            return false;
        });
    }
    bool WaitClosed() {
        return PumpUntil([this] { return sock.State() == wsClosed && !log.entries.empty(); });
    }

    TWSocket sock;
    EventLog log;
    std::string received;
};

}  // namespace tarnwick::net::testkit
