// The command-line client: argument handling and the commands it runs.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/PasswordPrompt.h"

namespace tarnwick::cli {

// Exit codes of tarnwick-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The usage text printed on bad usage.
std::string UsageText();

// Runs one command line (without the program name). Normal output goes to
// `out`, messages and usage to `err`; the result is the exit code. A saved
// server that keeps no password has it asked for by `askForPassword`.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const PasswordPrompt& askForPassword = TerminalPasswordPrompt());

}  // namespace tarnwick::cli
