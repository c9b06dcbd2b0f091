// What the samples a source delivers look like, read from its format record (plain PCM,
// IEEE float, or WAVE_FORMAT_EXTENSIBLE with either sub-format), and their conversion
// into floats on the 16-bit scale the encoder library takes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "platform/wave_format.h"

namespace tembrel {

enum class SampleEncoding { Unsigned8, Signed16, Signed24, Signed32, Float32, Float64 };

struct PcmLayout {
    SampleEncoding encoding;
    uint16_t channels;
    uint32_t rate;
    uint16_t bitsPerSample;   // as the record states it (the container's width for EXTENSIBLE)
    uint16_t containerBytes;  // bytes of one sample of one channel
    uint32_t stride() const { return uint32_t(containerBytes) * channels; }
    bool isFloat() const {
        return encoding == SampleEncoding::Float32 || encoding == SampleEncoding::Float64;
    }
};

// The format block a source reports: the record and the cbSize bytes after it, for
// every tag but PCM (whose block is the bare record).
std::span<const uint8_t> formatBlockOf(const WAVEFORMATEX& format);

// The layout of a format block, or why its samples cannot be read ("format tag 0x0002
// is not PCM"). Channel counts are not judged here.
std::variant<PcmLayout, std::string> describePcm(std::span<const uint8_t> formatBlock);

// Interleaved samples of `layout` into interleaved floats on the 16-bit scale: 8-bit
// (x - 128) * 256, 16-bit as they are, wider integers scaled down, floats times 32768
// after clipping to [-1, 1] (NaN and infinities become 0). Converts the whole sample
// frames of `pcm`, at most out.size() / channels of them; returns how many.
std::size_t samplesToFloat(std::span<const uint8_t> pcm, const PcmLayout& layout,
                           std::span<float> out);

}  // namespace tembrel
