// What the local commands do to the disk: make a folder, rename without replacing, and delete
// a selection of files and folders with everything below them. Paths are bytes; failures come
// back as errno values with the path that failed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::session {

// A failed file-system call: errno and the path it was about (0 when nothing failed).
struct TLocalFailure {
    int Error = 0;
    std::string Path;
    explicit operator bool() const { return Error != 0; }
};

// `directory` + "/" + `name`, with no doubled "/" after the root.
std::string JoinLocalPath(std::string_view directory, std::string_view name);
// The part of an entered name after its last "/" (directory parts are dropped).
std::string_view FileNamePart(std::string_view name);

TLocalFailure MakeLocalFolder(const std::string& path);

// Renames `from` to `to` and never replaces an existing `to`: that fails with EEXIST, unless
// `to` is the same file under another case of its name (a case-insensitive file system).
TLocalFailure RenameLocal(const std::string& from, const std::string& to);

// What a local delete removes: the files (anything that is not a folder: symbolic links to
// folders among them, so a link goes and never what it points at) and the folders.
struct TLocalDeletePlan {
    std::vector<std::string> Files;
    std::vector<std::string> Folders;

    // Sorts a path into Files or Folders by what it is itself (links are not followed).
    void Add(const std::string& path);
    // Adds what the folders hold, breadth-first: for each folder in order (also those added
    // meanwhile) its entries other than "." and ".."; a folder that cannot be read adds
    // nothing.
    void Expand();
    // "Do you wish to remove %d file(s)", and " and %d folder(es)" when there are folders.
    std::string Question() const;
    // Deletes every file in order, then removes the folders from the last to the first, so
    // every folder goes after what it held; stops at the first failure.
    TLocalFailure Execute() const;
};

}  // namespace tarnwick::session
