// Format records, the float path's sample conversion and the plan of what a source needs.
#include "sources/pcm_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "platform/byte_order.h"
#include "sources/conversion_plan.h"

namespace tembrel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes record(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, Bytes extra = {}) {
    Bytes out;
    const uint16_t align = uint16_t(channels * ((bits + 7) / 8));
    for (auto [value, width] : {std::pair<uint32_t, int>{tag, 2},
                                {channels, 2},
                                {rate, 4},
                                {rate * align, 4},
                                {align, 2},
                                {bits, 2},
                                {extra.size(), 2}})
        bytes::appendLE(out, value, std::size_t(width));
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

// WAVE_FORMAT_EXTENSIBLE: valid bits, channel mask, the sub-format GUID of `subTag`.
Bytes extensible(uint16_t subTag, uint16_t bits, uint16_t validBits, uint8_t guidByte = 0x71) {
    Bytes extra;
    bytes::appendLE(extra, validBits, 2);
    bytes::appendLE(extra, 3, 4);
    bytes::appendLE(extra, subTag, 4);
    extra.insert(extra.end(), {0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, guidByte});
    return record(WAVE_FORMAT_EXTENSIBLE, 2, 48000, bits, extra);
}

TEST(PcmLayout, RecordsGiveTheirEncodingOrWhyNot) {
    struct Row {
        const char* what;
        Bytes block;
        std::optional<SampleEncoding> encoding;
        const char* refusal;
    };
    const Row rows[] = {
        {"8-bit", record(1, 1, 8000, 8), SampleEncoding::Unsigned8, ""},
        {"16-bit", record(1, 2, 44100, 16), SampleEncoding::Signed16, ""},
        {"24-bit", record(1, 2, 44100, 24), SampleEncoding::Signed24, ""},
        {"32-bit", record(1, 2, 44100, 32), SampleEncoding::Signed32, ""},
        {"12-bit in 16", record(1, 1, 8000, 12), SampleEncoding::Signed16, ""},
        {"float", record(3, 1, 8000, 32), SampleEncoding::Float32, ""},
        {"double", record(3, 1, 8000, 64), SampleEncoding::Float64, ""},
        {"extensible PCM", extensible(1, 24, 20), SampleEncoding::Signed24, ""},
        {"extensible float", extensible(3, 32, 32), SampleEncoding::Float32, ""},
        {"half float", record(3, 1, 8000, 16), std::nullopt, "16-bit float"},
        {"a-law", record(6, 1, 8000, 8), std::nullopt, "format tag 0x0006 is not PCM"},
        {"no bits", record(1, 1, 8000, 0), std::nullopt, "0-bit PCM"},
        {"extensible short", record(0xFFFE, 2, 48000, 24, Bytes(10)), std::nullopt,
         "WAVE_FORMAT_EXTENSIBLE record too short"},
        {"extensible other GUID", extensible(1, 24, 24, 0x72), std::nullopt,
         "WAVE_FORMAT_EXTENSIBLE with an unknown sub-format"},
        {"extensible ADPCM", extensible(2, 16, 16), std::nullopt, "format tag 0x0002 is not PCM"},
        {"more valid bits", extensible(1, 16, 24), std::nullopt, "24 valid bits in 16-bit samples"},
        {"cut record", Bytes(12), std::nullopt, "format record too short"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto described = describePcm(row.block);
        if (row.encoding) {
            ASSERT_TRUE(std::holds_alternative<PcmLayout>(described));
            EXPECT_EQ(std::get<PcmLayout>(described).encoding, *row.encoding);
        } else {
            ASSERT_TRUE(std::holds_alternative<std::string>(described));
            EXPECT_EQ(std::get<std::string>(described), row.refusal);
        }
    }
}

TEST(PcmLayout, SamplesReachTheSixteenBitScaleClippedAndWithoutNaN) {
    const auto f32 = [](float v) {
        Bytes b;
        bytes::appendLE(b, std::bit_cast<uint32_t>(v), 4);
        return b;
    };
    const auto f64 = [](double v) {
        const uint64_t bits = std::bit_cast<uint64_t>(v);
        Bytes b;
        bytes::appendLE(b, uint32_t(bits), 4);
        bytes::appendLE(b, uint32_t(bits >> 32), 4);
        return b;
    };
    const auto join = [](std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Row {
        uint16_t tag, bits;
        Bytes pcm;
        std::vector<float> expected;
    };
    const Row rows[] = {
        {1, 8, {0x00, 0x80, 0xFF}, {-32768, 0, 32512}},
        {1, 16, {0x00, 0x80, 0xFF, 0x7F, 0x01}, {-32768, 32767}},  // a cut last sample is none
        {1,
         24,
         {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x00, 0x01, 0x00},
         {-32768, 32767.99609375f, 1}},
        {1, 32, {0, 0, 0, 0x80, 0, 0, 1, 0}, {-32768, 1}},
        {3,
         32,
         join({f32(0.5f), f32(-1.0f), f32(1.5f), f32(-2.0f), f32(nan), f32(inf), f32(-inf)}),
         {16384, -32768, 32768, -32768, 0, 0, 0}},
        {3, 64, join({f64(-0.25), f64(4.0), f64(std::nan(""))}), {-8192, 32768, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bits);
        const auto layout = std::get<PcmLayout>(describePcm(record(row.tag, 1, 8000, row.bits)));
        std::vector<float> out(16, -1.0f);
        ASSERT_EQ(samplesToFloat(row.pcm, layout, out), row.expected.size());
        for (std::size_t i = 0; i < row.expected.size(); ++i)
            EXPECT_EQ(out[i], row.expected[i]) << i;
    }
}

TEST(ConversionPlan, RatesWithoutABitRateAndOtherWidthsNeedTheSwitch) {
    struct Row {
        uint16_t tag, bits, channels;
        uint32_t rate;
        bool decodesToFloat;
        uint32_t encodedRate;
        bool resample, widen;
        const char* refusal;
    };
    const Row rows[] = {
        {1, 16, 2, 44100, false, 44100, false, false, ""},
        {1, 8, 1, 8000, false, 8000, false, false, ""},
        {1, 16, 1, 44000, false, 44000, false, false, ""},  // 44 kHz as it always was
        {1, 16, 2, 48000, false, 44100, true, false, ""},
        {1, 16, 2, 96000, false, 44100, true, false, ""},
        {1, 16, 2, 88200, false, 44100, true, false, ""},
        {1, 16, 2, 32000, false, 22050, true, false, ""},
        {1, 16, 2, 24000, false, 22050, true, false, ""},
        {1, 16, 2, 12000, false, 11025, true, false, ""},
        {1, 16, 1, 6000, false, 8000, true, false, ""},
        {1, 24, 2, 44100, false, 44100, false, true, ""},
        {3, 32, 2, 22050, false, 22050, false, true, ""},
        {3, 32, 2, 44100, true, 44100, false, false, ""},  // a decoder's floats
        {3, 32, 2, 48000, true, 44100, true, false, ""},
        {1, 16, 6, 44100, false, 0, false, false, "6 channels: only mono and stereo convert"},
        {1, 16, 0, 44100, false, 0, false, false, "no channels"},
        {1, 16, 1, 500, false, 0, false, false, "500 Hz: too low a sampling rate to convert"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.rate) + " Hz " + std::to_string(row.bits) + " bits");
        const Bytes block = record(row.tag, row.channels, row.rate, row.bits);
        WAVEFORMATEX format;
        std::memcpy(&format, block.data(), sizeof format);
        const ConversionPlan plan = planConversion(format, row.decodesToFloat);
        EXPECT_EQ(plan.refusal, row.refusal);
        if (*row.refusal)
            continue;
        EXPECT_EQ(plan.encodedRate, row.encodedRate);
        EXPECT_EQ(plan.resample, row.resample);
        EXPECT_EQ(plan.widen, row.widen);
        EXPECT_EQ(plan.needsSwitch(), row.resample || row.widen);
    }
    // Blocks that do not fit the width: 24 bits in 4-byte blocks, 16 at 48 kHz in 6.
    for (WAVEFORMATEX odd : {WAVEFORMATEX{1, 2, 44100, 352800, 8, 24, 0},
                             WAVEFORMATEX{1, 2, 48000, 288000, 6, 16, 0}}) {
        EXPECT_EQ(planConversion(odd, false).refusal,
                  "blocks of " + std::to_string(odd.nBlockAlign) +
                      " bytes do not hold 2 samples of " + std::to_string(odd.wBitsPerSample) +
                      " bits");
    }
    WAVEFORMATEX format{1, 2, 48000, 192000, 4, 16, 0};
    EXPECT_EQ(needsSwitchReason(planConversion(format, false)),
              "48000 Hz: only 8, 11.025, 16, 22.05 and 44.1 kHz convert; "
              "--convert-other-formats resamples it to 44100 Hz");
    format = {1, 2, 96000, 576000, 6, 24, 0};
    const ConversionPlan both = planConversion(format, false);
    EXPECT_EQ(needsSwitchReason(both),
              "96000 Hz, 24-bit samples: only 8- and 16-bit samples at 8, 11.025, 16, 22.05 and "
              "44.1 kHz convert; --convert-other-formats resamples it to 44100 Hz");
    EXPECT_EQ(conversionSummary(both),
              "resampled from 96000 Hz to 44100 Hz; 24-bit samples taken as floats");
}

}  // namespace
}  // namespace tembrel
