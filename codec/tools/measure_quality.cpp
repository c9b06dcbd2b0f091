// Encodes and decodes synthetic material through the library API at every configuration and
// prints SNR, segmental SNR and encode/decode speed (times real time).
//
// Usage: measure_quality [seconds] [--wav <folder>]  (with --wav, writes each decoded clip)
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codec/tools/test_signals.h"
#include "tvq/tvqdec.h"
#include "tvq/tvqenc.h"

namespace {

struct Config {
    int khz, channels, kbps;
};
constexpr Config kConfigs[] = {
    {8, 1, 8},   {8, 2, 16},  {11, 1, 8},  {11, 1, 10}, {11, 2, 16}, {11, 2, 20},
    {16, 1, 16}, {16, 2, 32}, {22, 1, 20}, {22, 1, 24}, {22, 1, 32}, {22, 2, 40},
    {22, 2, 48}, {22, 2, 64}, {44, 1, 40}, {44, 1, 48}, {44, 2, 80}, {44, 2, 96},
};

int rateOf(int khz) {
    return khz == 11 ? 11025 : khz == 22 ? 22050 : khz == 44 ? 44100 : khz * 1000;
}

void writeWav(const std::string& path, int rate, int channels, const std::vector<float>& planar,
              int frames) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return;
    }
    auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
    const uint32_t bytes = static_cast<uint32_t>(frames * channels * 2);
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(static_cast<uint16_t>(channels));
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate * channels * 2));
    u16(static_cast<uint16_t>(channels * 2));
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(bytes);
    for (int i = 0; i < frames; ++i) {
        for (int ch = 0; ch < channels; ++ch) {
            const float v = std::fmax(-32768.0f, std::fmin(32767.0f, planar[ch * frames + i]));
            u16(static_cast<uint16_t>(static_cast<int16_t>(std::lround(v))));
        }
    }
    std::fclose(f);
}

struct Result {
    double snr, segSnr, encodeSpeed, decodeSpeed;
};

Result run(const Config& c, const std::vector<float>& input, int frames, const char* wavPath) {
    HeaderInfo header{};
    TvqGetVersionID(0, header.id);
    header.channelMode = c.channels - 1;
    header.bitRate = c.kbps;
    header.samplingRate = c.khz;
    EncoderOptions options{32};
    FrameIndex encIndex{}, decIndex{};
    if (TvqEncInitialize(&header, &options, &encIndex, 0) != 0 ||
        TvqInitialize(&header, &decIndex, 0) != 0) {
        std::fprintf(stderr, "configuration refused\n");
        return {};
    }
    const int n = TvqEncGetFrameSize();
    const int count = (frames + n - 1) / n + 2;
    std::vector<float> frame(c.channels * n), decoded(c.channels * count * n, 0.0f);
    std::vector<FrameIndex> indices;
    std::vector<std::vector<int32_t>> copies;
    double encodeSeconds = 0.0, decodeSeconds = 0.0;
    ConfInfo conf{};
    TvqEncGetConfInfo(&conf);
    std::vector<float> out(c.channels * n);
    for (int f = 0; f < count; ++f) {
        for (int ch = 0; ch < c.channels; ++ch) {
            for (int i = 0; i < n; ++i) {
                const int at = f * n + i;
                frame[ch * n + i] = at < frames ? input[ch * frames + at] : 0.0f;
            }
        }
        auto t0 = std::chrono::steady_clock::now();
        TvqEncodeFrame(frame.data(), &encIndex);
        auto t1 = std::chrono::steady_clock::now();
        // The decoder reads the encoder's fields; both records have the same layout.
        decIndex.windowType = encIndex.windowType;
        const BlockConf& b = conf.blocks[encIndex.blockType];
        std::memcpy(decIndex.shapeIndex, encIndex.shapeIndex, 8 * b.shapeVectorCount);
        std::memcpy(decIndex.envIndex, encIndex.envIndex,
                    4 * c.channels * b.subBlocks * b.envCoefCount);
        std::memcpy(decIndex.arIndex, encIndex.arIndex, 4 * c.channels * b.subBlocks);
        std::memcpy(decIndex.powerIndex, encIndex.powerIndex,
                    4 * c.channels * (b.subGainCount + 1));
        for (int ch = 0; ch < c.channels; ++ch) {
            std::memcpy(decIndex.lspIndex[ch], encIndex.lspIndex[ch], 4 * (2 + conf.lspSplit));
            std::memcpy(decIndex.pbIndex[ch], encIndex.pbIndex[ch],
                        4 * b.subBlocks * (b.pbEnd - b.pbStart));
            decIndex.pitchIndex[ch] = encIndex.pitchIndex[ch];
            decIndex.pitchGainIndex[ch] = encIndex.pitchGainIndex[ch];
        }
        std::memcpy(decIndex.pitchShapeIndex, encIndex.pitchShapeIndex, 8 * conf.pitchVectorCount);
        auto t2 = std::chrono::steady_clock::now();
        TvqDecodeFrame(&decIndex, out.data());
        auto t3 = std::chrono::steady_clock::now();
        encodeSeconds += std::chrono::duration<double>(t1 - t0).count();
        decodeSeconds += std::chrono::duration<double>(t3 - t2).count();
        if (f >= 2) {
            for (int ch = 0; ch < c.channels; ++ch) {
                std::memcpy(&decoded[ch * count * n + (f - 2) * n], &out[ch * n], 4 * n);
            }
        }
    }
    TvqEncTerminate(&encIndex);
    TvqTerminate(&decIndex);

    double signal = 0.0, noise = 0.0, segSum = 0.0;
    int segments = 0;
    const int seg = rateOf(c.khz) / 50;
    for (int ch = 0; ch < c.channels; ++ch) {
        for (int s = 0; s + seg <= frames; s += seg) {
            double ss = 0.0, nn = 0.0;
            for (int i = s; i < s + seg; ++i) {
                const double x = input[ch * frames + i];
                const double e = x - decoded[ch * count * n + i];
                ss += x * x;
                nn += e * e;
            }
            signal += ss;
            noise += nn;
            if (ss > seg * 100.0) {  // skip near silence
                segSum += std::fmin(35.0, std::fmax(-10.0, 10.0 * std::log10(ss / (nn + 1e-9))));
                ++segments;
            }
        }
    }
    if (wavPath != nullptr) {
        std::vector<float> planar(c.channels * frames);
        for (int ch = 0; ch < c.channels; ++ch) {
            std::memcpy(&planar[ch * frames], &decoded[ch * count * n], 4 * frames);
        }
        writeWav(wavPath, rateOf(c.khz), c.channels, planar, frames);
    }
    const double seconds = static_cast<double>(frames) / rateOf(c.khz);
    return {10.0 * std::log10(signal / (noise + 1e-9)), segments ? segSum / segments : 0.0,
            seconds / encodeSeconds, seconds / decodeSeconds};
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 4.0;
    const char* wavFolder = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--wav") == 0 && i + 1 < argc) {
            wavFolder = argv[++i];
        } else {
            seconds = std::atof(argv[i]);
        }
    }
    std::printf("%-12s %8s %8s %8s %8s %8s %8s %8s\n", "config", "musSNR", "musSeg", "spSNR",
                "spSeg", "enc x", "dec x", "");
    double total[4] = {0, 0, 0, 0};
    for (const Config& c : kConfigs) {
        const int rate = rateOf(c.khz);
        const int frames = static_cast<int>(seconds * rate);
        std::string base =
            std::to_string(c.khz) + "k" + (c.channels == 2 ? "s" : "m") + std::to_string(c.kbps);
        std::string musicWav = wavFolder ? std::string(wavFolder) + "/" + base + "_music.wav" : "";
        std::string speechWav =
            wavFolder ? std::string(wavFolder) + "/" + base + "_speech.wav" : "";
        const Result m = run(c, tembrel::tvq::signals::music(rate, c.channels, frames), frames,
                             wavFolder ? musicWav.c_str() : nullptr);
        const Result s = run(c, tembrel::tvq::signals::speech(rate, c.channels, frames), frames,
                             wavFolder ? speechWav.c_str() : nullptr);
        std::printf("%-12s %8.2f %8.2f %8.2f %8.2f %8.1f %8.1f\n", base.c_str(), m.snr, m.segSnr,
                    s.snr, s.segSnr, (m.encodeSpeed + s.encodeSpeed) / 2,
                    (m.decodeSpeed + s.decodeSpeed) / 2);
        total[0] += m.snr;
        total[1] += m.segSnr;
        total[2] += s.snr;
        total[3] += s.segSnr;
    }
    const double k = sizeof kConfigs / sizeof kConfigs[0];
    std::printf("%-12s %8.2f %8.2f %8.2f %8.2f\n", "mean", total[0] / k, total[1] / k, total[2] / k,
                total[3] / k);
    return 0;
}
