#include "bench/tvq_round_trip.h"

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "tvq/tvqdec.h"
#include "tvq/tvqenc.h"

namespace tembrel::bench {
namespace {

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Calls `field(value, width)` for every field of one frame, in the order of the frame
// layout. `updateShortBlock` is called before the shape fields of a short-block frame,
// as the writer and reader do, and may change the count and widths of that block type.
template <typename Update, typename Field>
void forEachField(ConfInfo& conf, VectorInfo& vectors, FrameIndex& index, int blockType,
                  Update updateShortBlock, Field field) {
    BlockConf& block = conf.blocks[blockType];
    if (blockType == 2)
        updateShortBlock(&block.shapeVectorCount, vectors.shape0Bits[2], vectors.shape1Bits[2]);
    const int channels = std::clamp(conf.numChannels, 1, 2);
    const int count = block.shapeVectorCount;
    for (int i = 0; i < count; ++i) {
        field(index.shapeIndex[i], vectors.shape0Bits[blockType][i]);
        field(index.shapeIndex[count + i], vectors.shape1Bits[blockType][i]);
    }
    for (int ch = 0; ch < channels; ++ch)
        for (int sb = 0; sb < block.subBlocks; ++sb)
            for (int k = 0; k < block.envCoefCount; ++k)
                field(index.envIndex[(ch * block.subBlocks + sb) * block.envCoefCount + k],
                      block.envBits);
    for (int ch = 0; ch < channels; ++ch)
        for (int sb = 0; sb < block.subBlocks; ++sb)
            field(index.arIndex[ch * block.subBlocks + sb], conf.arSwitchBits);
    for (int ch = 0; ch < channels; ++ch) {
        const int base = ch * (block.subGainCount + 1);
        field(index.powerIndex[base], conf.gainBits);
        for (int j = 0; j < block.subGainCount; ++j)
            field(index.powerIndex[base + 1 + j], conf.subGainBits);
    }
    for (int ch = 0; ch < channels; ++ch) {
        field(index.lspIndex[ch][0], conf.lspBits0);
        field(index.lspIndex[ch][1], conf.lspBits1);
        for (int j = 0; j < conf.lspSplit; ++j)
            field(index.lspIndex[ch][2 + j], conf.lspBits2);
    }
    if (block.hasPitch) {
        for (int i = 0; i < conf.pitchVectorCount; ++i) {
            field(index.pitchShapeIndex[i], vectors.shape0Bits[3][i]);
            field(index.pitchShapeIndex[conf.pitchVectorCount + i], vectors.shape1Bits[3][i]);
        }
        for (int ch = 0; ch < channels; ++ch) {
            field(index.pitchIndex[ch], conf.pitchBits);
            field(index.pitchGainIndex[ch], conf.pitchGainBits);
        }
    }
    if (block.hasPb) {
        const int perSubBlock = block.pbEnd - block.pbStart;
        for (int ch = 0; ch < channels; ++ch)
            for (int sb = 0; sb < block.subBlocks; ++sb)
                for (int k = 0; k < perSubBlock; ++k)
                    field(index.pbIndex[ch][sb * perSubBlock + k], block.pbBits);
    }
}

uint32_t fieldMask(int width) {
    return width >= 32 ? 0xffffffffu : (width <= 0 ? 0u : (1u << width) - 1u);
}

// FNV-1a, 64 bits, over the bytes of `values`, continuing from `hash`.
template <typename T>
uint64_t fnv1a(const std::vector<T>& values, uint64_t hash) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(values.data());
    for (std::size_t i = 0; i < values.size() * sizeof(T); ++i)
        hash = (hash ^ bytes[i]) * 0x100000001b3ull;
    return hash;
}
constexpr uint64_t kFnvOffset = 0xcbf29ce484222325ull;

// One encoded frame: its window type and the values of its fields in layout order.
struct EncodedFrame {
    int32_t windowType = 0;
    std::vector<int32_t> fields;
};

HeaderInfo setupFor(const AudioClip& input, int kbps) {
    HeaderInfo setup{};
    TvqGetVersionID(0, setup.id);
    setup.channelMode = input.channels - 1;
    setup.bitRate = kbps;
    setup.samplingRate = input.rate / 1000;
    return setup;
}

// Encodes the whole clip the way the encoder driver does: full frames, one frame with
// the rest padded with zeros, then two frames of silence.
bool encode(const AudioClip& input, int kbps, std::vector<EncodedFrame>& frames,
            TvqResult& result) {
    HeaderInfo setup = setupFor(input, kbps);
    EncoderOptions options{32};
    FrameIndex index{};
    if (TvqEncInitialize(&setup, &options, &index, 0) != 0) {
        result.error = "the encoder refuses this configuration";
        return false;
    }
    ConfInfo conf{};
    VectorInfo vectors{};
    TvqEncGetConfInfo(&conf);
    TvqEncGetVectorInfo(vectors.shape0Bits, vectors.shape1Bits);
    const int size = TvqEncGetFrameSize();
    const int channels = TvqEncGetNumChannels();
    if (size <= 0 || channels != input.channels) {
        TvqEncTerminate(&index);
        result.error = "the encoder reports frame size " + std::to_string(size) + " and " +
                       std::to_string(channels) + " channels";
        return false;
    }
    result.frameSize = size;

    const std::size_t total = input.frames();
    const std::size_t count = total / std::size_t(size) + 3;
    std::vector<float> block(std::size_t(size) * channels);
    frames.assign(count, {});
    for (std::size_t f = 0; f < count; ++f) {
        for (int c = 0; c < channels; ++c)
            for (int n = 0; n < size; ++n) {
                const std::size_t i = f * std::size_t(size) + std::size_t(n);
                block[std::size_t(c) * size + n] =
                    i < total ? input.samples[i * channels + c] : 0.0f;
            }
        TvqEncodeFrame(block.data(), &index);
        EncodedFrame& out = frames[f];
        out.windowType = index.windowType;
        out.fields.clear();
        out.fields.push_back(int32_t(uint32_t(index.windowType) & fieldMask(conf.windowTypeBits)));
        forEachField(
            conf, vectors, index, std::clamp(index.blockType, 0, 2),
            [](int32_t* n, int32_t* b0, int32_t* b1) { TvqEncUpdateVectorInfo(0, n, b0, b1); },
            [&](int32_t value, int width) {
                if (uint32_t(value) & ~fieldMask(width))
                    ++result.oversizeFields;
                out.fields.push_back(int32_t(uint32_t(value) & fieldMask(width)));
            });
    }
    TvqEncTerminate(&index);
    result.streamHash = kFnvOffset;
    for (const EncodedFrame& frame : frames)
        result.streamHash = fnv1a(frame.fields, result.streamHash);
    return true;
}

bool decode(const AudioClip& input, int kbps, const std::vector<EncodedFrame>& frames,
            TvqResult& result) {
    HeaderInfo setup = setupFor(input, kbps);
    if (TvqCheckVersion(setup.id) == -1) {
        result.error = "the decoder refuses the version id";
        return false;
    }
    FrameIndex index{};
    if (TvqInitialize(&setup, &index, 0) != 0) {
        result.error = "the decoder refuses this configuration";
        return false;
    }
    ConfInfo conf{};
    VectorInfo vectors{};
    TvqCheckVersion(setup.id);
    TvqGetConfInfo(&conf);
    TvqGetVectorInfo(vectors.shape0Bits, vectors.shape1Bits);
    const int size = TvqGetFrameSize();
    const int channels = TvqGetNumChannels();
    result.frameBits = TvqGetNumFixedBitsPerFrame();
    if (size != result.frameSize || channels != input.channels) {
        TvqTerminate(&index);
        result.error = "the decoder's frame size or channel count differs from the encoder's";
        return false;
    }

    const std::size_t total = input.frames();
    AudioClip out{input.rate, channels, std::vector<float>(total * channels, 0.0f)};
    std::vector<float> block(std::size_t(size) * channels);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        const EncodedFrame& frame = frames[f];
        index.windowType = frame.fields.empty() ? 0 : frame.fields[0];
        int blockType = 0;
        if (TvqWtypeToBtype(index.windowType, &blockType) != 0 || blockType < 0 || blockType > 2) {
            TvqTerminate(&index);
            result.error = "the decoder refuses window type " + std::to_string(index.windowType);
            return false;
        }
        index.blockType = blockType;
        std::size_t next = 1;
        int bits = conf.windowTypeBits;
        forEachField(
            conf, vectors, index, blockType,
            [](int32_t* n, int32_t* b0, int32_t* b1) { TvqUpdateVectorInfo(0, n, b0, b1); },
            [&](int32_t& value, int width) {
                value = next < frame.fields.size() ? frame.fields[next] : 0;
                ++next;
                bits += width;
            });
        result.layoutBits = bits;
        TvqDecodeFrame(&index, block.data());
        // The first two decoded frames are the codec's delay.
        if (f < 2)
            continue;
        for (int n = 0; n < size; ++n) {
            const std::size_t i = (f - 2) * std::size_t(size) + std::size_t(n);
            if (i >= total)
                break;
            for (int c = 0; c < channels; ++c)
                out.samples[i * channels + c] = block[std::size_t(c) * size + n];
        }
    }
    TvqTerminate(&index);
    quantiseTo16Bit(out);
    result.decodedHash = fnv1a(out.samples, kFnvOffset);
    result.decoded = std::move(out);
    return true;
}

}  // namespace

TvqResult tvqRoundTrip(const AudioClip& input, int kbps, int runs) {
    TvqResult result;
    if (input.channels < 1 || input.channels > 2) {
        result.error = "the codec takes one or two channels";
        return result;
    }
    std::vector<EncodedFrame> frames;
    for (int run = 0; run < std::max(1, runs); ++run) {
        double start = threadCpuSeconds();
        if (!encode(input, kbps, frames, result))
            return result;
        result.encodeCpuSeconds.push_back(threadCpuSeconds() - start);
        start = threadCpuSeconds();
        if (!decode(input, kbps, frames, result))
            return result;
        result.decodeCpuSeconds.push_back(threadCpuSeconds() - start);
    }
    result.ok = true;
    return result;
}

}  // namespace tembrel::bench
