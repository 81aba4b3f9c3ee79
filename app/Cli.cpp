#include "app/Cli.h"

#include <cctype>
#include <optional>
#include <string>

#include "app/CliSession.h"
#include "app/FtpUrl.h"
#include "app/SavedServerTarget.h"
#include "app/SettingsCommands.h"
#include "app/TerminalText.h"
#include "app/TransferCommands.h"

namespace tarnwick::cli {
namespace {

// The host type string: one digit per listing style.
constexpr std::size_t kHostTypeLength = 7;

int BadUsage(std::ostream& err, const std::string& reason = "") {
    if (!reason.empty()) err << "tarnwick-cli: " << reason << '\n';
    err << UsageText();
    return kExitUsage;
}

// The port a proxy named without one listens on.
constexpr const char* kFtpProxyPort = "21";
constexpr const char* kSocksPort = "1080";
constexpr unsigned long kMaxPort = 65535;
// --timeout: up to 999,999,999 seconds, which an int holds.
constexpr std::size_t kMaxTimeoutDigits = 9;

struct ProxyTypeName {
    const char* name;
    ftp::TFtpConnectionType type;
};
constexpr ProxyTypeName kProxyTypes[] = {
    {"direct", ftp::ftpDirect},   {"ftp-proxy", ftp::ftpProxy}, {"socks4", ftp::ftpSocks4},
    {"socks4a", ftp::ftpSocks4A}, {"socks5", ftp::ftpSocks5},
};

bool ReadProxyType(const std::string& text, ftp::TFtpConnectionType& type) {
    for (const auto& t : kProxyTypes) {
        if (text == t.name) {
            type = t.type;
            return true;
        }
    }
    return false;
}

// HOST or HOST:PORT; the port 1 to 65535 in digits.
bool ReadProxyAddress(const std::string& text, ProxyOptions& proxy) {
    const std::size_t colon = text.rfind(':');
    proxy.Host = text.substr(0, colon);
    proxy.Port = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (proxy.Host.empty()) return false;
    for (char c : proxy.Host) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == '@' || c == '/') return false;
    }
    if (colon == std::string::npos) return true;
    if (proxy.Port.empty() || proxy.Port.size() > 5) return false;
    for (char c : proxy.Port) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    const unsigned long port = std::stoul(proxy.Port);
    return port >= 1 && port <= kMaxPort;
}

// The proxy options must fit together: a proxy type other than direct needs --proxy, and
// --proxy, --proxy-user and --proxy-pass need a type that uses them.
bool CheckProxyOptions(TransferOptions& options, bool typeGiven, std::string& reason) {
    ProxyOptions& proxy = options.Proxy;
    const bool socks = proxy.Type == ftp::ftpSocks4 || proxy.Type == ftp::ftpSocks4A ||
                       proxy.Type == ftp::ftpSocks5;
    if (proxy.Type == ftp::ftpDirect) {
        if (!proxy.Host.empty()) {
            reason = typeGiven ? "--proxy needs a --proxy-type other than direct"
                               : "--proxy needs --proxy-type";
            return false;
        }
    } else {
        if (proxy.Host.empty()) {
            reason = "--proxy-type " + std::string(socks ? "socks" : "ftp-proxy") +
                     " needs --proxy HOST:PORT";
            return false;
        }
        if (proxy.Port.empty()) proxy.Port = socks ? kSocksPort : kFtpProxyPort;
        if (options.ActiveAsked) {
            reason = "--active needs a direct connection";
            return false;
        }
    }
    if (!socks && (!proxy.User.empty() || !proxy.Password.empty())) {
        reason = "--proxy-user and --proxy-pass need a SOCKS --proxy-type";
        return false;
    }
    if (proxy.Type == ftp::ftpSocks4 || proxy.Type == ftp::ftpSocks4A) {
        if (!proxy.Password.empty()) {
            reason = "--proxy-pass needs --proxy-type socks5 (SOCKS 4 has no password)";
            return false;
        }
    }
    return true;
}

// Whole seconds in digits, at most kMaxTimeoutDigits of them.
bool ReadTimeout(const std::string& text, int& seconds) {
    if (text.empty() || text.size() > kMaxTimeoutDigits) return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    seconds = std::stoi(text);
    return true;
}

// --tls: explicit (AUTH TLS, required), implicit (TLS from the first byte), try (AUTH TLS,
// in the clear when the server refuses it).
bool ReadTlsMode(const std::string& text, ftp::TFtpEncryption& mode) {
    if (text == "explicit") {
        mode = ftp::TFtpEncryption::ExplicitRequired;
    } else if (text == "implicit") {
        mode = ftp::TFtpEncryption::Implicit;
    } else if (text == "try") {
        mode = ftp::TFtpEncryption::ExplicitIfAvailable;
    } else {
        return false;
    }
    return true;
}

bool IsHostTypeString(const std::string& text) {
    if (text.size() != kHostTypeLength) return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

// Takes the options out of args, leaving the command and its operands. False with a
// reason for an unknown option or a missing option value.
bool TakeOptions(std::vector<std::string>& args, TransferOptions& options, std::string& reason) {
    std::vector<std::string> operands;
    bool typeGiven = false;
    // The value of an option that takes one; false with a reason when it is missing.
    auto value = [&](std::size_t& i, std::string& into) {
        if (i + 1 >= args.size()) {
            reason = args[i] + " takes a value";
            return false;
        }
        into = args[++i];
        return true;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--active") {
            options.Passive = false;
            options.ActiveAsked = true;
        } else if (arg == "--proxy-type") {
            std::string text;
            if (!value(i, text)) return false;
            if (!ReadProxyType(text, options.Proxy.Type)) {
                reason = "--proxy-type takes direct, ftp-proxy, socks4, socks4a or socks5";
                return false;
            }
            typeGiven = true;
        } else if (arg == "--proxy") {
            std::string text;
            if (!value(i, text)) return false;
            if (!ReadProxyAddress(text, options.Proxy)) {
                reason = "--proxy takes HOST:PORT, not \"" + HidePasswordInUrl(text) + "\"";
                return false;
            }
        } else if (arg == "--proxy-user") {
            if (!value(i, options.Proxy.User)) return false;
        } else if (arg == "--proxy-pass") {
            if (!value(i, options.Proxy.Password)) return false;
        } else if (arg == "--timeout") {
            std::string text;
            if (!value(i, text)) return false;
            if (!ReadTimeout(text, options.IdleTimeoutSeconds)) {
                reason = "--timeout takes whole seconds (0: no limit)";
                return false;
            }
        } else if (arg == "--tls") {
            std::string text;
            if (!value(i, text)) return false;
            if (!ReadTlsMode(text, options.Tls)) {
                reason = "--tls takes explicit, implicit or try";
                return false;
            }
            options.TlsAsked = true;
        } else if (arg == "--insecure") {
            options.Insecure = true;
        } else if (arg == "--passive") {
            options.Passive = true;
            options.PassiveAsked = true;
        } else if (arg == "--epsv") {
            options.Epsv = true;
        } else if (arg == "--resume") {
            options.Resume = true;
        } else if (arg == "--ascii") {
            options.Ascii = true;
        } else if (arg == "-v") {
            options.Verbose = true;
        } else if (arg == "--raw") {
            options.Raw = true;
        } else if (arg == "--answer") {
            if (i + 1 >= args.size() || !IsHostTypeString(args[i + 1])) {
                reason = "--answer takes a host type string of seven digits";
                return false;
            }
            options.Answer = args[++i];
            options.AnswerAsked = true;
        } else {
            // "--name=value" may carry a password: the value is not repeated.
            reason = "unknown option " + arg.substr(0, arg.find('='));
            return false;
        }
    }
    if (!CheckProxyOptions(options, typeGiven, reason)) return false;
    args = std::move(operands);
    return true;
}

// The remote end of ls, get or put: an ftp:// URL, or "@NAME[:PATH]", whose record's mode
// and host type become the defaults of the options. kExitOk, or the exit code with the reason.
int ReadRemoteEnd(const std::string& text, TransferOptions& options, FtpUrl& url, bool& askPassword,
                  std::string& reason) {
    askPassword = false;
    if (!IsSavedServerReference(text)) {
        if (ParseFtpUrl(text, url, reason)) return kExitOk;
        reason = BadUrlMessage(text, reason);
        return kExitUsage;
    }
    SavedServerTarget target;
    if (const int code = ResolveSavedServer(text, target, reason); code != kExitOk) return code;
    url = target.Url;
    askPassword = target.AskPassword;
    if (!options.ActiveAsked && !options.PassiveAsked) options.Passive = target.Passive;
    if (options.Answer.empty()) options.Answer = target.Answer;
    if (target.Epsv) options.Epsv = true;
    return kExitOk;
}

// A usage error prints the usage; any other failure only its reason.
int RemoteEndFailed(int code, const std::string& reason, std::ostream& err) {
    if (code == kExitUsage) return BadUsage(err, reason);
    err << "tarnwick-cli: " << reason << '\n';
    return code;
}

}  // namespace

std::string UsageText() {
    return "usage: tarnwick-cli [options] ls  URL         list the remote directory URL\n"
           "       tarnwick-cli [options] get URL LOCAL   download the remote file URL into "
           "LOCAL\n"
           "       tarnwick-cli [options] put LOCAL URL   upload LOCAL to the remote file URL\n"
           "       tarnwick-cli sites [--lines]   the saved servers (Name TAB URL, or their "
           "file lines)\n"
           "       tarnwick-cli options           the preferences as the file would be "
           "written\n"
           "URL      ftp://[user[:password]@]host[:port]/path  (user anonymous when absent; "
           "%XX escapes decoded)\n"
           "         ftpes://...  FTP over TLS (AUTH TLS, required); ftps://...  TLS from "
           "the first byte\n"
           "                    (port 990 when absent)\n"
           "         or @NAME[:PATH]  the saved server NAME (quote a name with blanks): its "
           "address, login,\n"
           "                    mode and host type; PATH starting with / is absolute, any "
           "other is\n"
           "                    relative to its initial directory; without a saved password "
           "it asks\n"
           "                    \"Password:\" on the terminal (or reads standard input) "
           "without echo\n"
           "options  --active | --passive (default passive; for @NAME the server's own "
           "mode)\n"
           "         --epsv     passive mode opens with EPSV (PASV when the server does not "
           "know it;\n"
           "                    for @NAME also when the server is set to EPSV; IPv6 always "
           "uses EPSV)\n"
           "         --resume   get: resume after the local file's bytes; put: resume from "
           "the remote SIZE\n"
           "                    (without it a failed get leaves LOCAL as it was and keeps the "
           "bytes\n"
           "                    received in LOCAL.part)\n"
           "         --ascii    TYPE A instead of TYPE I\n"
           "         --timeout SECONDS  give up after SECONDS without a sign of life from the "
           "server\n"
           "                    (0: never; default 60)\n"
           "         -v         the FTP dialogue on stderr (the password shown as "
           "\"> PASS ****\")\n"
           "         --raw      ls: the listing lines as the server sent them (elsewhere "
           "control\n"
           "                    characters from the server show as \\xHH)\n"
           "         --answer DIGITS  ls: the host type string (default 0957681; for "
           "@NAME the server's)\n"
           "                    of servers without MLSD; given, ls reads LIST by it "
           "always\n"
           "         --proxy-type direct|ftp-proxy|socks4|socks4a|socks5  how the server is "
           "reached\n"
           "                    (default direct; every other type transfers in passive "
           "mode)\n"
           "         --proxy HOST[:PORT]  the proxy (PORT 21 for ftp-proxy, 1080 for SOCKS "
           "when absent)\n"
           "         --proxy-user USER, --proxy-pass PASS  the SOCKS user (and SOCKS 5 "
           "password)\n"
           "         --tls explicit|implicit|try  FTP over TLS whatever the URL says (try: "
           "in the clear\n"
           "                    when the server refuses AUTH TLS); the certificate must "
           "verify or be\n"
           "                    trusted in the settings folder's trusted-certificates\n"
           "         --insecure  accept a certificate that fails verification (said on "
           "stderr)\n";
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const PasswordPrompt& askForPassword) {
    if (args.empty()) return BadUsage(err);
    const std::string& command = args[0];
    // Asked for, the usage is the answer: on standard output, and no failure.
    if (args.size() == 1 && (command == "--help" || command == "-h")) {
        out << UsageText();
        return kExitOk;
    }
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "sites") {
        if (rest.empty()) return ListSites(SitesFormat::kUrls, out, err);
        if (rest.size() == 1 && rest[0] == "--lines")
            return ListSites(SitesFormat::kFileLines, out, err);
        return BadUsage(err);
    }
    if (command == "options") return rest.empty() ? ShowOptions(out, err) : BadUsage(err);

    // The transfer commands: options may come before the command and among the operands.
    std::vector<std::string> words = args;
    TransferOptions options;
    std::string reason;
    if (!TakeOptions(words, options, reason)) return BadUsage(err, reason);
    if (words.empty()) return BadUsage(err);
    const std::string& verb = words[0];
    const bool ls = verb == "ls" && words.size() == 2;
    const bool get = verb == "get" && words.size() == 3;
    const bool put = verb == "put" && words.size() == 3;
    if (!ls && !get && !put) return BadUsage(err);
    const std::string& remote = put ? words[2] : words[1];
    FtpUrl url;
    bool askPassword = false;
    if (const int code = ReadRemoteEnd(remote, options, url, askPassword, reason); code != kExitOk)
        return RemoteEndFailed(code, reason, err);
    if (get && url.FileName().empty()) {
        return BadUsage(err, IsSavedServerReference(remote)
                                 ? "\"" + EscapeForTerminal(remote, EscapeStyle::kMessage) +
                                       "\" names no remote file (@NAME:PATH names one)"
                                 : "the URL names no remote file");
    }
    if (askPassword) {
        std::optional<std::string> password = askForPassword(kPasswordPrompt, err);
        if (!password) {
            err << "tarnwick-cli: no password given\n";
            return kExitFailed;
        }
        url.Password = std::move(*password);
    }
    if (ls) return ListCommand(url, options, out, err);
    if (get) return GetCommand(url, words[2], options, err);
    return PutCommand(words[1], url, options, err);
}

}  // namespace tarnwick::cli
