// Conversion between the texts stored in files (CP932 bytes) and the encodings the
// platform and tag formats use. Nothing is ever dropped silently: what does not convert
// becomes a visible replacement ("?" in CP932, U+FFFD in UTF-8).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tembrel::text {

// Each conversion sets *lossy (when given) if it replaced anything, and never clears it.

// CP932 bytes to UTF-8; bytes that are no CP932 character become U+FFFD.
std::string cp932ToUtf8(std::string_view cp932, bool* lossy = nullptr);

// UTF-8 to CP932; characters CP932 lacks and malformed bytes become "?".
std::string utf8ToCp932(std::string_view utf8, bool* lossy = nullptr);

// UTF-16 to CP932. A leading byte-order mark decides the byte order and is dropped;
// without one the text is read as `defaultBigEndian` says. A final odd byte, characters
// CP932 lacks and unpaired surrogates become "?".
std::string utf16ToCp932(std::span<const uint8_t> utf16, bool defaultBigEndian = true,
                         bool* lossy = nullptr);

// Length of the well-formed UTF-8 character (RFC 3629: no overlong forms, surrogates or
// values past U+10FFFF) that starts at `position`; 0 when none does.
std::size_t utf8CharacterLength(std::string_view text, std::size_t position);

// When `bytes` is well-formed UTF-8 that holds at least one multi-byte character: its
// length, less a final character cut short when `cutEndAllowed` (a text that filled a
// fixed-width field). Nothing otherwise: plain ASCII, or bytes of another encoding.
// CP932 texts of kana and common kanji are never well-formed UTF-8.
std::optional<std::size_t> multiByteUtf8Length(std::string_view bytes, bool cutEndAllowed = false);

// Why a text a user typed cannot be stored as CP932.
struct Cp932Refusal {
    // The first character CP932 lacks, as UTF-8; for input that is not UTF-8, the bytes
    // of the first malformed sequence.
    std::string character;
    // How many characters come before it (in the normalised text).
    std::size_t position = 0;
    bool malformed = false;
};

struct StrictCp932 {
    std::string cp932;  // the whole text converted, when nothing was refused
    std::optional<Cp932Refusal> refusal;
    bool ok() const { return !refusal; }
};

// UTF-8 to CP932 for storing what a user typed: the text is put in Unicode normal form C
// first (a decomposed "か" + U+3099 becomes "が"), then converted whole or not at all.
StrictCp932 utf8ToCp932Strict(std::string_view utf8);

// Length of the longest prefix of `cp932` that has at most `maxBytes` bytes and does
// not end inside a double-byte character.
std::size_t cp932FitLength(std::string_view cp932, std::size_t maxBytes);

}  // namespace tembrel::text
