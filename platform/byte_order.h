// The one place where multi-byte integers are packed into and unpacked from bytes.
// RIFF sizes are little-endian, VQF header integers big-endian; callers never shift
// bytes by hand.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tembrel::bytes {

// Unsigned big-endian number of `width` bytes (0..4) from the front of `in`.
// The caller guarantees in.size() >= width.
inline uint32_t readBE(std::span<const uint8_t> in, std::size_t width) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value = (value << 8) | in[i];
    return value;
}

inline uint32_t readLE(std::span<const uint8_t> in, std::size_t width) {
    uint32_t value = 0;
    for (std::size_t i = width; i > 0; --i)
        value = (value << 8) | in[i - 1];
    return value;
}

inline uint16_t readBE16(std::span<const uint8_t> in) {
    return uint16_t(readBE(in, 2));
}
inline uint32_t readBE32(std::span<const uint8_t> in) {
    return readBE(in, 4);
}
inline uint16_t readLE16(std::span<const uint8_t> in) {
    return uint16_t(readLE(in, 2));
}
inline uint32_t readLE32(std::span<const uint8_t> in) {
    return readLE(in, 4);
}

// Stores the low `width` bytes of `value` at the front of `out`.
inline void storeBE(std::span<uint8_t> out, uint32_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        out[i] = uint8_t(value >> (8 * (width - 1 - i)));
}

inline void storeLE(std::span<uint8_t> out, uint32_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        out[i] = uint8_t(value >> (8 * i));
}

// Appends the low `width` bytes of `value`.
inline void appendBE(std::vector<uint8_t>& out, uint32_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        out.push_back(uint8_t(value >> (8 * (width - 1 - i))));
}

inline void appendLE(std::vector<uint8_t>& out, uint32_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

// Signed 16-bit little-endian sample.
inline int16_t readSampleLE16(std::span<const uint8_t> in) {
    return int16_t(readLE16(in));
}

// Signed 24-bit little-endian sample, sign-extended.
inline int32_t readSampleLE24(std::span<const uint8_t> in) {
    return int32_t(readLE(in, 3) << 8) >> 8;
}

// Signed 32-bit little-endian sample.
inline int32_t readSampleLE32(std::span<const uint8_t> in) {
    return int32_t(readLE32(in));
}

// IEEE 754 little-endian samples of 32 and 64 bits.
inline float readFloatLE32(std::span<const uint8_t> in) {
    return std::bit_cast<float>(readLE32(in));
}
inline double readFloatLE64(std::span<const uint8_t> in) {
    return std::bit_cast<double>(uint64_t(readLE32(in)) | uint64_t(readLE32(in.subspan(4))) << 32);
}

}  // namespace tembrel::bytes
