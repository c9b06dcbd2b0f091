// A folder that refuses new entries, for the fault tests.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace tembrel::test {

// Makes a folder refuse new entries for as long as it lives. Permission bits alone do
// not stop root, so for root the folder is also made immutable where the file system
// allows it; usable() tells whether creating a file there really fails.
class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(const std::string& path) : path_(path) {
        std::filesystem::permissions(
            path_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        if (geteuid() == 0)
            immutable_ = setImmutable(true);
    }
    ~ReadOnlyFolder() {
        if (immutable_)
            setImmutable(false);
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
    bool setImmutable(bool on) {
        const int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        close(fd);
        return ok;
    }
    std::string path_;
    bool immutable_ = false;
};

}  // namespace tembrel::test
