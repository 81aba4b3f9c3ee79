#include "settings/ServerList.h"

#include <variant>

#include "settings/AtomicFile.h"
#include "settings/SettingsFolder.h"

namespace tarnwick {
namespace {

using TextField = std::string TFTPServerInfo::*;
using FlagField = std::uint8_t TFTPServerInfo::*;

struct ServerKey {
    const char* key;
    std::variant<TextField, FlagField> field;
    size_t maxLength;           // short text fields; 0 = no limit
    std::uint8_t fallback;      // flags: the value for a text that is no integer
    bool omitWhenZero = false;  // flags added later: left out while 0, as older lists had them
};

constexpr size_t kNoLimit = 0;

// The items in the order every line holds them: the 19 of the original list, then the
// encryption and the data connection, which older lists do not have.
const ServerKey kServerKeys[] = {
    {"Name", &TFTPServerInfo::Name, 50, 0},
    {"Server", &TFTPServerInfo::Server, kNoLimit, 0},
    {"Port", &TFTPServerInfo::Port, kNoLimit, 0},
    {"Password", &TFTPServerInfo::Password, kNoLimit, 0},
    {"User", &TFTPServerInfo::User, kNoLimit, 0},
    {"Account", &TFTPServerInfo::Account, kNoLimit, 0},
    {"Description", &TFTPServerInfo::Description, 200, 0},
    {"InitialDir", &TFTPServerInfo::InitialDir, 255, 0},
    {"Anonymous", &TFTPServerInfo::Anonymous, 0, 1},
    {"SavePassword", &TFTPServerInfo::SavePassword, 0, 1},
    {"ModifiedDate", &TFTPServerInfo::ModifiedDate, 80, 0},
    {"EMail", &TFTPServerInfo::EMail, 60, 0},
    {"LocalDir", &TFTPServerInfo::LocalDir, 255, 0},
    {"Pasv", &TFTPServerInfo::Pasv, 0, 0},
    {"Desc", &TFTPServerInfo::Desc, kNoLimit, 0},
    {"Answer", &TFTPServerInfo::Answer, 7, 0},
    {"AnswerName", &TFTPServerInfo::AnswerName, 255, 0},
    {"CheckPSW", &TFTPServerInfo::CheckPSW, 0, 1},
    {"CheckVHost", &TFTPServerInfo::CheckVHost, 0, 0},
    {"Encryption", &TFTPServerInfo::Encryption, 0, 0, true},
    {"DataConnection", &TFTPServerInfo::DataConnection, 0, 0, true},
};

constexpr char kItemEnd = ';';
constexpr char kDescLineJoin = '`';

// Password scrambling. Every byte is combined by exclusive-or with kScrambleKey
// (which undoes itself). The key has its high bit set, so printable ASCII
// never scrambles into a byte that ends an item or a line. A scrambled byte
// that would (";", CR, LF), and NUL and the escape byte itself, are written as
// "%" and two upper-case hex digits of the scrambled byte. So every byte
// value, and any UTF-8 password, reads back exactly; only plain bytes 0x80,
// 0x9E, 0xA5, 0xA8 and 0xAF are stored escaped.
constexpr unsigned char kScrambleKey = 0xA5;
constexpr char kEscape = '%';

bool NeedsEscape(unsigned char scrambled) {
    return scrambled == 0 || scrambled == '\r' || scrambled == '\n' ||
           scrambled == static_cast<unsigned char>(kItemEnd) ||
           scrambled == static_cast<unsigned char>(kEscape);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsContinuationByte(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

bool IsValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t extra = 0;
        if (c >= 0x80) {
            if ((c & 0xE0) == 0xC0) {
                extra = 1;
            } else if ((c & 0xF0) == 0xE0) {
                extra = 2;
            } else if ((c & 0xF8) == 0xF0) {
                extra = 3;
            } else {
                return false;
            }
        }
        if (extra > s.size() - i - 1) return false;
        for (size_t k = 1; k <= extra; ++k) {
            if (!IsContinuationByte(static_cast<unsigned char>(s[i + k]))) return false;
        }
        i += extra + 1;
    }
    return true;
}

void CutTo(std::string& value, size_t maxLength) {
    if (maxLength == kNoLimit || value.size() <= maxLength) return;
    size_t cut = maxLength;
    if (IsValidUtf8(value)) {
        while (cut > 0 && IsContinuationByte(static_cast<unsigned char>(value[cut]))) --cut;
    }
    value.resize(cut);
}

// The value of "key=" standing at the line's start or right after a ";".
bool FindItem(std::string_view line, std::string_view key, std::string_view& value) {
    size_t from = 0;
    for (;;) {
        size_t at = line.find(key, from);
        if (at == std::string_view::npos) return false;
        size_t eq = at + key.size();
        if ((at == 0 || line[at - 1] == kItemEnd) && eq < line.size() && line[eq] == '=') {
            size_t start = eq + 1;
            size_t end = line.find(kItemEnd, start);
            value = line.substr(start, end == std::string_view::npos ? end : end - start);
            return true;
        }
        from = at + 1;
    }
}

}  // namespace

std::string ScramblePassword(std::string_view plain) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(plain.size());
    for (char c : plain) {
        unsigned char s = static_cast<unsigned char>(c) ^ kScrambleKey;
        if (NeedsEscape(s)) {
            out += kEscape;
            out += kHex[s >> 4];
            out += kHex[s & 0xF];
        } else {
            out += static_cast<char>(s);
        }
    }
    return out;
}

std::string UnscramblePassword(std::string_view stored) {
    std::string out;
    out.reserve(stored.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        unsigned char s = static_cast<unsigned char>(stored[i]);
        if (stored[i] == kEscape && i + 2 < stored.size() && HexValue(stored[i + 1]) >= 0 &&
            HexValue(stored[i + 2]) >= 0) {
            s = static_cast<unsigned char>(HexValue(stored[i + 1]) * 16 + HexValue(stored[i + 2]));
            i += 2;
        }
        out += static_cast<char>(s ^ kScrambleKey);
    }
    return out;
}

TFTPServerInfo NewServerInfo(const TFTPOptions& options) {
    TFTPServerInfo server;
    server.Port = "21";
    server.User = "anonymous";
    server.SavePassword = 1;
    server.Answer = kDefaultHostType;
    server.AnswerName = "Default";
    server.CheckPSW = 1;
    if (options.MailAno) server.EMail = options.Anonymous;
    CutShortFields(server);
    return server;
}

void CutShortFields(TFTPServerInfo& server) {
    for (const ServerKey& key : kServerKeys) {
        if (const TextField* text = std::get_if<TextField>(&key.field)) {
            CutTo(server.**text, key.maxLength);
        }
    }
}

TFTPServerInfo ReadServerLine(std::string_view line, const TFTPOptions& options) {
    TFTPServerInfo server = NewServerInfo(options);
    for (const ServerKey& key : kServerKeys) {
        std::string_view value;
        if (!FindItem(line, key.key, value)) continue;
        if (const TextField* text = std::get_if<TextField>(&key.field)) {
            std::string& field = server.**text;
            field =
                *text == &TFTPServerInfo::Password ? UnscramblePassword(value) : std::string(value);
            CutTo(field, key.maxLength);
        } else {
            int number = 0;
            std::uint8_t flag = key.fallback;
            if (ParseInt(value, number)) {
                // A byte keeps small values as they are; larger ones must not
                // wrap round to 0, so any other non-zero value is stored as 1.
                flag = (number >= 0 && number <= 255) ? static_cast<std::uint8_t>(number) : 1;
            }
            server.*std::get<FlagField>(key.field) = flag;
        }
    }
    return server;
}

std::string ServerLine(const TFTPServerInfo& server) {
    std::string line;
    for (const ServerKey& key : kServerKeys) {
        std::string value;
        if (const TextField* text = std::get_if<TextField>(&key.field)) {
            const std::string& field = server.**text;
            if (field.empty()) continue;
            value = *text == &TFTPServerInfo::Password ? ScramblePassword(field) : field;
        } else {
            const std::uint8_t flag = server.*std::get<FlagField>(key.field);
            if (flag == 0 && key.omitWhenZero) continue;
            value = std::to_string(static_cast<int>(flag));
        }
        line += key.key;
        line += '=';
        line += value;
        line += kItemEnd;
    }
    return line;
}

std::vector<std::string> ServerLines(const std::vector<TFTPServerInfo>& servers) {
    std::vector<std::string> lines;
    lines.reserve(servers.size());
    for (const TFTPServerInfo& server : servers) lines.push_back(ServerLine(server));
    return lines;
}

std::string ServerListText(const std::vector<TFTPServerInfo>& servers) {
    std::string text;
    for (const TFTPServerInfo& server : servers) {
        text += ServerLine(server);
        text += kLineEnd;
    }
    return text;
}

ReadStatus LoadServerList(const std::string& folder, std::vector<TFTPServerInfo>& servers,
                          const TFTPOptions& options) {
    std::string text;
    ReadStatus status = ReadTextFile(JoinPath(folder, kServerListFileName), text);
    if (status != ReadStatus::kOk) return status;
    servers.clear();
    for (const std::string& line : SplitLines(text)) {
        servers.push_back(ReadServerLine(line, options));
    }
    return status;
}

bool SaveServerList(const std::string& folder, const std::vector<TFTPServerInfo>& servers) {
    return SaveSettingsFile(folder, kServerListFileName, ServerListText(servers),
                            FileAccess::kPrivate);
}

int FindServer(const std::vector<TFTPServerInfo>& servers, std::string_view name) {
    for (size_t i = 0; i < servers.size(); ++i) {
        if (servers[i].Name == name) return static_cast<int>(i);
    }
    return -1;
}

std::string JoinDescLines(const std::vector<std::string>& lines) {
    std::string desc;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) desc += kDescLineJoin;
        desc += lines[i];
    }
    return desc;
}

std::vector<std::string> SplitDescLines(std::string_view desc) {
    std::vector<std::string> lines;
    if (desc.empty()) return lines;
    size_t start = 0;
    for (;;) {
        size_t at = desc.find(kDescLineJoin, start);
        lines.emplace_back(desc.substr(start, at == std::string_view::npos ? at : at - start));
        if (at == std::string_view::npos) break;
        start = at + 1;
    }
    return lines;
}

}  // namespace tarnwick
