// Builds RIFF files byte by byte for the tests: chunks with any declared size, pad bytes
// where the caller wants them.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/byte_order.h"

namespace tembrel::test {

using Bytes = std::vector<uint8_t>;

inline void appendId(Bytes& out, std::string_view id) {
    out.insert(out.end(), id.begin(), id.end());
}

// A chunk: id, declared size (the payload size unless given), payload, and a pad byte
// after an odd payload unless `pad` is false.
inline Bytes chunk(std::string_view id, const Bytes& payload, bool pad = true,
                   int64_t declaredSize = -1) {
    Bytes out;
    appendId(out, id);
    bytes::appendLE(out, declaredSize < 0 ? uint32_t(payload.size()) : uint32_t(declaredSize), 4);
    out.insert(out.end(), payload.begin(), payload.end());
    if (pad && (payload.size() & 1))
        out.push_back(0);
    return out;
}

// A "RIFF" or "LIST" chunk of `type` holding the given sub-chunks.
inline Bytes form(std::string_view id, std::string_view type, const std::vector<Bytes>& parts,
                  int64_t declaredSize = -1) {
    Bytes payload;
    appendId(payload, type);
    for (const Bytes& part : parts)
        payload.insert(payload.end(), part.begin(), part.end());
    return chunk(id, payload, true, declaredSize);
}

// A 16-byte "fmt " payload.
inline Bytes fmtPayload(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    Bytes out;
    const uint16_t align = uint16_t(channels * ((bits + 7) / 8));
    bytes::appendLE(out, tag, 2);
    bytes::appendLE(out, channels, 2);
    bytes::appendLE(out, rate, 4);
    bytes::appendLE(out, rate * align, 4);
    bytes::appendLE(out, align, 2);
    bytes::appendLE(out, bits, 2);
    return out;
}

// Payload bytes 0, 1, 2, ... (mod 256) so that any misplaced byte shows.
inline Bytes counting(std::size_t size, uint8_t first = 0) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = uint8_t(first + i);
    return out;
}

}  // namespace tembrel::test
