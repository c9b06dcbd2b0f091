// A source as it stands on disk. A file removed or replaced while it is converted stays
// readable through the encoder's open handle, so the conversion alone cannot tell; a job
// compares this before and after it.
#pragma once

#include <sys/stat.h>

#include <string>

namespace tembrel {

struct SourceState {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    static SourceState of(const std::string& path) {
        struct stat st {};
        if (stat(path.c_str(), &st) != 0)
            return {};
        return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    }
    bool sameFile(const SourceState& o) const {
        return exists && o.exists && device == o.device && inode == o.inode;
    }
    bool sameContents(const SourceState& o) const {
        return size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec;
    }
};

}  // namespace tembrel
