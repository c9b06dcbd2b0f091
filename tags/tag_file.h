// Read-only access to a file for the tag readers: its size and reads at an offset that
// never go past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tembrel {

class TagFile {
  public:
    // Opens `path` when it names a regular file; anything else (a folder, a pipe that
    // could block) stays closed.
    explicit TagFile(const std::string& path);
    ~TagFile();
    TagFile(const TagFile&) = delete;
    TagFile& operator=(const TagFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    uint64_t size() const { return size_; }
    // Reads up to out.size() bytes from `offset`; returns the number read (0 at or past
    // the end, or on a read error).
    std::size_t readAt(uint64_t offset, std::span<uint8_t> out) const;

  private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

}  // namespace tembrel
