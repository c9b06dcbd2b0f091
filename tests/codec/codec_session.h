// An encoder and a decoder session for one configuration, wired together through a bit string
// in the frame layout the libraries announce, as the VQF writer and reader use them.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/codec/frame_fields.h"
#include "tvq/tvqdec.h"
#include "tvq/tvqenc.h"

namespace tembrel::test {

struct CodecConfig {
    int khz, channels, kbps;
};

inline const std::vector<CodecConfig>& allConfigs() {
    static const std::vector<CodecConfig> configs = {
        {8, 1, 8},   {8, 2, 16},  {11, 1, 8},  {11, 1, 10}, {11, 2, 16}, {11, 2, 20},
        {16, 1, 16}, {16, 2, 32}, {22, 1, 20}, {22, 1, 24}, {22, 1, 32}, {22, 2, 40},
        {22, 2, 48}, {22, 2, 64}, {44, 1, 40}, {44, 1, 48}, {44, 2, 80}, {44, 2, 96},
    };
    return configs;
}

inline int rateHz(int khz) {
    return khz == 11 ? 11025 : khz == 22 ? 22050 : khz == 44 ? 44100 : khz * 1000;
}

inline HeaderInfo headerFor(const CodecConfig& c) {
    HeaderInfo h{};
    TvqGetVersionID(0, h.id);
    h.channelMode = c.channels - 1;
    h.bitRate = c.kbps;
    h.samplingRate = c.khz;
    return h;
}

// Runs `input` (channel-major, `frames` samples per channel) through both libraries and the
// bit layout. Checks every frame's length and field ranges on the way; returns the decoded
// output with the first two decoded frames dropped, `frames` samples per channel.
struct RoundTrip {
    std::vector<float> output;
    int blockTypeCount[3] = {0, 0, 0};
    std::vector<int> blockTypes;  // per encoded frame
    int frameSize = 0;
};

inline RoundTrip roundTrip(const CodecConfig& c, const std::vector<float>& input, int frames) {
    RoundTrip result;
    HeaderInfo header = headerFor(c);
    EncoderOptions options{32};
    FrameIndex enc{}, dec{};
    EXPECT_EQ(TvqEncInitialize(&header, &options, &enc, 0), 0);
    EXPECT_EQ(TvqInitialize(&header, &dec, 0), 0);
    ConfInfo encConf{}, decConf{};
    VectorInfo encWidths{}, decWidths{};
    TvqEncGetConfInfo(&encConf);
    TvqEncGetVectorInfo(encWidths.shape0Bits, encWidths.shape1Bits);
    TvqGetConfInfo(&decConf);
    TvqGetVectorInfo(decWidths.shape0Bits, decWidths.shape1Bits);
    const int n = TvqEncGetFrameSize();
    EXPECT_EQ(TvqGetFrameSize(), n);
    EXPECT_EQ(TvqEncGetNumChannels(), c.channels);
    EXPECT_EQ(TvqGetNumChannels(), c.channels);
    const int fixedBits = TvqGetNumFixedBitsPerFrame();
    result.frameSize = n;
    const int count = (frames + n - 1) / n + 2;
    std::vector<float> frame(c.channels * n), out(c.channels * n);
    result.output.assign(static_cast<size_t>(c.channels) * frames, 0.0f);
    for (int f = 0; f < count; ++f) {
        for (int ch = 0; ch < c.channels; ++ch) {
            for (int i = 0; i < n; ++i) {
                const int at = f * n + i;
                frame[ch * n + i] = at < frames ? input[ch * frames + at] : 0.0f;
            }
        }
        TvqEncodeFrame(frame.data(), &enc);
        EXPECT_GE(enc.blockType, 0);
        EXPECT_LE(enc.blockType, 2);
        ++result.blockTypeCount[enc.blockType];
        result.blockTypes.push_back(enc.blockType);
        Bits bits;
        forEachField(encConf, encWidths, enc, TvqEncUpdateVectorInfo, [&](int width, int32_t& v) {
            EXPECT_GE(v, 0);
            EXPECT_LT(static_cast<int64_t>(v), int64_t{1} << width);
            bits.put(width, static_cast<uint32_t>(v));
        });
        EXPECT_EQ(static_cast<int>(bits.size()), fixedBits);
        // The reader's side: the window type first, then the rest by the decoder's tables.
        dec.windowType = static_cast<int32_t>(bits.get(decConf.windowTypeBits));
        int type = -1;
        EXPECT_EQ(TvqWtypeToBtype(dec.windowType, &type), 0);
        EXPECT_EQ(type, enc.blockType);
        dec.blockType = type;
        bool first = true;
        forEachField(decConf, decWidths, dec, TvqUpdateVectorInfo, [&](int width, int32_t& v) {
            if (first) {  // the window type was read already
                first = false;
                return;
            }
            v = static_cast<int32_t>(bits.get(width));
        });
        EXPECT_EQ(bits.position(), bits.size());
        TvqDecodeFrame(&dec, out.data());
        if (f >= 2) {
            for (int ch = 0; ch < c.channels; ++ch) {
                for (int i = 0; i < n; ++i) {
                    const int at = (f - 2) * n + i;
                    if (at < frames) {
                        result.output[ch * frames + at] = out[ch * n + i];
                    }
                }
            }
        }
    }
    TvqEncTerminate(&enc);
    TvqTerminate(&dec);
    return result;
}

inline double snrDb(const std::vector<float>& ref, const std::vector<float>& out) {
    double s = 0.0, e = 0.0;
    for (size_t i = 0; i < ref.size(); ++i) {
        s += double{ref[i]} * ref[i];
        e += (double{ref[i]} - out[i]) * (double{ref[i]} - out[i]);
    }
    return 10.0 * std::log10(s / std::max(e, 1e-9));
}

}  // namespace tembrel::test
