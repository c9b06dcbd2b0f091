#include "tags/tag_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tembrel {

TagFile::TagFile(const std::string& path) {
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it is refused below.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return;
    }
    fd_ = fd;
    size_ = uint64_t(info.st_size);
}

TagFile::~TagFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::size_t TagFile::readAt(uint64_t offset, std::span<uint8_t> out) const {
    if (fd_ < 0 || offset >= size_)
        return 0;
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += std::size_t(n);
    }
    return done;
}

}  // namespace tembrel
