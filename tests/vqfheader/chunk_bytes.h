// Building expected byte strings in the header tests (texts and hex bytes joined), and the
// setup record of the reference "abc" header that the header and frame tests share.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/byte_order.h"
#include "tvq/tvq_records.h"

namespace tembrel::test {

using Bytes = std::vector<uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes text(std::string_view s) {
    return {s.begin(), s.end()};
}

// A sub-chunk in wire form with a 4-byte big-endian size.
inline Bytes sub(std::string_view id, const Bytes& data) {
    Bytes out = text(id);
    bytes::appendBE(out, uint32_t(data.size()), 4);
    return out + data;
}

// Stereo, 96 kbit/s, 44 kHz, security level 0, the name "abc" and every other text empty.
inline HeaderInfo abcInfo() {
    HeaderInfo info{};
    std::strcpy(info.id, kTvqVersionId);
    info.channelMode = 1;
    info.bitRate = 96;
    info.samplingRate = 44;
    std::strcpy(info.name, "abc");
    return info;
}

}  // namespace tembrel::test
