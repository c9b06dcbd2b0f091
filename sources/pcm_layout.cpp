#include "sources/pcm_layout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/byte_order.h"

namespace tembrel {
namespace {

constexpr std::size_t kRecordBytes = sizeof(WAVEFORMATEX);
// After the record, WAVE_FORMAT_EXTENSIBLE holds the valid bits, the channel mask and the
// sub-format GUID, whose first two bytes are the format tag it stands for.
constexpr std::size_t kExtensibleBytes = 22;
constexpr std::size_t kSubFormatAt = kRecordBytes + 6;
constexpr std::array<uint8_t, 14> kGuidTail{0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::string tagText(uint16_t tag) {
    char text[40];
    std::snprintf(text, sizeof text, "format tag 0x%04X", tag);
    return text;
}

}  // namespace

std::span<const uint8_t> formatBlockOf(const WAVEFORMATEX& format) {
    const std::size_t extra = format.wFormatTag == WAVE_FORMAT_PCM ? 0 : format.cbSize;
    return {reinterpret_cast<const uint8_t*>(&format), kRecordBytes + extra};
}

std::variant<PcmLayout, std::string> describePcm(std::span<const uint8_t> block) {
    if (block.size() < 16)
        return std::string("format record too short");
    uint16_t tag = bytes::readLE16(block);
    const uint16_t bits = bytes::readLE16(block.subspan(14));
    if (tag == WAVE_FORMAT_EXTENSIBLE) {
        const uint16_t cbSize =
            block.size() >= kRecordBytes ? bytes::readLE16(block.subspan(16)) : 0;
        if (cbSize < kExtensibleBytes || block.size() < kRecordBytes + kExtensibleBytes)
            return std::string("WAVE_FORMAT_EXTENSIBLE record too short");
        const auto guid = block.subspan(kSubFormatAt, 16);
        if (!std::equal(kGuidTail.begin(), kGuidTail.end(), guid.begin() + 2))
            return std::string("WAVE_FORMAT_EXTENSIBLE with an unknown sub-format");
        tag = bytes::readLE16(guid);
        const uint16_t validBits = bytes::readLE16(block.subspan(kRecordBytes));
        if (validBits > bits)
            return std::to_string(validBits) + " valid bits in " + std::to_string(bits) +
                   "-bit samples";
    }
    PcmLayout layout{};
    layout.channels = bytes::readLE16(block.subspan(2));
    layout.rate = bytes::readLE32(block.subspan(4));
    layout.bitsPerSample = bits;
    layout.containerBytes = uint16_t((bits + 7) / 8);
    if (tag == WAVE_FORMAT_PCM) {
        static constexpr SampleEncoding kByWidth[] = {
            SampleEncoding::Unsigned8, SampleEncoding::Signed16, SampleEncoding::Signed24,
            SampleEncoding::Signed32};
        if (bits == 0 || bits > 32)
            return std::to_string(bits) + "-bit PCM";
        layout.encoding = kByWidth[layout.containerBytes - 1];
    } else if (tag == WAVE_FORMAT_IEEE_FLOAT) {
        if (bits != 32 && bits != 64)
            return std::to_string(bits) + "-bit float";
        layout.encoding = bits == 32 ? SampleEncoding::Float32 : SampleEncoding::Float64;
    } else {
        return tagText(tag) + " is not PCM";
    }
    return layout;
}

namespace {

float clippedFloat(double x) {
    if (!std::isfinite(x))
        return 0.0f;
    return float(std::clamp(x, -1.0, 1.0) * 32768.0);
}

float sampleAt(std::span<const uint8_t> at, SampleEncoding encoding) {
    switch (encoding) {
        case SampleEncoding::Unsigned8:
            return float((int(at[0]) - 128) * 256);
        case SampleEncoding::Signed16:
            return float(bytes::readSampleLE16(at));
        case SampleEncoding::Signed24:
            return float(bytes::readSampleLE24(at)) * (1.0f / 256.0f);
        case SampleEncoding::Signed32:
            return float(double(bytes::readSampleLE32(at)) * (1.0 / 65536.0));
        case SampleEncoding::Float32:
            return clippedFloat(bytes::readFloatLE32(at));
        case SampleEncoding::Float64:
            return clippedFloat(bytes::readFloatLE64(at));
    }
    return 0.0f;
}

}  // namespace

std::size_t samplesToFloat(std::span<const uint8_t> pcm, const PcmLayout& layout,
                           std::span<float> out) {
    const std::size_t stride = layout.stride();
    if (stride == 0)
        return 0;
    const std::size_t frames = std::min(pcm.size() / stride, out.size() / layout.channels);
    const std::size_t samples = frames * layout.channels;
    for (std::size_t i = 0; i < samples; ++i)
        out[i] = sampleAt(pcm.subspan(i * layout.containerBytes), layout.encoding);
    return frames;
}

}  // namespace tembrel
