#include "tests/sources/vqf_test_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tvq/tvqenc.h"
#include "twinvq/bit_file.h"
#include "twinvq/frame_writer.h"
#include "vqfheader/header_writer.h"

namespace tembrel::test {
namespace {

void copyText(char (&field)[kTvqTextSize], const std::string& text) {
    std::strncpy(field, text.c_str(), kTvqTextSize - 1);
}

// Encodes `frameCount` frames (or, when it is negative, the whole frames of `samples`
// and three more, as the encoder driver does); frame f takes its samples from `samples`
// (interleaved) starting at sample frame f * frameSize, zeros past the end.
int encode(const std::string& path, const VqfConfig& config, const std::vector<int16_t>& samples,
           int frameCount, const VqfTexts& texts) {
    HeaderInfo header{};
    TvqGetVersionID(0, header.id);
    header.channelMode = config.channels - 1;
    header.bitRate = config.kbps;
    header.samplingRate = config.khz;
    copyText(header.name, texts.name);
    copyText(header.author, texts.author);
    copyText(header.comment, texts.comment);
    copyText(header.copyright, texts.copyright);
    copyText(header.file, texts.file);
    EncoderOptions options{32};
    FrameIndex index{};
    if (TvqEncInitialize(&header, &options, &index, 0) != 0)
        return 0;
    ConfInfo conf{};
    VectorInfo vectors{};
    TvqEncGetConfInfo(&conf);
    TvqEncGetVectorInfo(vectors.shape0Bits, vectors.shape1Bits);
    const int n = TvqEncGetFrameSize();
    const int channels = config.channels;
    const size_t total = samples.size() / channels;
    if (frameCount < 0)
        frameCount = int(total / n) + 3;

    BitFile* file = BitFile::open(path.c_str(), "wb");
    auto header_chunk = BuildHeader(header, texts.importFolder);
    if (file == nullptr || !header_chunk ||
        FrameWriter::writeHeaderChunk(file, *header_chunk) != 0) {
        if (file != nullptr)
            BitFile::close(file);
        TvqEncTerminate(&index);
        return 0;
    }
    FrameWriter writer(conf, vectors);
    std::vector<float> frame(size_t(channels) * n);
    for (int f = 0; f < frameCount; ++f) {
        for (int c = 0; c < channels; ++c) {
            for (int i = 0; i < n; ++i) {
                const size_t at = size_t(f) * n + i;
                frame[size_t(c) * n + i] = at < total ? samples[at * channels + c] : 0.0f;
            }
        }
        TvqEncodeFrame(frame.data(), &index);
        writer.writeFrame(index, file);
    }
    BitFile::close(file);
    TvqEncTerminate(&index);
    return frameCount;
}

}  // namespace

const std::vector<VqfConfig>& allVqfConfigs() {
    static const std::vector<VqfConfig> configs = {
        {8, 1, 8},   {8, 2, 16},  {11, 1, 8},  {11, 1, 10}, {11, 2, 16}, {11, 2, 20},
        {16, 1, 16}, {16, 2, 32}, {22, 1, 20}, {22, 1, 24}, {22, 1, 32}, {22, 2, 40},
        {22, 2, 48}, {22, 2, 64}, {44, 1, 40}, {44, 1, 48}, {44, 2, 80}, {44, 2, 96},
    };
    return configs;
}

uint32_t rateHz(int khz) {
    return khz == 11 ? 11025 : khz == 22 ? 22050 : khz == 44 ? 44100 : uint32_t(khz) * 1000;
}

int writeVqf(const std::string& path, const VqfConfig& config, const std::vector<int16_t>& samples,
             const VqfTexts& texts) {
    return encode(path, config, samples, -1, texts);
}

double correlation(const std::vector<int16_t>& ref, const std::vector<int16_t>& out, int channels,
                   int lag) {
    const int frames = int(ref.size()) / channels;
    const int outFrames = int(out.size()) / channels;
    double xy = 0.0, xx = 0.0, yy = 0.0;
    for (int i = std::max(0, -lag); i < frames && i + lag < outFrames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double x = ref[size_t(i) * channels + c];
            const double y = out[size_t(i + lag) * channels + c];
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
    }
    return xy / std::sqrt(std::max(xx * yy, 1e-30));
}

int writeVqfFrames(const std::string& path, const VqfConfig& config, int frames) {
    // Long enough for every frame size.
    std::vector<int16_t> tone(size_t(frames) * 2048 * config.channels);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = int16_t(8000.0 * std::sin(double(i / config.channels) * 0.05));
    return encode(path, config, tone, frames, {});
}

}  // namespace tembrel::test
