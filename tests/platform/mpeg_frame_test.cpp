// Frame headers of every version and layer, and the VBR information frames.
#include "platform/mpeg_frame.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "platform/byte_order.h"

namespace tembrel::mpeg {
namespace {

std::optional<FrameHeader> parse(uint8_t b1, uint8_t b2, uint8_t b3) {
    const std::array<uint8_t, 4> bytes = {0xFF, b1, b2, b3};
    return parseFrameHeader(bytes);
}

TEST(MpegFrameHeader, DecodesEveryVersionAndLayer) {
    struct Case {
        uint8_t b1, b2;
        Version version;
        int layer;
        uint32_t kbps, rate, frameBytes, samples;
    };
    const Case cases[] = {
        // MPEG-1 Layer III 128 kbit/s 44100 Hz, without and with the padding byte.
        {0xFB, 0x90, Version::Mpeg1, 3, 128, 44100, 417, 1152},
        {0xFB, 0x92, Version::Mpeg1, 3, 128, 44100, 418, 1152},
        {0xFB, 0xE4, Version::Mpeg1, 3, 320, 48000, 960, 1152},
        // MPEG-2 and MPEG-2.5 Layer III: the low-rate bit-rate table, 576 samples.
        {0xF3, 0x80, Version::Mpeg2, 3, 64, 22050, 208, 576},
        {0xF3, 0x88, Version::Mpeg2, 3, 64, 16000, 288, 576},
        {0xE3, 0x48, Version::Mpeg25, 3, 32, 8000, 288, 576},
        {0xE3, 0x40, Version::Mpeg25, 3, 32, 11025, 208, 576},
        {0xE3, 0x44, Version::Mpeg25, 3, 32, 12000, 192, 576},
        // Layers I and II.
        {0xFF, 0x90, Version::Mpeg1, 1, 288, 44100, 312, 384},
        {0xFD, 0x80, Version::Mpeg1, 2, 128, 44100, 417, 1152},
        {0xF7, 0x80, Version::Mpeg2, 1, 128, 22050, 276, 384},
        {0xF5, 0x80, Version::Mpeg2, 2, 64, 22050, 417, 1152},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.b1) << " " << int(c.b2));
        const auto h = parse(c.b1, c.b2, 0x44);
        ASSERT_TRUE(h);
        EXPECT_EQ(h->version, c.version);
        EXPECT_EQ(h->layer, c.layer);
        EXPECT_EQ(h->bitrateKbps, c.kbps);
        EXPECT_EQ(h->sampleRate, c.rate);
        EXPECT_EQ(h->frameBytes(), c.frameBytes);
        EXPECT_EQ(h->samplesPerFrame(), c.samples);
    }
}

TEST(MpegFrameHeader, ChannelModeBitsElevenAreTheOnlySingleChannel) {
    EXPECT_EQ(parse(0xFB, 0x90, 0x00)->channels(), 2);
    EXPECT_EQ(parse(0xFB, 0x90, 0x40)->channels(), 2);
    EXPECT_EQ(parse(0xFB, 0x90, 0x80)->channels(), 2);
    EXPECT_EQ(parse(0xFB, 0x90, 0xC0)->channels(), 1);
    EXPECT_EQ(parse(0xFB, 0x90, 0xC0)->sideInfoBytes(), 17u);
    EXPECT_EQ(parse(0xFB, 0x90, 0x40)->sideInfoBytes(), 32u);
    EXPECT_EQ(parse(0xFA, 0x90, 0x40)->sideInfoBytes(), 34u);  // with CRC
}

TEST(MpegFrameHeader, RefusesWhatHasNoValue) {
    EXPECT_FALSE(parse(0x7B, 0x90, 0x44)) << "no 11-bit sync";
    EXPECT_FALSE(parse(0xEB, 0x90, 0x44)) << "reserved version";
    EXPECT_FALSE(parse(0xF9, 0x90, 0x44)) << "reserved layer";
    EXPECT_FALSE(parse(0xFB, 0x00, 0x44)) << "free format";
    EXPECT_FALSE(parse(0xFB, 0xF0, 0x44)) << "bit-rate index 15";
    EXPECT_FALSE(parse(0xFB, 0x9C, 0x44)) << "sampling-rate index 3";
    const std::array<uint8_t, 3> tooShort = {0xFF, 0xFB, 0x90};
    EXPECT_FALSE(parseFrameHeader(tooShort));
}

// The body of an information frame (the bytes after its header).
std::vector<uint8_t> xingBody(std::size_t at, const char* id, uint32_t flags, uint32_t frames,
                              const char* encoder, uint32_t delay, uint32_t padding) {
    std::vector<uint8_t> body(at, 0);
    body.insert(body.end(), id, id + 4);
    bytes::appendBE(body, flags, 4);
    if (flags & 1)
        bytes::appendBE(body, frames, 4);
    if (flags & 2)
        bytes::appendBE(body, 12345, 4);
    if (flags & 4)
        body.insert(body.end(), 100, 7);
    if (flags & 8)
        bytes::appendBE(body, 57, 4);
    const std::size_t tag = body.size();
    body.resize(tag + 36, 0);
    std::memcpy(&body[tag], encoder, std::strlen(encoder));
    bytes::storeBE(std::span(body).subspan(tag + 21), (delay << 12) | padding, 3);
    return body;
}

TEST(MpegVbrInfo, ReadsXingFrameCountAndLameGap) {
    const auto stereo = *parse(0xFB, 0x90, 0x44);
    const auto info = parseVbrInfo(stereo, xingBody(32, "Info", 15, 51, "LAME3.100", 576, 846));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->frames, 51u);
    EXPECT_TRUE(info->hasEncoderGap);
    EXPECT_EQ(info->encoderDelay, 576u);
    EXPECT_EQ(info->encoderPadding, 846u);

    // Mono MPEG-1 puts the header 17 bytes in; without the seek table the tag moves up.
    const auto mono = *parse(0xFB, 0x90, 0xC4);
    const auto vbr = parseVbrInfo(mono, xingBody(17, "Xing", 1 | 8, 700, "LAME3.100", 1105, 0));
    ASSERT_TRUE(vbr);
    EXPECT_EQ(vbr->frames, 700u);
    EXPECT_EQ(vbr->encoderDelay, 1105u);

    // Without a LAME tag there is a frame count but no gap.
    const auto plain = parseVbrInfo(stereo, xingBody(32, "Xing", 1, 99, "", 0, 0));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->frames, 99u);
    EXPECT_FALSE(plain->hasEncoderGap);

    // At the wrong offset, or cut short, there is nothing.
    EXPECT_FALSE(parseVbrInfo(mono, xingBody(32, "Xing", 1, 99, "", 0, 0)));
    auto cut = xingBody(32, "Xing", 1, 99, "", 0, 0);
    cut.resize(38);
    EXPECT_FALSE(parseVbrInfo(stereo, cut));
}

TEST(MpegVbrInfo, ReadsVbriFrameCount) {
    std::vector<uint8_t> body(32, 0);
    body.insert(body.end(), {'V', 'B', 'R', 'I', 0, 1, 0x04, 0x51, 0, 75});
    bytes::appendBE(body, 200000, 4);
    bytes::appendBE(body, 4321, 4);
    body.resize(body.size() + 40, 0);
    const auto info = parseVbrInfo(*parse(0xFB, 0x90, 0xC4), body);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->frames, 4321u);
    EXPECT_FALSE(info->hasEncoderGap);
    EXPECT_FALSE(parseVbrInfo(*parse(0xFD, 0x80, 0x04), body)) << "only Layer III has them";
}

}  // namespace
}  // namespace tembrel::mpeg
