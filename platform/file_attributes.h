// File attributes as the program sees them on Linux: read-only means no write bit at
// all, hidden means a name beginning with ".", and "the attributes" of a file are its
// permission bits (mode & 07777).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tembrel {

inline constexpr uint32_t kAttributeBits = 07777;

// No write bit for owner, group or others.
bool isReadOnlyMode(mode_t mode);
// The last component of `path` begins with ".".
bool isHiddenName(std::string_view path);

// True when the file exists and has no write bit set.
bool isReadOnly(const std::string& path);

// The permission bits of a file (symbolic links followed); nothing when it cannot be read.
std::optional<uint32_t> readAttributes(const std::string& path);
// Sets the permission bits of a file to `bits` & 07777.
bool writeAttributes(const std::string& path, uint32_t bits);
// Gives `to` the permission bits of `from`.
bool copyAttributes(const std::string& from, const std::string& to);
// Adds the owner's write bit; other bits stay.
bool clearReadOnly(const std::string& path);

}  // namespace tembrel
