#include "app/DemoTree.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace tarnwick::demo {
namespace {

namespace fs = std::filesystem;

struct TDemoFile {
    std::string_view Path;  // relative to the root; the folders on the way are made
    std::string_view Text;
};

constexpr std::string_view kReadMe =
    "This folder is served by the demo server that \"tarnwick --demo\" started.\n"
    "\n"
    "Copy files and folders to the left pane with F5 or by dragging them, upload into\n"
    "\"Uploads\", rename with F2, delete with Del. Everything here (and the server) goes\n"
    "when the window closes.\n";

constexpr TDemoFile kFiles[] = {
    {"Read me.txt", kReadMe},
    {"Ünïcode ✓/Grüße aus Köln.txt", "Grüße!\n"},
    {"Ünïcode ✓/日本語のファイル.txt", "こんにちは\n"},
    {"Ünïcode ✓/naïve café/menu du jour.txt", "Soupe à l'oignon\n"},
    {"Projects/tarnwick/src/main.cpp", "int main() { return 0; }\n"},
    {"Projects/tarnwick/src/pane.cpp", "// the two panes\n"},
    {"Projects/tarnwick/docs/user guide.txt", "Enter opens, Backspace goes up.\n"},
    {"Projects/tarnwick/CHANGES", "0.1.0: the first release.\n"},
    {"Projects/website/index.html", "<!doctype html>\n<title>Demo</title>\n"},
    {"Projects/website/css/site.css", "body { margin: 0; }\n"},
    {"Pictures/Holiday 2026/notes on the trip.txt", "Sunny.\n"},
    {"Pictures/README", "No pictures yet.\n"},
    {"notes.md", "# Notes\n\n- try the keys\n"},
};

constexpr const char* kEmptyFolders[] = {"Uploads", "Pictures/Holiday 2026/empty album"};

bool WriteText(const fs::path& path, std::string_view text) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out.flush());
}

bool MakeSparseFile(const fs::path& path, std::uint64_t size) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool sized = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    return (::close(fd) == 0) && sized;
}

}  // namespace

TScratchFolder::TScratchFolder(const std::string& prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = (tmp != nullptr && *tmp == '/') ? tmp : "/tmp";
    templ += "/" + prefix + "-XXXXXX";
    if (::mkdtemp(templ.data()) != nullptr) path_ = templ;
}

TScratchFolder::~TScratchFolder() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string MakeDemoTree(const std::string& root) {
    const fs::path base = fs::path(root);
    for (const TDemoFile& f : kFiles) {
        if (!WriteText(base / fs::path(f.Path), f.Text))
            return "cannot write " + (base / fs::path(f.Path)).string();
    }
    for (const char* folder : kEmptyFolders) {
        std::error_code ec;
        fs::create_directories(base / fs::path(folder), ec);
        if (ec) return "cannot make " + (base / fs::path(folder)).string();
    }
    if (!MakeSparseFile(base / fs::path(kDemoLargeFile), kDemoLargeFileSize))
        return "cannot make " + (base / fs::path(kDemoLargeFile)).string();
    return {};
}

}  // namespace tarnwick::demo
