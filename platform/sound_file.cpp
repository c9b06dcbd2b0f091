#include "platform/sound_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace tembrel {
namespace {

bool beginsLikeFlacOrOgg(int fd) {
    std::array<char, 4> magic{};
    if (::pread(fd, magic.data(), magic.size(), 0) != ssize_t(magic.size()))
        return false;
    return std::memcmp(magic.data(), "fLaC", 4) == 0 || std::memcmp(magic.data(), "OggS", 4) == 0 ||
           std::memcmp(magic.data(), "ID3", 3) == 0;
}

}  // namespace

std::optional<OpenSoundFile> openFlacOrOgg(const std::string& path) {
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !beginsLikeFlacOrOgg(fd)) {
        ::close(fd);
        return std::nullopt;
    }
    OpenSoundFile opened;
    // libsndfile closes the descriptor with the file, also when the open fails.
    opened.file.reset(sf_open_fd(fd, SFM_READ, &opened.info, SF_TRUE));
    if (!opened.file)
        return std::nullopt;
    const int type = opened.info.format & SF_FORMAT_TYPEMASK;
    if (type != SF_FORMAT_FLAC && type != SF_FORMAT_OGG)
        return std::nullopt;
    return opened;
}

}  // namespace tembrel
