// TCustomWSocket: one TCP (or UDP) endpoint, IPv4 or IPv6, driven entirely by notifications
// that arrive as messages in the socket's own queue on the thread that created it. Every
// network happening (connection made, data readable, send room, peer closed, connection
// pending, name lookup finished) becomes one of the socket's events.
//
// Addresses: Addr and LocalAddr take a dotted quad, an IPv6 address with or without
// brackets ("::1", "[::1]"), or a name. A name may stand for several addresses of either
// family; Connect tries them in the resolver's order (see Connect below).
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "net/SocketErrors.h"
#include "net/WSockBuf.h"
#include "platform/AsyncLookup.h"
#include "platform/EventLoop.h"
#include "platform/SocketAddress.h"
#include "platform/SocketApi.h"

namespace tarnwick::net {

using platform::TSocket;
inline constexpr TSocket kInvalidSocket = platform::kInvalidSocket;

// Messages of a socket's own queue (the user-message base is 1024).
inline constexpr uint32_t MsgSocketEvent = platform::kMsgUser + 1;
inline constexpr uint32_t MsgHostLookupDone = platform::kMsgUser + 2;
inline constexpr uint32_t MsgAddrLookupDone = platform::kMsgUser + 3;
inline constexpr uint32_t MsgCloseLater = platform::kMsgUser + 4;
inline constexpr uint32_t MsgDestroyLater = platform::kMsgUser + 5;
inline constexpr uint32_t MsgTestException = platform::kMsgUser + 6;
// (TLS sockets use + 7 and + 8.)
inline constexpr uint32_t MsgConnectTimeout = platform::kMsgUser + 9;
inline constexpr uint32_t MsgLineRedeliver = platform::kMsgUser + 20;

// Ordinal values matter: they are stored and compared as numbers.
enum TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed
};
enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };

// A set of TWSocketOption bits.
using TWSocketOptions = uint32_t;
inline constexpr TWSocketOptions wsoNoReceiveLoop = 1;

class TCustomWSocket;

using TSessionConnected = std::function<void(TCustomWSocket* Sender, uint16_t Error)>;
using TSessionClosed = std::function<void(TCustomWSocket* Sender, uint16_t Error)>;
using TSessionAvailable = std::function<void(TCustomWSocket* Sender, uint16_t Error)>;
using TDataAvailable = std::function<void(TCustomWSocket* Sender, uint16_t Error)>;
using TDataSent = std::function<void(TCustomWSocket* Sender, uint16_t Error)>;
using TSendData = std::function<void(TCustomWSocket* Sender, int BytesSent)>;
using TChangeState =
    std::function<void(TCustomWSocket* Sender, TSocketState OldState, TSocketState NewState)>;
using TDnsLookupDone = std::function<void(TCustomWSocket* Sender, uint16_t Error)>;
using TNotifyEvent = std::function<void(TCustomWSocket* Sender)>;
using TBgExceptionEvent =
    std::function<void(TCustomWSocket* Sender, const std::exception& E, bool& CanClose)>;

inline constexpr int kListenBacklog = 5;
// How long a connect to one address may take while other addresses are left to try.
inline constexpr int kDefaultConnectAttemptMs = 5000;
inline constexpr int kDrainChunk = 1024;  // reads that discard data nobody handles

class TCustomWSocket {
  public:
    TCustomWSocket();
    virtual ~TCustomWSocket();
    TCustomWSocket(const TCustomWSocket&) = delete;
    TCustomWSocket& operator=(const TCustomWSocket&) = delete;

    // Events; a handler that is not assigned is skipped.
    TSessionAvailable OnSessionAvailable;
    TSessionConnected OnSessionConnected;
    TSessionClosed OnSessionClosed;
    TChangeState OnChangeState;
    TDataAvailable OnDataAvailable;
    TDataSent OnDataSent;
    TSendData OnSendData;
    TDnsLookupDone OnDnsLookupDone;
    TNotifyEvent OnError;
    TBgExceptionEvent OnBgException;
    // Runs for the deferred destruction asked with PostDestroy: the owner frees the object
    // here (nothing may touch it afterwards). Without a handler the socket is only closed.
    TNotifyEvent OnDestroyLater;

    // Endpoint properties: changing them needs a closed socket.
    const std::string& Addr() const { return addrStr_; }
    void SetAddr(const std::string& value);
    const std::string& Port() const { return portStr_; }
    virtual void SetPort(const std::string& value);
    const std::string& Proto() const { return protoStr_; }
    virtual void SetProto(const std::string& value);
    const std::string& LocalAddr() const { return localAddrStr_; }
    void SetLocalAddr(const std::string& value);
    const std::string& LocalPort() const { return localPortStr_; }
    void SetLocalPort(const std::string& value);

    // The peer's address text of a connected socket ("127.0.0.1", "::1"), else "error".
    std::string PeerAddr() { return GetPeerAddr(); }
    std::string PeerPort() { return GetPeerPort(); }
    const std::string& DnsResult() const { return dnsResult_; }
    const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }
    TSocketState State() const { return state_; }
    int64_t ReadCount() const { return readCount_; }
    int RcvdCount() { return GetRcvdCount(); }
    int LastError() const { return lastError_; }
    // The text of the last error reported through SignalError (also when OnError took it).
    const std::string& LastErrorMessage() const { return lastErrorMessage_; }

    bool MultiThreaded() const { return multiThreaded_; }
    void SetMultiThreaded(bool value) { multiThreaded_ = value; }
    TWSocketOptions ComponentOptions() const { return componentOptions_; }
    void SetComponentOptions(TWSocketOptions value) { componentOptions_ = value; }
    TSocketSendFlags SendFlags();
    void SetSendFlags(TSocketSendFlags value);
    TSocketLingerOnOff LingerOnOff() const { return lingerOnOff_; }
    void SetLingerOnOff(TSocketLingerOnOff value) { lingerOnOff_ = value; }
    int LingerTimeout() const { return lingerTimeout_; }
    void SetLingerTimeout(int seconds) { lingerTimeout_ = seconds; }
    bool Terminated() const { return terminated_; }

    TSocket HSocket() const { return hSocket_; }
    // The socket's own message endpoint.
    platform::TargetId Window() const { return window_; }
    const TSendQueue& SendQueue() const { return sendQueue_; }
    // The capacity of new send blocks (1514 unless changed). A bulk sender raises it so
    // that one block goes to the stack in one call; blocks already queued keep theirs.
    int SendBlockSize() const { return sendQueue_.BlockSize(); }
    void SetSendBlockSize(int size) { sendQueue_.SetBlockSize(size); }
    bool AllSent() const { return allSent_; }

    // Milliseconds a connect to one address may take when further addresses remain: then
    // the next is tried. The last address has no such limit of its own: the system's connect
    // time-out ends it, as it ends the connect to a host with a single address. 0 turns the
    // limit off (only refusals and the system's time-outs move on).
    int ConnectAttemptTimeout() const { return connectAttemptMs_; }
    void SetConnectAttemptTimeout(int ms) { connectAttemptMs_ = ms < 0 ? 0 : ms; }

    // The family of the open handle (connecting, connected, bound or listening): AF_INET or
    // AF_INET6; AF_UNSPEC without a handle.
    int AddressFamily() const;
    // The local address text of the open handle ("0.0.0.0", "::1"), else "error": the
    // counterpart of GetBoundPort.
    std::string GetBoundAddr();
    // Either family; 0, or -1 (not connected for the peer; the error for both).
    int GetPeerAddress(platform::SocketAddress& addr);
    int GetSockAddress(platform::SocketAddress& addr);

    // Operations. Connect reaches the first address of Addr; when that connect is refused,
    // finds no route, or takes longer than ConnectAttemptTimeout, the next address is tried
    // on a new handle, without events (the state stays wsConnecting), and only the last
    // failure is reported. The addresses are those of Addr's name, or, when Addr was set to
    // the first result of this socket's last LookupHost, that lookup's results.
    virtual void Connect();
    virtual void Close();
    virtual void PostClose();
    virtual void PostDestroy();
    virtual void Abort();
    virtual void Flush();
    virtual void WaitUntilClosed();
    virtual void Listen();
    virtual TSocket Accept();
    virtual int Receive(void* buffer, int size);
    virtual std::string ReceiveText();
    virtual int ReceiveFrom(void* buffer, int size, sockaddr_in& from, int& fromLen);
    virtual int Send(const void* data, int len);
    virtual int SendTo(const sockaddr_in& dest, int destLen, const void* data, int len);
    virtual int SendText(const std::string& text);
    virtual void LookupHost(const std::string& hostName);
    virtual void LookupAddress(const std::string& hostAddr);
    virtual void CancelLookup();
    virtual int GetPeerSockAddr(sockaddr_in& addr, int& len);
    virtual std::string GetBoundPort();
    virtual int GetSockName(sockaddr_in& addr, int& len);
    virtual void Dup(TSocket handle);
    virtual void Shutdown(int how);
    virtual void SuspendEvents();
    virtual void ResumeEvents();
    virtual void PumpMessages();

    void ApplyLinger();
    // getsockopt on the open handle (the FTP engine reads SO_SNDBUF); 0 or -1.
    int GetSockOpt(int level, int option, void* value, int& len);

  protected:
    virtual void HandleMessage(const platform::Message& msg);
    virtual void ResetDefaults();
    virtual void FinishClose(bool shut, uint16_t error);
    virtual int GetRcvdCount();
    // Received bytes a layer holds itself, ahead of the stack's, for Receive to hand out.
    virtual int BufferedCount() { return 0; }
    virtual void BindLocal();
    // One send call on the handle; the queue step that called it raises OnSendData once
    // the bytes are taken off the queue.
    virtual int RawSend(const void* data, int len);
    virtual void SignalError(const std::string& message);
    virtual void HandleEventException(const std::exception& e);
    // Returns whether a handler ran.
    virtual bool NotifyDataAvailable(uint16_t error);
    virtual void NotifySessionAvailable(uint16_t error);
    virtual void NotifySessionConnected(uint16_t error);
    virtual void NotifySessionClosed(uint16_t error);
    virtual void NotifyDataSent(uint16_t error);
    void NotifySendData(int bytesSent);
    virtual void NotifyChangeState(TSocketState oldState, TSocketState newState);
    virtual void NotifyDnsLookupDone(uint16_t error);
    virtual void NotifyError();
    virtual int RawReceive(void* buffer, int size, int flags);
    virtual int RawReceiveFrom(void* buffer, int size, int flags, sockaddr_in& from, int& fromLen);
    virtual std::string GetPeerAddr();
    virtual std::string GetPeerPort();

    void SetState(TSocketState newState);
    void ReportSocketError(const std::string& functionName);
    void ServeReadable(uint16_t error);
    void TryToSend();
    bool OnlyADrainedBlock();
    void SendStraight(const uint8_t* bytes, int len);
    void SendRefused();
    void ClearSendQueue() { sendQueue_.Clear(); }
    void QueueOutgoing(const void* data, int len) { sendQueue_.QueueOutgoing(data, len); }
    bool Destroying() const { return destroying_; }
    // The addresses to try after Addr that came with the last lookup (see Connect).
    const std::vector<std::string>& AddrFallbacks() const { return addrFallbacks_; }
    // Posts a message to the socket's own queue (deferred work of the socket itself).
    void PostToSelf(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
        loop_->Post(window_, msg, wParam, lParam);
    }

    // Remote addresses (port 0): the targets of Connect in the order they are tried, the
    // address of Listen first; targetPort_ (host order) goes with each of them.
    std::vector<platform::SocketAddress> targets_;
    uint16_t targetPort_ = 0;
    // The peer of the last Accept.
    platform::SocketAddress acceptedPeer_;
    bool addrResolved_ = false;
    bool portResolved_ = false;
    bool localPortResolved_ = false;
    uint16_t portNum_ = 0;
    bool closeNotified_ = false;

  private:
    void AssignEndpointText(const std::string& value, std::string& text, bool& assigned,
                            bool& resolved, const char* refusal);
    void ResolveEndpoint(bool withLocalPort);
    bool BeginLookup(const std::string& text);
    void WndProc(const platform::Message& msg);
    void HandleSocketEvent(uintptr_t handle, intptr_t lParam);
    void HandleHostLookupDone(const platform::Message& msg);
    void HandleAddrLookupDone(const platform::Message& msg);
    bool OpenStreamOptions();
    void PostWriteNotification();
    platform::SocketAddress CurrentTarget() const;
    // 0, or the error of a bind to LocalAddr/LocalPort for a handle of the family.
    int BindLocalAddress(int family);
    void TakeLookupFallbacks();
    int StartConnectAttempt();
    bool TryNextAddress(uint16_t error);
    void ArmConnectTimer();
    void StopConnectTimer();
    void HandleConnectTimeout(const platform::Message& msg);

    platform::EventLoop* loop_;
    platform::TargetId window_ = 0;

    std::string dnsResult_;
    std::vector<std::string> dnsResultList_;
    TSocket acceptedHandle_ = kInvalidSocket;
    TSendQueue sendQueue_;
    int sendFlags_ = 0;
    int lastError_ = 0;
    std::string lastErrorMessage_;
    platform::LookupRequest lookupRequest_ = 0;
    uint32_t selectMask_ = 0;
    TSocket hSocket_ = kInvalidSocket;

    std::string addrStr_;
    bool addrAssigned_ = false;
    // Addresses of the last lookup that follow Addr (see Connect).
    std::vector<std::string> addrFallbacks_;
    size_t targetIndex_ = 0;
    platform::TimerId connectTimer_ = 0;
    int connectAttemptMs_ = kDefaultConnectAttemptMs;
    int proto_ = IPPROTO_TCP;
    bool protoAssigned_ = true;
    bool protoResolved_ = false;
    std::string protoStr_ = "tcp";
    std::string portStr_;
    bool portAssigned_ = false;
    std::string localPortStr_ = "0";
    uint16_t localPortNum_ = 0;
    std::string localAddrStr_ = "0.0.0.0";
    int sockType_ = 1;  // SOCK_STREAM
    TSocketLingerOnOff lingerOnOff_ = wsLingerOn;
    int lingerTimeout_ = 0;
    bool allSent_ = true;
    int64_t readCount_ = 0;
    bool suspended_ = false;
    bool multiThreaded_ = false;
    TWSocketOptions componentOptions_ = 0;
    TSocketState state_ = wsClosed;
    bool terminated_ = false;
    bool destroying_ = false;
};

}  // namespace tarnwick::net
