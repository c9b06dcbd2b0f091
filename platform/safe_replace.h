// Writing a user's file without ever losing it: the new content goes into a temporary
// file beside the target, which then takes the target's name in one rename(2) (so at
// every moment one complete file has that name), or is removed.
//
//   SafeReplace out = SafeReplace::create("song.vqf");
//   if (!out.ok()) ...                      // out.error() says why
//   out.write(bytes) ...                    // or write out.path() / out.fd() yourself
//   out.commit(bits) or out.abandon();      // destruction abandons
//
// A symbolic link at the target's name is replaced as a name; the file it points at is
// never written. Whoever wants the link followed passes the link's target.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tembrel {

class SafeReplace {
  public:
    // Creates an empty temporary file, exclusively (O_CREAT|O_EXCL|O_NOFOLLOW), in the
    // folder of `target` ("" when the path has no folder part: the current directory).
    // The bare names in `preferredNames` are tried first, in order; a name that exists or
    // is too long for the file system is passed over. Then the helper's own names:
    // short, hidden, random, never ending in an audio or VQF extension, so a temporary
    // file left by a killed process is never taken for a source or an output.
    // The result is !ok() when no name could be created; error() gives errno
    // (EEXIST when every name was taken).
    static SafeReplace create(const std::string& target,
                              std::span<const std::string> preferredNames = {});

    SafeReplace() = default;
    SafeReplace(SafeReplace&& other) noexcept;
    SafeReplace& operator=(SafeReplace&& other) noexcept;
    SafeReplace(const SafeReplace&) = delete;
    SafeReplace& operator=(const SafeReplace&) = delete;
    // Abandons the temporary file unless it was committed.
    ~SafeReplace();

    // A temporary file exists and is neither committed nor abandoned.
    bool ok() const { return !path_.empty(); }
    // errno of the last failure, 0 when there was none.
    int error() const { return error_; }

    const std::string& target() const { return target_; }
    // The temporary file. Others may write it by this path (truncating it is fine,
    // replacing it is not) as long as they finish and close before commit.
    const std::string& path() const { return path_; }
    // Open for writing until finish() or a commit; -1 afterwards.
    int fd() const { return fd_; }
    // The permission bits a new file gets here (0666 & ~umask).
    uint32_t newFileBits() const { return newFileBits_; }

    // Writes all of `bytes` at the current position of fd().
    bool write(std::span<const uint8_t> bytes);

    // Ends the writing: gives the temporary file `bits` (newFileBits() when none), syncs
    // and closes it. Done by the first commit unless called before, so that a failure to
    // write can be told from a failure to rename.
    bool finish(std::optional<uint32_t> bits = std::nullopt);
    // finish() unless done (`bits` given after it are applied all the same), then renames
    // the temporary file over the target and syncs the folder. On failure the temporary
    // file stays for abandon() or another commit, and the target is untouched. A failure
    // to sync the folder after the rename is reported by error() but the commit stands.
    bool commit(std::optional<uint32_t> bits = std::nullopt);
    // As commit, but never replaces: when `name` (the target when empty) exists the
    // result is false with error() EEXIST, and the temporary file stays, so the caller
    // may try another name.
    bool commitNoReplace(std::optional<uint32_t> bits = std::nullopt, const std::string& name = {});
    // Removes the temporary file. Also done on destruction.
    void abandon();

  private:
    bool stillOurs();
    bool fail(int error);
    // fsync of the folder that holds `name`, so the rename itself is on disk.
    void syncFolder(const std::string& name);

    std::string target_;
    std::string path_;
    int fd_ = -1;
    uint32_t newFileBits_ = 0644;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    int error_ = 0;
};

}  // namespace tembrel
