// The layout of a VQF file's header, walked from its bytes and checked on the way: the
// 16-byte head (a 12-byte version id beginning "TWIN", the body size as a big-endian
// 32-bit number), the body of sub-chunks that must fill it exactly, then "DATA" and the
// frame data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tembrel::tagedit {

inline constexpr std::size_t kHeadBytes = 16;
inline constexpr std::size_t kChunkHeadBytes = 8;
inline constexpr std::string_view kDataMark = "DATA";

struct ChunkSpan {
    std::array<char, 4> idBytes;
    std::size_t offset;  // of the chunk's head
    uint32_t size;       // of its data, which follows the head

    std::string_view id() const { return {idBytes.data(), idBytes.size()}; }
    std::size_t dataOffset() const { return offset + kChunkHeadBytes; }
    std::size_t end() const { return dataOffset() + size; }
};

struct HeaderWalk {
    uint32_t bodySize = 0;
    std::vector<ChunkSpan> chunks;  // in file order, duplicates included
    // Where the frame data begins: just after "DATA".
    std::size_t frameDataOffset = 0;
};

// Bytes a walk needs from the start of the file, as the head says; nothing when the
// head is shorter than 16 bytes or does not begin with "TWIN".
std::optional<std::size_t> headerLength(std::span<const uint8_t> head);

// Walks `bytes` (the start of a file, at least headerLength() of it). Nothing unless
// every chunk fits the body, the chunks end exactly at its end, and "DATA" follows.
std::optional<HeaderWalk> walkHeader(std::span<const uint8_t> bytes);

}  // namespace tembrel::tagedit
