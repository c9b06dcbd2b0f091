// MPEG audio frame headers and the VBR information frames that encoders put in
// front of the audio (Xing/Info with an optional LAME tag, VBRI).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tembrel::mpeg {

enum class Version { Mpeg1, Mpeg2, Mpeg25 };

enum ChannelMode : uint8_t { kStereo = 0, kJointStereo = 1, kDualChannel = 2, kSingleChannel = 3 };

struct FrameHeader {
    Version version = Version::Mpeg1;
    int layer = 3;  // 1, 2 or 3
    bool crcProtected = false;
    uint32_t bitrateKbps = 0;
    uint32_t sampleRate = 0;
    bool padding = false;
    uint8_t channelMode = kStereo;

    uint16_t channels() const { return channelMode == kSingleChannel ? 1 : 2; }
    // Bytes of the whole frame, header included.
    uint32_t frameBytes() const;
    // PCM sample frames one frame decodes to.
    uint32_t samplesPerFrame() const;
    // Bytes of Layer III side information after the header (and its CRC).
    uint32_t sideInfoBytes() const;
};

inline constexpr std::size_t kHeaderBytes = 4;

// Decodes a 4-byte frame header. Nothing when the bytes are not a usable header: no
// 11-bit sync, reserved version or layer, free-format or invalid bit rate, reserved
// sampling rate.
std::optional<FrameHeader> parseFrameHeader(std::span<const uint8_t> bytes);

// Two headers that can belong to one stream: same version, layer and sampling rate.
bool sameStream(const FrameHeader& a, const FrameHeader& b);

struct VbrInfo {
    uint32_t frames = 0;  // audio frames after the information frame; 0 when not stated
    bool hasEncoderGap = false;
    uint32_t encoderDelay = 0;    // sample frames the encoder put before the audio
    uint32_t encoderPadding = 0;  // sample frames it added after the audio
};

// Looks for a Xing/Info or VBRI header in a frame whose header is `header`; `body` is
// the frame's bytes after its 4-byte header (as much of it as is at hand).
std::optional<VbrInfo> parseVbrInfo(const FrameHeader& header, std::span<const uint8_t> body);

// Sample frames by which a decoder's output trails its input; LAME's encoder delay and
// padding are stated relative to it.
inline constexpr uint32_t kDecoderDelay = 529;

}  // namespace tembrel::mpeg
