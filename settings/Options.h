// The program-wide preferences and their file "options.ftp".
#pragma once

#include <string>

#include "settings/TextFile.h"

namespace tarnwick {

inline constexpr const char* kOptionsFileName = "options.ftp";

// The preferences; the member initialisers are the defaults taken when a key
// or the whole file is missing (IniPath's default, the home folder, is filled
// in by DefaultOptions).
struct TFTPOptions {
    // [Common]
    int ConnectionType = 0;  // 0 direct, 1 FTP proxy, 2 SOCKS 4, 3 SOCKS 4A, 4 SOCKS 5
    int TransferMode = 0;    // 0 auto-detect, 1 ASCII, 2 binary; kept as read
    bool PassiveTransfer = false;
    bool Sync = false;
    bool Log = false;
    std::string LogFile;
    int TimeOut = 15;
    int retry = 0;
    bool Keep = false;
    int StartKeep = 100;
    int DurationKeep = 10;
    std::string CmdKeep;  // comma text of raw keep-alive commands
    std::string Ext;      // comma text of text-file extensions
    std::string Anonymous;
    bool MailAno = false;
    std::string fwHost;
    std::string fwPort = "21";
    std::string fwID;
    std::string fwPsw;
    int fwType = 0;
    std::string fwSimbol = "@";
    bool fwEnable = false;
    std::string IniPath;
    std::string FontName = "MS Sans Serif";
    int FontSize = 8;
    int FontColor = 0;
    bool PromptDownLoad = true;
    bool PromptUpLoad = true;
    int DefPrompt = 0;
    // [Proxy]
    std::string ProxyServer;
    std::string ProxyPort;
    std::string ProxyPsw;
    bool ProxyPswMask = false;
    // [Socks]
    std::string SocksServer;
    std::string SocksPort;
    std::string SocksPsw;
    std::string SocksUC;
    bool SocksPswMask = false;

    bool operator==(const TFTPOptions&) const = default;
};

// The defaults, with IniPath set to the user's home folder.
TFTPOptions DefaultOptions();

// Reads folder/"options.ftp" over the defaults. A missing or unreadable file,
// or a value that cannot be read, gives the defaults silently; `status`, when
// given, tells which happened.
TFTPOptions LoadOptions(const std::string& folder, ReadStatus* status = nullptr);

// Writes every key into folder/"options.ftp" (mode 0600: it holds passwords).
// An existing file keeps its other keys, comments and order; only values
// change. If the existing file cannot be read it is not replaced. False when
// nothing was written; the old file is then untouched.
bool SaveOptions(const std::string& folder, const TFTPOptions& options);

// The whole "options.ftp" text as written from scratch with these values.
std::string OptionsText(const TFTPOptions& options);

// The name of the listing temp file: folder/"FTPDIR<pid>.TXT". The caller
// fixes it once at start; two instances never share it.
std::string ListingFileName(const std::string& folder);
std::string ListingFileName(const std::string& folder, long processId);

}  // namespace tarnwick
