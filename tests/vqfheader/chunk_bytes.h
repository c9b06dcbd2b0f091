// Building expected byte strings in the header tests: texts and hex bytes joined.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

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
    const auto n = uint32_t(data.size());
    return text(id) + Bytes{uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)} + data;
}

}  // namespace tembrel::test
