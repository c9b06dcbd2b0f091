// The pieces of the ID3v2 reader (SongTags::readId3v2) that work on a tag held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tembrel::id3v2 {

inline constexpr std::size_t kTagHeaderSize = 10;

// Bytes of the whole tag that `header` (its first 10 bytes) begins, footer included;
// nothing when it is no ID3v2 tag header.
std::optional<uint64_t> tagSize(std::span<const uint8_t> header);

// Seven bits from each of the first three bytes, the last byte whole, most significant
// first: the 28-bit value of a synchsafe integer.
uint32_t decodeSynchsafe(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3);

// The frames of one tag: the bytes after the tag header and any extended header, with
// tag-wide unsynchronisation of versions 2.2 and 2.3 already undone.
struct FrameArea {
    std::span<const uint8_t> bytes;
    uint8_t version = 4;          // major version: 2, 3 or 4
    bool unsynchronised = false;  // 2.4: every frame's content is unsynchronised
    bool plainSizes = false;      // 2.4 tag whose writer stored plain 32-bit frame sizes
};

struct FrameStep {
    std::size_t consumed = 0;  // frame header + content; 0 ends the walk
    bool stored = false;       // the frame yielded a text and it was stored in the field
    bool lossy = false;        // characters of the stored text were replaced on conversion
};

// Looks at the frame at `position`. Consumes nothing at padding (a zero byte), at a frame
// that would run past the area, or when `id` is given and the frame has another id.
// Otherwise, when `field` is given, stores the frame's text: text frames give their
// text, comment frames their text when the description is empty (others are passed
// over), URL frames with description the URL. Texts in UTF-16 or UTF-8 become CP932;
// texts with encoding byte 0 keep their bytes. Compressed and encrypted frames give no
// text.
FrameStep readTextFrame(std::span<char> field, const FrameArea& area, std::size_t position,
                        std::string_view id = {});

// The id of the frame at `position` (3 characters in 2.2, else 4), empty when no frame
// header fits there.
std::string_view frameIdAt(const FrameArea& area, std::size_t position);

// True when the frames, measured as `area` says, follow one another up to the end of the
// area or to padding, each with an id of capital letters and digits.
bool walksCleanly(const FrameArea& area);

// Removes the zero byte after every 0xFF (the reverse of ID3v2 unsynchronisation).
std::size_t undoUnsynchronisation(std::span<uint8_t> bytes);

}  // namespace tembrel::id3v2
