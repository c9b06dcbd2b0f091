#include "tagedit/header_walk.h"

#include <cstring>

#include "platform/byte_order.h"

namespace tembrel::tagedit {

std::optional<std::size_t> headerLength(std::span<const uint8_t> head) {
    if (head.size() < kHeadBytes || std::memcmp(head.data(), "TWIN", 4) != 0)
        return std::nullopt;
    return kHeadBytes + std::size_t(bytes::readBE32(head.subspan(12))) + kDataMark.size();
}

std::optional<HeaderWalk> walkHeader(std::span<const uint8_t> bytes) {
    const std::optional<std::size_t> length = headerLength(bytes);
    if (!length || bytes.size() < *length)
        return std::nullopt;
    HeaderWalk walk;
    walk.bodySize = bytes::readBE32(bytes.subspan(12));
    const std::size_t bodyEnd = kHeadBytes + walk.bodySize;
    std::size_t at = kHeadBytes;
    while (at < bodyEnd) {
        if (bodyEnd - at < kChunkHeadBytes)
            return std::nullopt;
        const uint32_t size = bytes::readBE32(bytes.subspan(at + 4));
        if (size > bodyEnd - at - kChunkHeadBytes)
            return std::nullopt;
        ChunkSpan chunk{{}, at, size};
        std::memcpy(chunk.idBytes.data(), bytes.data() + at, chunk.idBytes.size());
        walk.chunks.push_back(chunk);
        at = chunk.end();
    }
    if (std::memcmp(bytes.data() + bodyEnd, kDataMark.data(), kDataMark.size()) != 0)
        return std::nullopt;
    walk.frameDataOffset = bodyEnd + kDataMark.size();
    return walk;
}

}  // namespace tembrel::tagedit
