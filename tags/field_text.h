// Storing texts into the fixed-size fields of SongTags, and the record's 32-bit numbers.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tembrel {

// Copies `bytes` into `field`, cut to the field size less one, and clears the rest of the
// field, so the field is always NUL-terminated (as a C text it ends at the first NUL).
void storeField(std::span<char> field, std::string_view bytes);

// As storeField for CP932 text, but cut so that no double-byte character is split.
void storeCp932Field(std::span<char> field, std::string_view cp932);

// A file offset or length as the record's signed 32-bit number, capped at its maximum.
int32_t clampToInt32(uint64_t value);

}  // namespace tembrel
