// The FTP engine's vocabulary: engine states, request identifiers, compound steps, options
// and the engine's exception. The numeric values of TFtpEngineState and TFtpRequest are an
// interface: the session controller compares and tabulates them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tarnwick::ftp {

// Raised when a request cannot start; such a request produces no OnRequestDone.
class FtpException : public std::runtime_error {
  public:
    explicit FtpException(const std::string& message) : std::runtime_error(message) {}
};

enum TFtpEngineState : uint8_t {
    esNotConnected = 0,
    esReady = 1,
    esBetweenSteps = 2,
    esResolving = 3,
    esConnected = 4,
    esAborting = 5,
    // 6 is not used.
    esAwaitingBanner = 7,
    esAwaitingReply = 8,
};

enum class TFtpRequest : uint8_t {
    none = 0,
    OpenAsync = 1,
    UserAsync = 2,
    PassAsync = 3,
    CwdAsync = 4,
    ConnectAsync = 5,
    ReceiveAsync = 6,
    DirAsync = 7,
    LsAsync = 8,
    PortAsync = 9,
    GetAsync = 10,
    DirectoryAsync = 11,
    ListAsync = 12,
    SystemAsync = 13,
    SystAsync = 14,
    QuitAsync = 15,
    SizeAsync = 16,
    PutAsync = 17,
    AppendAsync = 18,
    FileSizeAsync = 19,  // never reported: FileSizeAsync reports SizeAsync
    RqAbort = 20,        // never reported
    MkdAsync = 21,
    RmdAsync = 22,
    RenameAsync = 23,
    DeleAsync = 24,
    RenAsync = 25,
    RenToAsync = 26,
    RenFromAsync = 27,
    DeleteAsync = 28,
    MkdirAsync = 29,
    RmdirAsync = 30,
    PwdAsync = 31,
    QuoteAsync = 32,
    CDupAsync = 33,
    DoQuoteAsync = 34,
    TransmitAsync = 35,
    TypeSetAsync = 36,
    RestAsync = 37,
    RestGetAsync = 38,
    RestartGetAsync = 39,
    RestPutAsync = 40,
    RestartPutAsync = 41,
    FeatAsync = 42,
    OptsUtf8Async = 43,
    MlsdAsync = 44,
    MdtmAsync = 45,
    OptsMlstAsync = 46,
};

// The display name of a request ("CwdAsync"), "none" for 0; "" for values outside the table.
const char* FtpRequestName(TFtpRequest request);

// Steps of compound requests; a set of steps is a 32-bit word in which step n is bit n.
enum class TFtpStep : uint8_t {
    None = 0,
    Open = 1,
    User = 2,
    Pass = 3,
    Cwd = 4,
    Size = 5,
    Mkd = 6,
    Rmd = 7,
    RenFrom = 8,
    RenTo = 9,
    Get = 10,
    Dir = 11,
    Quit = 12,
    Syst = 13,
    Dele = 14,
    Pwd = 15,
    Quote = 16,
    Put = 17,
    TypeSet = 18,
    Rest = 19,
    CDup = 20,
    Ls = 21,
    Append = 22,
    Port = 23,
    Mlsd = 24,
    Feat = 25,
    Opts = 26,
    Mdtm = 27,
};

using TFtpStepSet = uint32_t;
inline constexpr TFtpStepSet StepBit(TFtpStep step) {
    return TFtpStepSet{1} << static_cast<unsigned>(step);
}

// Options: a set of bits.
using TFtpOptions = uint32_t;
inline constexpr TFtpOptions ftpAcceptLF = 1;        // a reply line ends at LF alone
inline constexpr TFtpOptions ftpNoAutoResumeAt = 2;  // no automatic restart offset

enum TFtpShareMode : uint8_t {
    ftpShareCompat,
    ftpShareExclusive,
    ftpShareDenyWrite,
    ftpShareDenyRead,
    ftpShareDenyNone,
};

enum TFtpConnectionType : uint8_t {
    ftpDirect = 0,
    ftpProxy = 1,
    ftpSocks4 = 2,
    ftpSocks4A = 3,
    ftpSocks5 = 4,
};

// How the control and data connections are encrypted. The values are stored in the server
// list ("Encryption=N;").
enum class TFtpEncryption : int {
    Plain = 0,                // no TLS
    ExplicitRequired = 1,     // AUTH TLS; a refusal ends the connect
    Implicit = 2,             // TLS from the first byte
    ExplicitIfAvailable = 3,  // AUTH TLS; a refusal goes on unencrypted
};

// The command that opens a passive data connection on an IPv4 control connection (an IPv6
// one always uses EPSV). The values are stored in the server list ("DataConnection=N;").
enum class TFtpPassiveCommand : int {
    Pasv = 0,  // PASV
    Epsv = 1,  // EPSV, and PASV for the rest of the session when the server does not know it
};

// The port an implicit FTPS server listens on unless told otherwise.
inline constexpr int kImplicitFtpsPort = 990;

// The SOCKS settings the engine hands to its sockets. The level and the authentication
// follow the connection type.
struct FtpSocksSettings {
    std::string server;
    std::string port;
    std::string userCode;
    std::string password;
    std::string level = "5";
    bool authenticate = false;  // offer user/password (SOCKS 5)
};

}  // namespace tarnwick::ftp
