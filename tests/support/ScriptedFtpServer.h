// A scripted FTP server for tests: listens on 127.0.0.1 with a port the system picks,
// accepts one control connection and plays a script of steps on its own thread with
// blocking sockets: expect a command line and record it, send canned bytes (whole, in
// pieces with pauses), pause, close. When the script has run out the server stays silent
// but keeps recording what it receives until the client closes or the server is destroyed.
//
// Data connections: the server also listens for one (passive mode: AcceptData, its port in
// the 227 text made by PasvReplyText), or connects to the address of the last PORT command
// received (active mode: ConnectData); then SendData, ReceiveData (until the client closes),
// CloseData or ResetData (an abortive close).
//
//   ScriptedFtpServer server;
//   server.Reply("220 Ready").Expect("USER anonymous").Reply("331 Password please");
//   server.Start();
//   ... client.SetPort(server.PortText()) ...
//   EXPECT_EQ(server.Received(), (std::vector<std::string>{"USER anonymous"}));
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick::testing {

class ScriptedFtpServer {
  public:
    // dataPort: the port of the passive-mode data listener, 0 for one the system picks.
    // Throws when it cannot be bound.
    explicit ScriptedFtpServer(uint16_t dataPort = 0);
    ~ScriptedFtpServer();
    ScriptedFtpServer(const ScriptedFtpServer&) = delete;
    ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;

    uint16_t Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }
    uint16_t DataPort() const { return dataPort_; }
    // "227 Entering Passive Mode (<hostNumbers>,p1,p2)" for the data listener's port.
    std::string PasvReplyText(const std::string& hostNumbers = "127,0,0,1") const;

    // Script steps, run in the order given.
    ScriptedFtpServer& Reply(const std::string& line);  // line + CR LF
    ScriptedFtpServer& Send(const std::string& raw);    // bytes as they are
    // The pieces are written one by one, with pauseMs between them.
    ScriptedFtpServer& SendPieces(const std::vector<std::string>& pieces, int pauseMs);
    // Reads one command line (CR LF or LF removed), records it, and notes a mismatch when it
    // is not exactly `command`. A prefix ending in "*" matches any line that starts with it.
    ScriptedFtpServer& Expect(const std::string& command);
    ScriptedFtpServer& Pause(int ms);
    ScriptedFtpServer& Close();
    ScriptedFtpServer& AcceptData();
    ScriptedFtpServer& ConnectData();
    ScriptedFtpServer& SendData(const std::string& bytes);
    ScriptedFtpServer& ReceiveData();
    // ReceiveData as a slow link: one small read, then pauseMs, and so on.
    ScriptedFtpServer& ReceiveDataSlowly(int pauseMs);
    // The receive buffer of the data connections accepted from now on (before Start).
    void SetDataReceiveBuffer(int bytes);
    ScriptedFtpServer& CloseData();
    ScriptedFtpServer& ResetData();

    // Runs the script on the server's thread (the client may connect before or after).
    void Start();

    // Thread-safe views of what happened.
    std::vector<std::string> Received() const;
    std::vector<std::string> Mismatches() const;
    bool ScriptDone() const { return scriptDone_; }
    // For a client that ran to its end on the test's thread: the server's thread may still
    // be finishing its last step. True once the script ended, false after ms.
    bool WaitScriptDone(int ms = 2000) const;
    bool ClientClosed() const { return clientClosed_; }
    int Connections() const { return connections_; }
    // The bytes ReceiveData took, and the port a PORT command named (0 before one came).
    std::string DataReceived() const;
    uint16_t ActivePort() const { return activePort_; }

  private:
    enum class Kind {
        Send,
        Expect,
        Pause,
        Close,
        AcceptData,
        ConnectData,
        SendData,
        ReceiveData,
        CloseData,
        ResetData
    };
    struct Step {
        Kind kind;
        std::string text;
        int ms = 0;
    };

    void Run();
    bool AcceptClient();
    bool ReadLine(std::string& line);  // false when the client closed or the server stops
    bool WriteAll(const std::string& bytes);
    void Record(const std::string& line);
    void Mismatch(const std::string& text);
    void Drain();
    bool RunDataStep(const Step& step);
    void NotePortCommand(const std::string& line);

    int listenFd_ = -1;
    int clientFd_ = -1;
    uint16_t port_ = 0;
    int dataListenFd_ = -1;
    int dataFd_ = -1;
    uint16_t dataPort_ = 0;
    std::atomic<uint16_t> activePort_{0};
    uint32_t activeAddr_ = 0;  // network order
    std::string dataReceived_;
    std::vector<Step> script_;
    std::string pending_;  // bytes read but not yet cut into lines
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> scriptDone_{false};
    std::atomic<bool> clientClosed_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> received_;
    std::vector<std::string> mismatches_;
};

}  // namespace tarnwick::testing
