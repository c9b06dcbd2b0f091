#include "platform/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/file_attributes.h"

namespace tembrel {

bool removeFile(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return false;
    const bool madeWritable = !S_ISLNK(st.st_mode) && isReadOnlyMode(st.st_mode);
    if (madeWritable && !clearReadOnly(path))
        return false;
    if (unlink(path.c_str()) == 0)
        return true;
    // The file stays: it must not come out of a failed deletion with other attributes.
    const int error = errno;
    if (madeWritable)
        writeAttributes(path, uint32_t(st.st_mode));
    errno = error;
    return false;
}

namespace detail {

bool renameByLink(const std::string& from, const std::string& to) {
    if (link(from.c_str(), to.c_str()) != 0)
        return false;
    if (unlink(from.c_str()) == 0)
        return true;
    unlink(to.c_str());
    return false;
}

}  // namespace detail

bool renameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EINVAL || errno == ENOSYS)
        return detail::renameByLink(from, to);
    return false;
}

std::string currentDirectory() {
    std::vector<char> buffer(256);
    for (;;) {
        if (getcwd(buffer.data(), buffer.size()))
            return buffer.data();
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

bool changeDirectory(const std::string& path) {
    return chdir(path.c_str()) == 0;
}

CurrentDirectoryGuard::CurrentDirectoryGuard() : fd_(open(".", O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

CurrentDirectoryGuard::~CurrentDirectoryGuard() {
    restore();
    if (fd_ >= 0)
        close(fd_);
}

bool CurrentDirectoryGuard::restore() {
    return fd_ >= 0 && fchdir(fd_) == 0;
}

}  // namespace tembrel
