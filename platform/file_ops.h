// Deleting and renaming files, and the process's current directory.
#pragma once

#include <string>

namespace tembrel {

// Clears the read-only attribute, then removes the file. A symbolic link is removed
// itself, without touching what it points at. When the removal fails the file keeps
// the attributes it had, and errno says why. Callers may ignore the result.
bool removeFile(const std::string& path);

// Renames a file, never replacing an existing one: an existing target is a failure
// and both files stay as they were.
bool renameNoReplace(const std::string& from, const std::string& to);

namespace detail {
// The fallback of renameNoReplace for file systems without an atomic no-replace
// rename: a hard link under the new name, then removal of the old one.
bool renameByLink(const std::string& from, const std::string& to);
}  // namespace detail

// The process's current directory; empty when it cannot be told (for example after
// it was removed).
std::string currentDirectory();
bool changeDirectory(const std::string& path);

// Makes the current directory at construction current again at destruction, even when
// it has been renamed in between. The current directory is process-wide; whoever
// changes it for a while holds one of these.
class CurrentDirectoryGuard {
  public:
    CurrentDirectoryGuard();
    ~CurrentDirectoryGuard();
    CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
    CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;

    // Goes back to the remembered directory now; false when that failed.
    bool restore();
    // False when the current directory could not be remembered.
    bool valid() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace tembrel
