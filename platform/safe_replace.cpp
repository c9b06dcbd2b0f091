#include "platform/safe_replace.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <utility>

#include "platform/file_ops.h"
#include "platform/path_names.h"

namespace tembrel {
namespace {

constexpr int kOwnNameAttempts = 100;

// The folder part of `path` with its final "/", or "" for a bare name.
std::string folderPart(const std::string& path) {
    return path.substr(0, path.size() - lastElementOf(path).size());
}

// ".tembrel-" + 8 random letters and digits + ".tmp": hidden, so no folder walk takes
// it, and far below NAME_MAX whatever the target's name.
std::string ownName() {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[8];
    if (getrandom(random, sizeof random, 0) != ssize_t(sizeof random)) {
        uint64_t seed = uint64_t(std::time(nullptr)) * 6364136223846793005u + uint64_t(getpid());
        for (unsigned char& r : random) {
            seed = seed * 6364136223846793005u + 1442695040888963407u;
            r = static_cast<unsigned char>(seed >> 56);
        }
    }
    std::string name = ".tembrel-";
    for (unsigned char r : random)
        name += kAlphabet[r % (sizeof kAlphabet - 1)];
    name += ".tmp";
    return name;
}

int createExclusive(const std::string& path) {
    for (;;) {
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EINTR)
            return fd;
    }
}

}  // namespace

SafeReplace SafeReplace::create(const std::string& target,
                                std::span<const std::string> preferredNames) {
    SafeReplace out;
    out.target_ = target;
    const std::string folder = folderPart(target);

    auto attempt = [&](const std::string& name) {
        if (name.empty() || name.size() > NAME_MAX || folder.size() + name.size() >= PATH_MAX) {
            out.error_ = ENAMETOOLONG;
            return false;
        }
        const std::string path = folder + name;
        const int fd = createExclusive(path);
        if (fd < 0) {
            out.error_ = errno;
            return false;
        }
        struct stat st {};
        if (fstat(fd, &st) != 0) {
            out.error_ = errno;
            ::close(fd);
            ::unlink(path.c_str());
            return false;
        }
        // The file was made with 0666, so the umask has shaped it as any new file. It
        // stays private while it is written.
        out.newFileBits_ = uint32_t(st.st_mode) & 0777;
        fchmod(fd, mode_t(out.newFileBits_ & 0600));
        out.fd_ = fd;
        out.path_ = path;
        out.device_ = st.st_dev;
        out.inode_ = st.st_ino;
        out.error_ = 0;
        return true;
    };
    // Only a taken or too long name is a reason to try another; anything else (a folder
    // that refuses new files, a full disk) fails every name alike.
    auto tryAnother = [&out] { return out.error_ == EEXIST || out.error_ == ENAMETOOLONG; };

    for (const std::string& name : preferredNames) {
        if (attempt(name))
            return out;
        if (!tryAnother())
            return out;
    }
    for (int i = 0; i < kOwnNameAttempts; ++i) {
        if (attempt(ownName()))
            return out;
        if (!tryAnother())
            return out;
    }
    return out;
}

SafeReplace::SafeReplace(SafeReplace&& other) noexcept {
    *this = std::move(other);
}

SafeReplace& SafeReplace::operator=(SafeReplace&& other) noexcept {
    if (this != &other) {
        abandon();
        target_ = std::move(other.target_);
        path_ = std::exchange(other.path_, {});
        fd_ = std::exchange(other.fd_, -1);
        newFileBits_ = other.newFileBits_;
        device_ = other.device_;
        inode_ = other.inode_;
        error_ = other.error_;
    }
    return *this;
}

SafeReplace::~SafeReplace() {
    abandon();
}

bool SafeReplace::fail(int error) {
    error_ = error;
    return false;
}

bool SafeReplace::write(std::span<const uint8_t> bytes) {
    if (fd_ < 0)
        return fail(EBADF);
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        bytes = bytes.subspan(std::size_t(n));
    }
    return true;
}

// The name still holds the file created (nobody swapped it for something else).
bool SafeReplace::stillOurs() {
    struct stat st {};
    if (lstat(path_.c_str(), &st) != 0)
        return fail(errno);
    if (st.st_dev != device_ || st.st_ino != inode_)
        return fail(ESTALE);
    return true;
}

bool SafeReplace::finish(std::optional<uint32_t> bits) {
    if (!ok())
        return fail(EBADF);
    const mode_t mode = mode_t(bits.value_or(newFileBits_) & 07777);
    if (fd_ < 0) {
        // Finished before; only the bits may change now.
        if (!stillOurs())
            return false;
        return !bits || chmod(path_.c_str(), mode) == 0 || fail(errno);
    }
    const int fd = std::exchange(fd_, -1);
    bool done = fchmod(fd, mode) == 0 || fail(errno);
    done = done && (fsync(fd) == 0 || fail(errno));
    // close can report a write that failed late (network file systems); it is checked,
    // and never retried (the descriptor is gone either way).
    if (::close(fd) != 0 && done)
        done = fail(errno);
    return done && stillOurs();
}

void SafeReplace::syncFolder(const std::string& name) {
    const std::string folder = folderPart(name);
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error_ = errno;
        return;
    }
    if (fsync(fd) != 0)
        error_ = errno;
    ::close(fd);
}

bool SafeReplace::commit(std::optional<uint32_t> bits) {
    if (!finish(bits))
        return false;
    if (std::rename(path_.c_str(), target_.c_str()) != 0)
        return fail(errno);
    path_.clear();
    syncFolder(target_);
    return true;
}

bool SafeReplace::commitNoReplace(std::optional<uint32_t> bits, const std::string& name) {
    if (!finish(bits))
        return false;
    const std::string& to = name.empty() ? target_ : name;
    if (!renameNoReplace(path_, to))
        return fail(errno);
    path_.clear();
    syncFolder(to);
    return true;
}

void SafeReplace::abandon() {
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
    if (path_.empty())
        return;
    const int saved = error_;
    // Never remove a file that took the temporary name after ours went.
    if (stillOurs())
        ::unlink(path_.c_str());
    error_ = saved;
    path_.clear();
}

}  // namespace tembrel
