#include "session/QuickConnect.h"

#include <algorithm>
#include <string_view>

#include "listing/TextUtil.h"
#include "session/MainWindow.h"
#include "session/ServerAddress.h"
#include "settings/AtomicFile.h"
#include "settings/CommaText.h"
#include "settings/TextFile.h"

namespace tarnwick::session {

namespace {

constexpr size_t kEntryFields = 3;  // host, port, user (an empty user may be left out)
constexpr const char* kDefaultPort = "21";
constexpr const char* kAnonymousUser = "anonymous";
constexpr const char* kAnonymousAlias = "ftp";
// The anonymous password when the preferences name no address.
constexpr const char* kAnonymousFallbackPassword = "anonymous@";
constexpr unsigned long kHighestPort = 65535;
constexpr size_t kPortDigits = 5;

constexpr const char* kErrorPrefix = "Error ";
constexpr const char* kNoHost = "Type the host name of the server to connect to.";
constexpr const char* kBadHost = "The host name is not valid.";
constexpr const char* kBadPort = "The port must be a number from 1 to 65535.";
constexpr const char* kSessionOpen = "Disconnect first: a session is open.";
constexpr const char* kConnectUnderWay = "A connect is under way: stop it first.";
constexpr const char* kHistoryNotSaved = "The quick-connect history could not be saved in ";

bool SameTextNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool HasControlByte(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < ' ' || u == 0x7f;
    });
}

// A host name or address: no blank, no control byte, and no "@" (whatever stands after a
// second "@" in a pasted address is part of a password, not a host).
bool ValidHost(std::string_view host) {
    return !host.empty() && host.find_first_of(" @/") == std::string_view::npos &&
           !HasControlByte(host);
}

bool ValidPort(std::string_view port) {
    if (port.empty() || port.size() > kPortDigits) return false;
    if (!std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const unsigned long value = std::stoul(std::string(port));
    return value >= 1 && value <= kHighestPort;
}

bool AnonymousUser(std::string_view user) {
    return user.empty() || SameTextNoCase(user, kAnonymousUser) ||
           SameTextNoCase(user, kAnonymousAlias);
}

std::optional<TQuickConnectEntry> ReadEntry(std::string_view line) {
    std::vector<std::string> items = FromCommaText(line);
    if (items.size() == kEntryFields - 1) items.emplace_back();
    if (items.size() != kEntryFields) return std::nullopt;
    TQuickConnectEntry e{std::move(items[0]), std::move(items[1]), std::move(items[2])};
    if (!ValidHost(e.Host) || !ValidPort(e.Port) || HasControlByte(e.User)) return std::nullopt;
    return e;
}

bool SameHost(const TQuickConnectEntry& a, const TQuickConnectEntry& b) {
    return SameTextNoCase(a.Host, b.Host) && a.Port == b.Port;
}

}  // namespace

// --- The history -----------------------------------------------------------------------------

TQuickConnectHistory::TQuickConnectHistory(std::string settingsFolder)
    : folder_(std::move(settingsFolder)) {}

void TQuickConnectHistory::Load() {
    entries_.clear();
    std::string text;
    if (ReadTextFile(folder_ + "/" + kQuickConnectFileName, text) != ReadStatus::kOk) return;
    std::vector<TQuickConnectEntry> read;
    for (const std::string& line : SplitLines(text)) {
        if (std::optional<TQuickConnectEntry> e = ReadEntry(line)) read.push_back(std::move(*e));
    }
    // Oldest first into Remember, so that the file's order and its limits hold.
    for (auto it = read.rbegin(); it != read.rend(); ++it) Remember(std::move(*it));
}

bool TQuickConnectHistory::Save() const {
    return SaveSettingsFile(folder_, kQuickConnectFileName, FileText(entries_),
                            FileAccess::kPrivate);
}

void TQuickConnectHistory::Remember(TQuickConnectEntry entry) {
    std::erase_if(entries_, [&](const TQuickConnectEntry& e) { return SameHost(e, entry); });
    entries_.insert(entries_.begin(), std::move(entry));
    if (entries_.size() > kQuickConnectHistorySize) entries_.resize(kQuickConnectHistorySize);
}

std::string TQuickConnectHistory::FileText(const std::vector<TQuickConnectEntry>& entries) {
    std::string text;
    for (const TQuickConnectEntry& e : entries) {
        text += ToCommaText({e.Host, e.Port, e.User});
        text += kLineEnd;
    }
    return text;
}

// --- The record ------------------------------------------------------------------------------

TQuickConnectRecord QuickConnectRecord(const TQuickConnectFields& fields,
                                       const TFTPOptions& options) {
    TQuickConnectRecord out;
    TFTPServerInfo record = NewServerInfo(options);
    record.Name.clear();
    record.Server = std::string(TrimBlanks(fields.Host));
    record.Port = std::string(TrimBlanks(fields.Port));
    record.User = std::string(TrimBlanks(fields.User));
    record.Password = fields.Password;
    record.Pasv = 1;

    // What the connect will make of it: a pasted address brings its own parts.
    TFTPServerInfo normalised = record;
    NormalizeServerAddress(normalised);
    if (normalised.Port.empty()) normalised.Port = kDefaultPort;
    if (normalised.Server.empty()) {
        out.Problem = kNoHost;
        return out;
    }
    if (!ValidHost(normalised.Server)) {
        out.Problem = kBadHost;
        return out;
    }
    if (!ValidPort(normalised.Port)) {
        out.Problem = kBadPort;
        return out;
    }
    out.Entry = {normalised.Server, normalised.Port, normalised.User};

    if (record.Port.empty()) record.Port = kDefaultPort;
    if (normalised.User.empty()) record.User = kAnonymousUser;
    const bool anonymous = AnonymousUser(normalised.User) && normalised.Password.empty();
    record.Anonymous = anonymous ? 1 : 0;
    if (anonymous)
        record.EMail = options.Anonymous.empty() ? kAnonymousFallbackPassword : options.Anonymous;
    // A user without a password is asked for one, as a saved server without one is.
    record.SavePassword = anonymous || !normalised.Password.empty() ? 1 : 0;
    out.Server = std::move(record);
    return out;
}

// --- The bar's logic -------------------------------------------------------------------------

TQuickConnect::TQuickConnect(T_Main& main) : main_(main), history_(main.Core().SettingsFolder()) {
    history_.Load();
}

void TQuickConnect::ChooseHistory(size_t index) {
    if (index >= history_.Entries().size()) return;
    const TQuickConnectEntry& e = history_.Entries()[index];
    fields_ = {e.Host, e.User, std::string(), e.Port};
    Changed();
}

bool TQuickConnect::Connect() {
    TSessionCore& c = main_.Core();
    TQuickConnectRecord record = QuickConnectRecord(fields_, c.Options);
    if (!record.Server) return Refuse(record.Problem);
    // A connect under way has the server list still showing.
    if (c.State.ServerMode && c.Ftp1.State() != ftp::esReady) return Refuse(kConnectUnderWay);
    if (!c.State.ServerMode || c.Ftp1.Connected()) return Refuse(kSessionOpen);
    problem_.clear();
    if (!main_.OpenServer(*record.Server)) return false;
    history_.Remember(std::move(record.Entry));
    if (!history_.Save()) c.WriteLog(kErrorPrefix + (kHistoryNotSaved + c.SettingsFolder()));
    Changed();
    return true;
}

bool TQuickConnect::Refuse(std::string problem) {
    problem_ = std::move(problem);
    main_.Core().WriteLog(kErrorPrefix + problem_);
    Changed();
    return false;
}

void TQuickConnect::Changed() {
    if (OnChanged) OnChanged();
}

}  // namespace tarnwick::session
