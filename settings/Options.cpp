#include "settings/Options.h"

#include <unistd.h>

#include <type_traits>
#include <variant>

#include "settings/AtomicFile.h"
#include "settings/IniFile.h"
#include "settings/SettingsFolder.h"

namespace tarnwick {
namespace {

using Field = std::variant<int TFTPOptions::*, bool TFTPOptions::*, std::string TFTPOptions::*>;

// How a text value is stored: as a plain INI value, or as comma text, whose items
// carry their own double quotes (an INI pair of quotes around it would be an item's).
enum class Form { kPlain, kCommaText };

struct OptionKey {
    const char* section;
    const char* key;
    Field field;
    Form form = Form::kPlain;
};

// Every key in the order a file written from scratch holds them.
const OptionKey kOptionKeys[] = {
    {"Common", "ConnectionType", &TFTPOptions::ConnectionType},
    {"Common", "TransferMode", &TFTPOptions::TransferMode},
    {"Common", "PassiveTransfer", &TFTPOptions::PassiveTransfer},
    {"Common", "Sync", &TFTPOptions::Sync},
    {"Common", "Log", &TFTPOptions::Log},
    {"Common", "LogFile", &TFTPOptions::LogFile},
    {"Common", "TimeOut", &TFTPOptions::TimeOut},
    {"Common", "retry", &TFTPOptions::retry},
    {"Common", "Keep", &TFTPOptions::Keep},
    {"Common", "StartKeep", &TFTPOptions::StartKeep},
    {"Common", "DurationKeep", &TFTPOptions::DurationKeep},
    {"Common", "CmdKeep", &TFTPOptions::CmdKeep, Form::kCommaText},
    {"Common", "Ext", &TFTPOptions::Ext, Form::kCommaText},
    {"Common", "Anonymous", &TFTPOptions::Anonymous},
    {"Common", "MailAno", &TFTPOptions::MailAno},
    {"Common", "fwHost", &TFTPOptions::fwHost},
    {"Common", "fwPort", &TFTPOptions::fwPort},
    {"Common", "fwID", &TFTPOptions::fwID},
    {"Common", "fwPsw", &TFTPOptions::fwPsw},
    {"Common", "fwType", &TFTPOptions::fwType},
    {"Common", "fwSimbol", &TFTPOptions::fwSimbol},
    {"Common", "fwEnable", &TFTPOptions::fwEnable},
    {"Common", "IniPath", &TFTPOptions::IniPath},
    {"Common", "FontName", &TFTPOptions::FontName},
    {"Common", "FontSize", &TFTPOptions::FontSize},
    {"Common", "FontColor", &TFTPOptions::FontColor},
    {"Common", "PromptDownLoad", &TFTPOptions::PromptDownLoad},
    {"Common", "PromptUpLoad", &TFTPOptions::PromptUpLoad},
    {"Common", "DefPrompt", &TFTPOptions::DefPrompt},
    {"Proxy", "Server", &TFTPOptions::ProxyServer},
    {"Proxy", "Port", &TFTPOptions::ProxyPort},
    {"Proxy", "Psw", &TFTPOptions::ProxyPsw},
    {"Proxy", "PswMask", &TFTPOptions::ProxyPswMask},
    {"Socks", "Server", &TFTPOptions::SocksServer},
    {"Socks", "Port", &TFTPOptions::SocksPort},
    {"Socks", "Psw", &TFTPOptions::SocksPsw},
    {"Socks", "UC", &TFTPOptions::SocksUC},
    {"Socks", "PswMask", &TFTPOptions::SocksPswMask},
};

// Reads one stored value over the default already in `options`.
void ReadValue(TFTPOptions& options, const OptionKey& key, std::string_view stored) {
    const std::string text =
        key.form == Form::kCommaText ? std::string(IniTrimmedValue(stored)) : IniReadValue(stored);
    std::visit(
        [&](auto member) {
            using Member = std::remove_reference_t<decltype(options.*member)>;
            if constexpr (std::is_same_v<Member, std::string>) {
                options.*member = text;
            } else {
                int number = 0;
                if (!ParseInt(text, number)) return;  // keeps the default
                if constexpr (std::is_same_v<Member, bool>) {
                    options.*member = number != 0;
                } else {
                    options.*member = number;
                }
            }
        },
        key.field);
}

std::string WriteValue(const TFTPOptions& options, Field field) {
    return std::visit(
        [&](auto member) -> std::string {
            using Member = std::remove_cvref_t<decltype(options.*member)>;
            if constexpr (std::is_same_v<Member, std::string>) {
                return options.*member;
            } else if constexpr (std::is_same_v<Member, bool>) {
                return options.*member ? "1" : "0";
            } else {
                return std::to_string(options.*member);
            }
        },
        field);
}

void WriteAllKeys(IniFile& ini, const TFTPOptions& options) {
    for (const OptionKey& key : kOptionKeys) {
        const std::string value = WriteValue(options, key.field);
        ini.Set(key.section, key.key, key.form == Form::kCommaText ? value : IniStoredValue(value));
    }
}

}  // namespace

TFTPOptions DefaultOptions() {
    TFTPOptions options;
    options.IniPath = HomeFolder();
    return options;
}

TFTPOptions LoadOptions(const std::string& folder, ReadStatus* status) {
    TFTPOptions options = DefaultOptions();
    std::string text;
    ReadStatus read = ReadTextFile(JoinPath(folder, kOptionsFileName), text);
    if (status) *status = read;
    if (read != ReadStatus::kOk) return options;
    IniFile ini = IniFile::Parse(text);
    for (const OptionKey& key : kOptionKeys) {
        if (auto value = ini.Get(key.section, key.key)) ReadValue(options, key, *value);
    }
    return options;
}

bool SaveOptions(const std::string& folder, const TFTPOptions& options) {
    std::string text;
    ReadStatus read = ReadTextFile(JoinPath(folder, kOptionsFileName), text);
    // Replacing a file we could not read would lose whatever it holds.
    if (read == ReadStatus::kUnreadable) return false;
    IniFile ini = IniFile::Parse(text);
    WriteAllKeys(ini, options);
    return SaveSettingsFile(folder, kOptionsFileName, ini.Text(), FileAccess::kPrivate);
}

std::string OptionsText(const TFTPOptions& options) {
    IniFile ini;
    WriteAllKeys(ini, options);
    return ini.Text();
}

std::string ListingFileName(const std::string& folder, long processId) {
    return JoinPath(folder, "FTPDIR" + std::to_string(processId) + ".TXT");
}

std::string ListingFileName(const std::string& folder) {
    return ListingFileName(folder, static_cast<long>(::getpid()));
}

}  // namespace tarnwick
