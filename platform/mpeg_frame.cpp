#include "platform/mpeg_frame.h"

#include <array>
#include <cstring>

#include "platform/byte_order.h"

namespace tembrel::mpeg {

namespace {

// Bit rates in kbit/s by bit-rate index 1..14 (index 0, free format, and 15 have none).
constexpr std::array<uint16_t, 15> kMpeg1Layer1 = {0,   32,  64,  96,  128, 160, 192, 224,
                                                   256, 288, 320, 352, 384, 416, 448};
constexpr std::array<uint16_t, 15> kMpeg1Layer2 = {0,   32,  48,  56,  64,  80,  96, 112,
                                                   128, 160, 192, 224, 256, 320, 384};
constexpr std::array<uint16_t, 15> kMpeg1Layer3 = {0,   32,  40,  48,  56,  64,  80, 96,
                                                   112, 128, 160, 192, 224, 256, 320};
constexpr std::array<uint16_t, 15> kMpeg2Layer1 = {0,   32,  48,  56,  64,  80,  96, 112,
                                                   128, 144, 160, 176, 192, 224, 256};
constexpr std::array<uint16_t, 15> kMpeg2Layer23 = {0,  8,  16, 24,  32,  40,  48, 56,
                                                    64, 80, 96, 112, 128, 144, 160};

constexpr std::array<uint32_t, 3> kMpeg1Rates = {44100, 48000, 32000};
constexpr std::array<uint32_t, 3> kMpeg2Rates = {22050, 24000, 16000};
constexpr std::array<uint32_t, 3> kMpeg25Rates = {11025, 12000, 8000};

bool startsWith(std::span<const uint8_t> bytes, std::size_t at, const char* tag) {
    const std::size_t n = std::strlen(tag);
    return bytes.size() >= at + n && std::memcmp(bytes.data() + at, tag, n) == 0;
}

std::optional<VbrInfo> parseXing(std::span<const uint8_t> body, std::size_t at) {
    if (!startsWith(body, at, "Xing") && !startsWith(body, at, "Info"))
        return std::nullopt;
    std::size_t pos = at + 4;
    if (body.size() < pos + 4)
        return std::nullopt;
    const uint32_t flags = bytes::readBE32(body.subspan(pos));
    pos += 4;
    VbrInfo info;
    if (flags & 1) {
        if (body.size() < pos + 4)
            return std::nullopt;
        info.frames = bytes::readBE32(body.subspan(pos));
        pos += 4;
    }
    if (flags & 2)
        pos += 4;  // stream bytes
    if (flags & 4)
        pos += 100;  // seek table
    if (flags & 8)
        pos += 4;  // quality
    // The LAME tag: a 9-byte encoder name, then at offset 21 the encoder delay and
    // padding as two 12-bit numbers.
    if (body.size() >= pos + 24 &&
        (startsWith(body, pos, "LAME") || startsWith(body, pos, "Lavc") ||
         startsWith(body, pos, "Lavf"))) {
        const uint32_t gap = bytes::readBE(body.subspan(pos + 21), 3);
        info.hasEncoderGap = true;
        info.encoderDelay = gap >> 12;
        info.encoderPadding = gap & 0xFFF;
    }
    return info;
}

}  // namespace

uint32_t FrameHeader::frameBytes() const {
    const uint32_t pad = padding ? 1 : 0;
    if (layer == 1)
        return (12 * bitrateKbps * 1000 / sampleRate + pad) * 4;
    if (layer == 3 && version != Version::Mpeg1)
        return 72 * bitrateKbps * 1000 / sampleRate + pad;
    return 144 * bitrateKbps * 1000 / sampleRate + pad;
}

uint32_t FrameHeader::samplesPerFrame() const {
    if (layer == 1)
        return 384;
    if (layer == 3 && version != Version::Mpeg1)
        return 576;
    return 1152;
}

uint32_t FrameHeader::sideInfoBytes() const {
    const uint32_t crc = crcProtected ? 2 : 0;
    if (version == Version::Mpeg1)
        return (channels() == 1 ? 17 : 32) + crc;
    return (channels() == 1 ? 9 : 17) + crc;
}

std::optional<FrameHeader> parseFrameHeader(std::span<const uint8_t> bytes) {
    if (bytes.size() < kHeaderBytes)
        return std::nullopt;
    if (bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0)
        return std::nullopt;
    FrameHeader h;
    switch ((bytes[1] >> 3) & 3) {
        case 0:
            h.version = Version::Mpeg25;
            break;
        case 2:
            h.version = Version::Mpeg2;
            break;
        case 3:
            h.version = Version::Mpeg1;
            break;
        default:
            return std::nullopt;
    }
    const int layerBits = (bytes[1] >> 1) & 3;
    if (layerBits == 0)
        return std::nullopt;
    h.layer = 4 - layerBits;
    h.crcProtected = (bytes[1] & 1) == 0;

    const int bitrateIndex = bytes[2] >> 4;
    const int rateIndex = (bytes[2] >> 2) & 3;
    if (bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    const bool mpeg1 = h.version == Version::Mpeg1;
    const auto& table = mpeg1 ? (h.layer == 1   ? kMpeg1Layer1
                                 : h.layer == 2 ? kMpeg1Layer2
                                                : kMpeg1Layer3)
                              : (h.layer == 1 ? kMpeg2Layer1 : kMpeg2Layer23);
    h.bitrateKbps = table[bitrateIndex];
    h.sampleRate = (mpeg1                         ? kMpeg1Rates
                    : h.version == Version::Mpeg2 ? kMpeg2Rates
                                                  : kMpeg25Rates)[rateIndex];
    h.padding = (bytes[2] & 2) != 0;
    h.channelMode = uint8_t(bytes[3] >> 6);
    return h;
}

bool sameStream(const FrameHeader& a, const FrameHeader& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

std::optional<VbrInfo> parseVbrInfo(const FrameHeader& header, std::span<const uint8_t> body) {
    if (header.layer != 3)
        return std::nullopt;
    if (auto xing = parseXing(body, header.sideInfoBytes()))
        return xing;
    // VBRI stands 32 bytes after the header whatever the mode: version, delay and
    // quality (2 bytes each), stream bytes, then the frame count.
    constexpr std::size_t kVbriAt = 32;
    if (startsWith(body, kVbriAt, "VBRI") && body.size() >= kVbriAt + 18) {
        VbrInfo info;
        info.frames = bytes::readBE32(body.subspan(kVbriAt + 14));
        return info;
    }
    return std::nullopt;
}

}  // namespace tembrel::mpeg
