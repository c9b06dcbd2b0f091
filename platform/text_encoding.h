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

// CP932 bytes to UTF-8; bytes that are no CP932 character become U+FFFD.
std::string cp932ToUtf8(std::string_view cp932);

// UTF-8 to CP932; characters CP932 lacks and malformed bytes become "?".
std::string utf8ToCp932(std::string_view utf8);

// UTF-16 to CP932. A leading byte-order mark decides the byte order and is dropped;
// without one the text is read as `defaultBigEndian` says. A final odd byte, characters
// CP932 lacks and unpaired surrogates become "?".
std::string utf16ToCp932(std::span<const uint8_t> utf16, bool defaultBigEndian = true);

// When `bytes` is well-formed UTF-8 that holds at least one multi-byte character: its
// length, less a final character cut short when `cutEndAllowed` (a text that filled a
// fixed-width field). Nothing otherwise: plain ASCII, or bytes of another encoding.
// CP932 texts of kana and common kanji are never well-formed UTF-8.
std::optional<std::size_t> multiByteUtf8Length(std::string_view bytes, bool cutEndAllowed = false);

// Length of the longest prefix of `cp932` that has at most `maxBytes` bytes and does
// not end inside a double-byte character.
std::size_t cp932FitLength(std::string_view cp932, std::size_t maxBytes);

}  // namespace tembrel::text
