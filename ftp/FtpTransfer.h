// The pieces of a data transfer that stand on their own: block sizes, the port of a PASV
// reply, the PORT command text, the statistics line, cutting downloaded text into lines,
// and the state of the transfer that runs.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "ftp/FtpTypes.h"
#include "platform/SocketApi.h"

namespace tarnwick::ftp {

// Downloads read at most kReceiveBlockSize bytes per read and write them straight to the
// file; uploads keep exactly one block of at most kSendBlockSize bytes in the socket and read
// the next one when it has drained. Both are fixed, so memory does not grow with the file.
// At 1 MiB a transfer makes a sixteenth of the system calls and trips through the event
// loop that 64 KiB blocks took, and the stack acknowledges less often: over loopback that
// took about a third off the client's CPU time per GiB, each way.
inline constexpr size_t kReceiveBlockSize = 1024 * 1024;
inline constexpr size_t kSendBlockSize = 1024 * 1024;
// A download under TLS reads at most this much at a time: a read decrypts record after
// record into the block, and with 1 MiB reads FTPS downloads over loopback ran at half the
// rate they have with 64 KiB.
inline constexpr size_t kTlsReceiveBlockSize = 64 * 1024;
// Bytes a server sends on the data connection before it has accepted the download are
// held, at most this many; past it the data socket is not read until the reply comes.
inline constexpr size_t kEarlyDataLimit = 64 * 1024;

// Replies of a transfer verb: preliminary (125, 150) and final (226, 250; a download also
// takes 125 as final).
inline constexpr int kReplyAlreadyOpen = 125;
inline constexpr int kReplyOpening = 150;
inline constexpr int kReplyTransferDone = 226;
inline constexpr int kReplyActionDone = 250;

// The port of a 227 reply "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)": p1 * 256 + p2.
// The four address numbers are not used (the data connection goes to the address the
// control connection was made to), but there must be six numbers of 0 to 255 between
// parentheses; false otherwise.
bool ParsePasvPort(const std::string& reply, uint16_t& port);

// The port of a 229 reply "229 Entering Extended Passive Mode (|||port|)": between
// parentheses three equal delimiters (any printable character but a digit), the port, the
// delimiter again; the address fields are empty (the data connection goes to the address
// the control connection was made to). Returns an empty text and sets port (1 to 65535),
// or what is wrong with the reply.
std::string ParseEpsvPort(const std::string& reply, uint16_t& port);

// "EPRT |2|addr|port|" (or |1| for an IPv4 address) for a listening port and the address
// text of the control connection's local address.
std::string EprtCommandText(bool ipv6, const std::string& localAddr, uint16_t port);

// "PORT h1,h2,h3,h4,p1,p2" for a listening port and the control connection's local address
// (network order); "127,0,0,1" when the control connection was made to 127.0.0.1.
std::string PortCommandText(const std::string& controlAddr, const in_addr& localAddr,
                            uint16_t port);

// "<n> bytes received/sent in <s> seconds", followed by " (<rate> Bytes/sec)" when the
// transfer took at least a millisecond.
std::string TransferStatsText(int64_t byteCount, uint64_t milliseconds);

// Whether a request moves data (a listing, a download or an upload, alone or in a session
// of its own): its end, however it comes, clears the restart offset.
bool MovesData(TFtpRequest request);

// Cuts downloaded text into lines for the line display. A line ends at CR or LF (CR LF
// counts once, empty lines are skipped); a line cut by a block boundary is held until the
// rest arrives, and Flush hands over what is held when the data connection closes.
class LineSplitter {
  public:
    using Sink = std::function<void(std::string& line)>;

    void Feed(const char* data, size_t size, const Sink& sink);
    void Flush(const Sink& sink);
    void Clear() { carry_.clear(); }

  private:
    std::string carry_;
};

// A data connection accepted before its transfer step runs (servers that connect at once
// when PORT arrives): held here until the step adopts it, closed when it never does.
class PendingDataConnection {
  public:
    PendingDataConnection() = default;
    ~PendingDataConnection() { Reset(); }
    PendingDataConnection(const PendingDataConnection&) = delete;
    PendingDataConnection& operator=(const PendingDataConnection&) = delete;

    bool Held() const { return handle_ != platform::kInvalidSocket; }
    void Hold(platform::TSocket handle) {
        Reset();
        handle_ = handle;
    }
    platform::TSocket Take() {
        const platform::TSocket h = handle_;
        handle_ = platform::kInvalidSocket;
        return h;
    }
    void Reset() {
        if (Held()) platform::SocketClose(Take());
    }

  private:
    platform::TSocket handle_ = platform::kInvalidSocket;
};

// The state of the transfer that runs (one at a time).
struct FtpTransferState {
    std::string getCommand;  // "RETR", "LIST" or "NLST"
    bool appendFlag = false;
    int64_t byteCount = 0;  // bytes moved, not counting the restart offset
    uint64_t startTick = 0;
    uint64_t stopTick = 0;
    bool finalReplyOk = false;
    bool dataClosed = false;
    uint16_t dataError = 0;
    bool storReplied = false;
    bool putConnected = false;
    bool eofReached = false;
    // A download opens its local file only once the server has accepted the transfer
    // (125/150): a refused verb leaves the file as it was.
    bool localFilePending = false;
    // The 125/150 reply to the download verb has come. Bytes that arrive before it wait in
    // heldData (at most kEarlyDataLimit; readPaused once it is full) and are written only
    // then; a refusal drops them.
    bool accepted = false;
    std::string heldData;
    bool readPaused = false;
    // Bytes of the local file an upload has to send (after the restart offset).
    int64_t bytesToSend = 0;
    // A failure on our side of a transfer the server has accepted (the user's abort, a
    // local file that cannot be written or read, a broken data connection): the request
    // waits for the server's final reply, then ends with this code whatever that reply was.
    int failure = 0;
};

}  // namespace tarnwick::ftp
