#include "codec/enc/frame_encoder.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "codec/core/lpc.h"
#include "codec/core/quantisers.h"
#include "codec/enc/shape_search.h"

namespace tembrel::tvq {
namespace {

constexpr float kInputLimit = 65536.0f;
constexpr float kNoiseFillBias = 0.8f;
float rms(const float* x, int count) {
    double sum = 0.0;
    for (int i = 0; i < count; ++i) {
        sum += double{x[i]} * x[i];
    }
    return count > 0 ? static_cast<float>(std::sqrt(sum / count)) : 0.0f;
}

}  // namespace

FrameEncoder::FrameEncoder(const StreamConfig& config)
    : config_(config),
      detector_(config.frameSize, config.sampleRateHz),
      prevRightOverlap_(config.frameSize) {
    for (int t = 0; t < kBlockTypes; ++t) {
        mdct_[t] = std::make_unique<Mdct>(config_.blocks[t].subSize);
        masking_[t] =
            std::make_unique<MaskingModel>(config_.blocks[t].subSize, config_.sampleRateHz);
        if (config_.blocks[t].hasPitch) {
            pitch_[t] = std::make_unique<PitchSearch>(config_, t);
        }
    }
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        history_[ch].assign(3 * config_.frameSize, 0.0f);
        resetMemory(config_, memory_[ch]);
    }
}

void FrameEncoder::encode(const float* samples, FrameIndex& index) {
    const int n = config_.frameSize;
    std::vector<const float*>& views = views_;
    views.clear();
    for (int ch = 0; ch < config_.channels; ++ch) {
        std::vector<float>& h = history_[ch];
        std::copy(h.begin() + n, h.end(), h.begin());
        for (int i = 0; i < n; ++i) {
            const float v = samples[ch * n + i];
            h[2 * n + i] = std::isfinite(v) ? std::clamp(v, -kInputLimit, kInputLimit) : 0.0f;
        }
        views.push_back(h.data());
    }
    // The window coded now covers the two older frames; the newest frame decides the type of
    // the next window, which fixes this window's right overlap.
    const int blockType = pendingType_;
    const int nextType = detector_.decide(views);
    pendingType_ = nextType;
    const int m = config_.blocks[blockType].subSize;
    const int leftOverlap = std::min(prevRightOverlap_, m);
    const int rightOverlap = std::min(m, config_.blocks[nextType].subSize);
    prevRightOverlap_ = rightOverlap;

    analyse(blockType, leftOverlap, rightOverlap);
    bool midSide[kStereoBands] = {};
    chooseMidSide(blockType, midSide);
    index.windowType = makeWindowType(blockType, nextType, midSide[0]);
    index.blockType = blockType;

    const BlockLayout& b = config_.blocks[blockType];
    const int total = codedCount(config_, blockType);
    target_.assign(total, 0.0f);
    weight_.assign(total, 0.0f);
    for (int ch = 0; ch < config_.channels; ++ch) {
        encodeChannel(ch, blockType, index);
    }
    allocator_.allocate(config_, blockType, model_.data(), layout_);
    if (b.hasPitch) {
        // Closed loop: the shapes code what the decoded periodic component leaves over.
        component_.assign(total, 0.0f);
        if (usePitch_) {
            pitch_[blockType]->search(target_, weight_, index, component_);
        } else {
            std::fill_n(index.pitchShapeIndex, 2 * kPitchVectorPairs, 0);
            std::fill_n(index.pitchIndex, kMaxChannels, 0);
            std::fill_n(index.pitchGainIndex, kMaxChannels, 0);
        }
        residual_.resize(total);
        for (int i = 0; i < total; ++i) {
            residual_[i] = target_[i] - component_[i];
        }
        searchShapes(config_, blockType, layout_, residual_, weight_, index.shapeIndex,
                     reconstruction_);
        for (int i = 0; i < total; ++i) {
            reconstruction_[i] += component_[i];
        }
    } else {
        searchShapes(config_, blockType, layout_, target_, weight_, index.shapeIndex,
                     reconstruction_);
    }

    storeStereoModes(config_, blockType, midSide, index);

    // Closed-loop gain: the main gain that best fits the chosen shapes, per channel.
    for (int ch = 0; ch < config_.channels; ++ch) {
        double num = 0.0, den = 0.0;
        for (int k = 0; k < b.codedBins; ++k) {
            for (int j = 0; j < b.subBlocks; ++j) {
                const int pos = coefPosition(b, ch, k, j);
                num += double{weight_[pos]} * target_[pos] * reconstruction_[pos];
                den += double{weight_[pos]} * reconstruction_[pos] * reconstruction_[pos];
            }
        }
        int32_t* power = index.powerIndex + ch * (b.subGainCount + 1);
        if (den > 0.0 && num > 0.0) {
            power[0] = gainIndex(model_[ch].gain * static_cast<float>(num / den));
        }
        // Only the memory matters here (it must advance as the decoder's does).
        decodeChannelModel(config_, blockType, index, ch, memory_[ch], memoryModel_, false);
    }
}

void FrameEncoder::analyse(int blockType, int leftOverlap, int rightOverlap) {
    const BlockLayout& b = config_.blocks[blockType];
    const int n = config_.frameSize;
    const int m = b.subSize;
    for (int ch = 0; ch < config_.channels; ++ch) {
        spectrum_[ch].assign(b.subBlocks * m, 0.0f);
        windowed_.resize(2 * m);
        for (int j = 0; j < b.subBlocks; ++j) {
            const std::vector<float>& w =
                windows_.get(m, j == 0 ? leftOverlap : m, j == b.subBlocks - 1 ? rightOverlap : m);
            const float* x = history_[ch].data() + n / 2 + j * m - m / 2;
            for (int i = 0; i < 2 * m; ++i) {
                windowed_[i] = w[i] * x[i];
            }
            mdct_[blockType]->forward(windowed_.data(), spectrum_[ch].data() + j * m);
        }
        threshold_[ch].resize(b.subBlocks * m);
        power_.resize(m);
        for (int j = 0; j < b.subBlocks; ++j) {
            const float* x = spectrum_[ch].data() + j * m;
            for (int k = 0; k < m; ++k) {
                power_[k] = x[k] * x[k];
            }
            masking_[blockType]->threshold(power_.data(), bandThreshold_);
            std::copy(bandThreshold_.begin(), bandThreshold_.end(), threshold_[ch].begin() + j * m);
        }
        // What a sub-block leaves behind masks the next ones, decaying (the ear's forward
        // masking): noise after an attack may rise with it. The last sub-block of the frame
        // before reaches into the first one of this frame, mapped by frequency.
        float* t = threshold_[ch].data();
        std::vector<float>& last = lastThreshold_[ch];
        const int lastSize = static_cast<int>(last.size());
        if (const float decay = forwardMaskingDecay(config_, (m + lastSize) / 2);
            decay > 0.0f && lastSize > 0) {
            // (Sub-block sizes are powers of two: bin k of this one lies in bin k * lastSize / m
            // of the last one, without a division per bin.)
            if (lastSize >= m) {
                const int step = lastSize / m;
                for (int k = 0; k < m; ++k) {
                    t[k] = std::max(t[k], decay * last[k * step]);
                }
            } else {
                const int shift = std::countr_zero(static_cast<unsigned>(m / lastSize));
                for (int k = 0; k < m; ++k) {
                    t[k] = std::max(t[k], decay * last[k >> shift]);
                }
            }
        }
        for (int j = 1; j < b.subBlocks; ++j) {
            for (int k = 0; k < m; ++k) {
                t[j * m + k] = std::max(t[j * m + k], b.forwardMasking * t[(j - 1) * m + k]);
            }
        }
        last.assign(t + (b.subBlocks - 1) * m, t + b.subBlocks * m);
    }
}

void FrameEncoder::chooseMidSide(int blockType, bool* midSide) {
    if (config_.channels != 2) {
        return;
    }
    const BlockLayout& b = config_.blocks[blockType];
    const int m = b.subSize;
    for (int r = 0; r < b.stereoBands; ++r) {
        const int lo = b.stereoEdges[r];
        const int hi = std::min(b.stereoEdges[r + 1], b.codedBins);
        double left = 0.0, right = 0.0, mid = 0.0, side = 0.0;
        for (int j = 0; j < b.subBlocks; ++j) {
            for (int k = lo; k < hi; ++k) {
                const double l = spectrum_[0][j * m + k];
                const double rr = spectrum_[1][j * m + k];
                left += l * l;
                right += rr * rr;
                mid += 0.25 * (l + rr) * (l + rr);
                side += 0.25 * (l - rr) * (l - rr);
            }
        }
        // The pair that puts more of the energy into one channel leaves less to code in the
        // other; mid/side wins on the near-mono material most recordings are.
        const double lrBalance = std::min(left, right) / std::max(std::max(left, right), 1e-9);
        const double msBalance = std::min(mid, side) / std::max(std::max(mid, side), 1e-9);
        midSide[r] = msBalance < lrBalance;
        if (!midSide[r]) {
            continue;
        }
        for (int j = 0; j < b.subBlocks; ++j) {
            for (int i = j * m + lo; i < j * m + b.stereoEdges[r + 1]; ++i) {
                const float l = spectrum_[0][i];
                const float rr = spectrum_[1][i];
                spectrum_[0][i] = 0.5f * (l + rr);
                spectrum_[1][i] = 0.5f * (l - rr);
                // Noise in mid and side both reaches left and right: each may use half of
                // the smaller threshold.
                const float t = 0.5f * std::min(threshold_[0][i], threshold_[1][i]);
                threshold_[0][i] = t;
                threshold_[1][i] = t;
            }
        }
    }
}

void FrameEncoder::encodeChannel(int ch, int blockType, FrameIndex& index) {
    const BlockLayout& b = config_.blocks[blockType];
    const int m = b.subSize;
    const std::vector<float>& x = spectrum_[ch];
    ChannelModel& model = model_[ch];
    ChannelMemory& memory = memory_[ch];

    // Smooth envelope: LPC fitted to the power averaged over the sub-blocks.
    std::vector<float>& power = envelopePower_;
    power.assign(m, 0.0f);
    for (int j = 0; j < b.subBlocks; ++j) {
        for (int k = 0; k < m; ++k) {
            power[k] += x[j * m + k] * x[j * m + k];
        }
    }
    std::vector<double>& a = lpc_;
    std::vector<double>& lsp = lspTarget_;
    lpcFromPower(power.data(), m, config_.lpcOrder, a);
    if (!lpcToLsp(a, lsp)) {
        lsp = memory.lsp;
    }
    encodeLsp(config_, lsp, memory.lsp, index.lspIndex[ch], model.lsp);
    lspEnvelope(model.lsp, m, b.noiseBins, b.codedBins, model.lpcEnv);

    // Gains: the main gain over the whole coded range, sub-block gains relative to it.
    std::vector<float>& flat = flat_;
    flat.assign(b.subBlocks * m, 0.0f);
    for (int j = 0; j < b.subBlocks; ++j) {
        for (int k = 0; k < b.noiseBins; ++k) {
            flat[j * m + k] = x[j * m + k] / model.lpcEnv[k];
        }
    }
    double sum = 0.0;
    for (int j = 0; j < b.subBlocks; ++j) {
        const float r = rms(&flat[j * m], b.codedBins);
        sum += double{r} * r;
    }
    int32_t* power0 = index.powerIndex + ch * (b.subGainCount + 1);
    power0[0] = gainIndex(static_cast<float>(std::sqrt(sum / b.subBlocks)));
    model.gain = gainOf(power0[0]);
    model.subGain.assign(b.subBlocks, 1.0f);
    for (int j = 0; j < b.subGainCount; ++j) {
        power0[1 + j] = subGainIndex(rms(&flat[j * m], b.codedBins) / model.gain);
        model.subGain[j] = subGainOf(power0[1 + j]);
    }

    // Bark-band corrections, each sub-block coded either on its own or predicted from the
    // previous one, whichever comes closer.
    model.bandDb.assign(b.subBlocks * b.envBands, 0.0f);
    const float floor = config_.envMinDb;
    std::vector<float>& wanted = wanted_;
    wanted.resize(b.envBands);
    for (int j = 0; j < b.subBlocks; ++j) {
        const float level = std::max(model.gain * model.subGain[j], 1e-6f);
        for (int band = 0; band < b.envBands; ++band) {
            const int lo = b.bandEdges[band];
            wanted[band] =
                amplitudeToDb(rms(&flat[j * m + lo], b.bandEdges[band + 1] - lo) / level);
        }
        int32_t* env = index.envIndex + (ch * b.subBlocks + j) * b.envBands;
        float bestError[2] = {0.0f, 0.0f};
        for (int mode = 0; mode < 2; ++mode) {
            for (int band = 0; band < b.envBands; ++band) {
                const float prediction =
                    mode ? envPrediction(memory, blockType, model.bandDb, j, band, b.envBands)
                         : 0.0f;
                const float q =
                    envDbOf(envIndex(wanted[band], prediction, floor), prediction, floor);
                bestError[mode] += (q - wanted[band]) * (q - wanted[band]);
            }
        }
        const int mode = bestError[1] < bestError[0] ? 1 : 0;
        index.arIndex[ch * b.subBlocks + j] = mode;
        for (int band = 0; band < b.envBands; ++band) {
            const float prediction =
                mode ? envPrediction(memory, blockType, model.bandDb, j, band, b.envBands) : 0.0f;
            env[band] = envIndex(wanted[band], prediction, floor);
            model.bandDb[j * b.envBands + band] =
                std::clamp(envDbOf(env[band], prediction, floor), 2.0f * floor, -2.0f * floor);
        }
        // Noise levels above the coded range, set a little below the measured level: random
        // noise in place of the real content differs least from it at about -2 dB.
        for (int band = 0; band < b.noiseBands; ++band) {
            const int lo = b.noiseEdges[band];
            const float level2 =
                kNoiseFillBias * rms(&flat[j * m + lo], b.noiseEdges[band + 1] - lo) / level;
            index.pbIndex[ch][j * b.noiseBands + band] = noiseIndex(level2);
        }
    }

    setBandAmplitudes(model);

    // Normalised target and perceptual weights: the search minimises noise relative to the
    // masking threshold, softened by weightExponent().
    for (int j = 0; j < b.subBlocks; ++j) {
        binScales(config_, blockType, model, j, scales_);
        const float* threshold = &threshold_[ch][j * m];
        const float exponent = weightExponent(config_, blockType);
        for (int k = 0; k < b.codedBins; ++k) {
            const int pos = coefPosition(b, ch, k, j);
            const float s = scales_[k];
            if (!(s > 1e-6f)) {  // a muted sub-block: nothing to code
                target_[pos] = 0.0f;
                weight_[pos] = 0.0f;
                continue;
            }
            target_[pos] = x[j * m + k] / s;
            const float ratio = s * s / threshold[k];
            weight_[pos] = exponent == 1.0f ? ratio : std::pow(ratio, exponent);
        }
    }
}

}  // namespace tembrel::tvq
