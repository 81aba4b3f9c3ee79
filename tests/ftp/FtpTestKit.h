// The fixture of the engine tests. It records the engine's events and checks, on every
// test, the completion rule: exactly one OnRequestDone per request that started, never
// while the call that started it is still running, and none for a call that raised.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ftp/FtpClient.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/ScriptedFtpServer.h"

namespace tarnwick::ftp::testkit {

using tarnwick::testing::PumpFor;
using tarnwick::testing::PumpUntil;
using tarnwick::testing::ScriptedFtpServer;

struct Done {
    TFtpRequest rq;
    uint16_t error;
    std::string errorMessage;  // as seen inside OnRequestDone
    TFtpEngineState state;
};

template <typename Client = TFtpClient>
class EngineFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ftp.SetTimeout(5);
        ftp.OnDisplay = [this](TCustomFtpCli*, std::string& m) { display.push_back(m); };
        ftp.OnResponse = [this](TCustomFtpCli*) { responses.push_back(ftp.LastResponse()); };
        ftp.OnStateChange = [this](TCustomFtpCli*) {
            states.push_back(ftp.State());
            ++stateChanges;
        };
        ftp.OnSessionConnected = [this](TCustomFtpCli*, uint16_t) { ++sessionConnected; };
        ftp.OnSessionClosed = [this](TCustomFtpCli*, uint16_t) { ++sessionClosed; };
        ftp.OnRequestDone = [this](TCustomFtpCli*, TFtpRequest rq, uint16_t error) {
            if (inCall) ++doneInsideCall;
            dones.push_back({rq, error, ftp.ErrorMessage(), ftp.State()});
        };
    }

    void TearDown() override {
        // A request a test left open (a silent server) is dropped; it must still report.
        if (ftp.State() != esReady && ftp.State() != esBetweenSteps) ftp.AbortSession();
        PumpUntil([&] { return dones.size() >= started; }, 3000);
        PumpFor(30);  // a second report would arrive now
        EXPECT_EQ(dones.size(), started) << "OnRequestDone count differs from requests started";
        EXPECT_EQ(doneInsideCall, 0) << "OnRequestDone ran inside the call that started it";
    }

    // Calls an operation that starts a request. Returns the FtpException text, or "" when
    // the request started (and must then report once).
    std::string Start(const std::function<void()>& op) {
        inCall = true;
        try {
            op();
        } catch (const FtpException& e) {
            inCall = false;
            return e.what();
        }
        inCall = false;
        ++started;
        return "";
    }

    // A raw QUIT, STAT or ABOR sent while a request runs joins that request: the two end
    // with one report.
    void TakeOver(const std::function<void()>& op) {
        inCall = true;
        op();
        inCall = false;
    }

    // Runs a waiting wrapper; a request started when the call changed the engine's state.
    bool Sync(const std::function<bool()>& wrapper) {
        const int before = stateChanges;
        const bool ok = wrapper();
        if (stateChanges != before) ++started;
        return ok;
    }

    // Starts op, waits for its report and checks the request value and Error reported.
    void ExpectRequest(const std::function<void()>& op, TFtpRequest rq, uint16_t error) {
        ASSERT_EQ(Start(op), "");
        ASSERT_TRUE(WaitNextDone());
        EXPECT_EQ(FtpRequestName(dones.back().rq), std::string(FtpRequestName(rq)));
        EXPECT_EQ(dones.back().error, error) << ftp.ErrorMessage();
    }

    // Pumps until n reports arrived in all.
    bool WaitDones(size_t n, int deadlineMs = 5000) {
        return PumpUntil([&] { return dones.size() >= n; }, deadlineMs);
    }
    bool WaitNextDone(int deadlineMs = 5000) { return WaitDones(dones.size() + 1, deadlineMs); }

    void Target(const ScriptedFtpServer& server) {
        ftp.SetHostName("127.0.0.1");
        ftp.SetPort(server.PortText());
    }

    // Opens a session on a server whose script starts with a greeting.
    void Open(const ScriptedFtpServer& server) {
        Target(server);
        ASSERT_EQ(Start([&] { ftp.OpenAsync(); }), "");
        ASSERT_TRUE(WaitNextDone());
        ASSERT_EQ(dones.back().error, 0) << ftp.ErrorMessage();
    }

    bool Displayed(const std::string& line) const {
        for (const auto& d : display)
            if (d == line) return true;
        return false;
    }

    Client ftp;
    std::vector<Done> dones;
    std::vector<std::string> display;
    std::vector<std::string> responses;
    std::vector<TFtpEngineState> states;
    int stateChanges = 0;
    int sessionConnected = 0;
    int sessionClosed = 0;
    size_t started = 0;
    bool inCall = false;
    int doneInsideCall = 0;
};

}  // namespace tarnwick::ftp::testkit
