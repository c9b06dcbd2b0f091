// A folder that refuses new entries and a file that refuses to go, for the fault tests.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace tembrel::test {

// Sets or clears the immutable flag of a file or folder (root only, where the file system
// has it); false when that failed.
inline bool setImmutableFlag(const std::string& path, bool on) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    close(fd);
    return ok;
}

// Makes a file impossible to delete, rename or change for as long as it lives.
class ImmutableFile {
  public:
    explicit ImmutableFile(const std::string& path) : path_(path) {
        set_ = setImmutableFlag(path_, true);
    }
    ~ImmutableFile() {
        if (set_)
            setImmutableFlag(path_, false);
    }
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;
    bool usable() const { return set_; }

  private:
    std::string path_;
    bool set_ = false;
};

// Makes a folder refuse new entries for as long as it lives. Permission bits alone do
// not stop root, so for root the folder is also made immutable where the file system
// allows it; usable() tells whether creating a file there really fails.
class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(const std::string& path) : path_(path) {
        std::filesystem::permissions(
            path_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        if (geteuid() == 0)
            immutable_ = setImmutableFlag(path_, true);
    }
    ~ReadOnlyFolder() {
        if (immutable_)
            setImmutableFlag(path_, false);
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
    }
    bool usable() const {
        const std::string probe = path_ + "/probe";
        const int fd = open(probe.c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0)
            return true;
        close(fd);
        unlink(probe.c_str());
        return false;
    }

  private:
    std::string path_;
    bool immutable_ = false;
};

}  // namespace tembrel::test
