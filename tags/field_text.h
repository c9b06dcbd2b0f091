// Storing texts into the fixed-size fields of SongTags, and the record's 32-bit numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/text_field.h"

namespace tembrel {

// As storeField for CP932 text, but cut so that no double-byte character is split.
void storeCp932Field(std::span<char> field, std::string_view cp932);

// Stores a text of a format that does not say its encoding (RIFF INFO, ID3v1). Today's
// taggers write UTF-8 there: a text that is well-formed UTF-8 with a multi-byte
// character is converted to CP932 (what CP932 lacks becomes "?"). Anything else keeps
// its bytes, as Japanese texts written in CP932 need. `fillsItsField`: the text ran to
// the end of a fixed-width field, so a UTF-8 writer may have cut its last character.
// True when characters were replaced on the way into CP932.
bool storeUndeclaredText(std::span<char> field, std::string_view bytes, bool fillsItsField = false);

// A file offset or length as the record's signed 32-bit number, capped at its maximum.
int32_t clampToInt32(uint64_t value);

// The leading decimal number of a text ("05/12" gives 5), as the C "%d" conversion reads
// it but without overflow; nothing when the text does not begin with one.
std::optional<int32_t> leadingNumber(const char* text);

}  // namespace tembrel
