#include "app/Demo.h"

#include <unistd.h>

#include <array>
#include <climits>
#include <cstdio>
#include <random>

#include "settings/ServerList.h"
#include "settings/SettingsFolder.h"

namespace tarnwick::demo {
namespace {

constexpr const char* kSettingsPrefix = "tarnwick-demo-settings";
constexpr const char* kTreePrefix = "tarnwick-demo";
constexpr const char* kServedSubfolder = "served";
constexpr const char* kDemoDescription = "The sample server of tarnwick --demo, on this computer";
constexpr size_t kPasswordBytes = 12;

// A password for this run only: the server listens on 127.0.0.1, where other users of the
// machine could reach it too.
std::string FreshPassword() {
    std::random_device random;
    std::string out;
    for (size_t i = 0; i < kPasswordBytes; ++i) {
        std::array<char, 3> hex{};
        std::snprintf(hex.data(), hex.size(), "%02x", static_cast<unsigned>(random() & 0xFFu));
        out += hex.data();
    }
    return out;
}

}  // namespace

std::string InstalledServerScript() {
    std::array<char, PATH_MAX> exe{};
    const ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size() - 1);
    if (n <= 0) return {};
    std::string dir(exe.data(), static_cast<size_t>(n));
    dir.erase(dir.rfind('/'));
    return dir + "/../share/tarnwick/" + kDemoScriptName;
}

TDemo::TDemo(std::string script, std::string python)
    : script_(std::move(script)), python_(std::move(python)) {}

TDemo::~TDemo() {
    server_.reset();
    tree_.reset();
    settings_.reset();
}

bool TDemo::Start() {
    settings_.emplace(kSettingsPrefix);
    tree_.emplace(kTreePrefix);
    if (!settings_->Made() || !tree_->Made()) {
        failure_ = "tarnwick --demo: cannot make a temporary folder\n";
        return false;
    }
    const std::string served = ServedFolder();
    if (!EnsureFolder(served)) {
        failure_ = "tarnwick --demo: cannot make " + served + "\n";
        return false;
    }
    if (std::string why = MakeDemoTree(served); !why.empty()) {
        failure_ = "tarnwick --demo: " + why + "\n";
        return false;
    }

    TDemoServerSpec spec;
    spec.Python = python_;
    spec.Script = script_;
    spec.Root = served;
    spec.User = kDemoUser;
    spec.Password = FreshPassword();
    server_ = std::make_unique<TDemoServer>(spec);
    if (!server_->Running()) {
        failure_ = server_->Failure();
        return false;
    }

    TFTPServerInfo s = NewServerInfo();
    s.Name = kDemoServerName;
    s.Server = "127.0.0.1";
    s.Port = std::to_string(server_->Port());
    s.User = kDemoUser;
    s.Password = spec.Password;
    s.Anonymous = 0;
    s.SavePassword = 1;
    s.Pasv = 1;
    s.Description = kDemoDescription;
    if (!SaveServerList(settings_->Path(), {s})) {
        failure_ = "tarnwick --demo: cannot write the server list in " + settings_->Path() + "\n";
        return false;
    }
    return true;
}

std::string TDemo::SettingsFolder() const {
    return settings_ ? settings_->Path() : std::string();
}

std::string TDemo::ServedFolder() const {
    return tree_ && tree_->Made() ? JoinPath(tree_->Path(), kServedSubfolder) : std::string();
}

std::uint16_t TDemo::Port() const {
    return server_ ? server_->Port() : 0;
}

pid_t TDemo::ServerPid() const {
    return server_ ? server_->Pid() : -1;
}

}  // namespace tarnwick::demo
