#include "codec/core/quantisers.h"

#include <algorithm>
#include <cmath>

#include "codec/core/lpc.h"

namespace tembrel::tvq {
namespace {

constexpr float kNoiseOffMarginDb = 12.0f;

int32_t nearestStep(float value, float min, float step, int bits) {
    const float q = std::round((value - min) / step);
    const float top = static_cast<float>((1 << bits) - 1);
    return static_cast<int32_t>(std::clamp(std::isfinite(q) ? q : 0.0f, 0.0f, top));
}

// Gaps between neighbouring LSPs are coded on a logarithmic scale between these bounds.
struct GapScale {
    double min;
    double max;
};
constexpr GapScale kFirstGaps{0.012, 1.4};
constexpr GapScale kGaps{0.02, 0.7};
constexpr double kFirstDeltaStep = 0.012;  // predicted mode: steps of the difference
constexpr double kDeltaStep = 0.02;

double gapOf(int code, int bits, GapScale s) {
    const int top = (1 << bits) - 1;
    return s.min * std::pow(s.max / s.min, static_cast<double>(code) / top);
}

int gapCode(double gap, int bits, GapScale s) {
    const int top = (1 << bits) - 1;
    if (!(gap > s.min)) {
        return 0;
    }
    const double pos = std::log(gap / s.min) / std::log(s.max / s.min) * top;
    return std::clamp(static_cast<int>(std::lround(pos)), 0, top);
}

double deltaOf(int code, int bits, double step) {
    return (code - ((1 << bits) - 1) * 0.5) * step;
}

int deltaCode(double delta, int bits, double step) {
    const int top = (1 << bits) - 1;
    return std::clamp(static_cast<int>(std::lround(delta / step + top * 0.5)), 0, top);
}

// Bits and code of LSP i within the packed fields.
struct LspSlot {
    int field;
    int shift;
    int bits;
    bool first;
};

LspSlot slotOf(const StreamConfig& c, int i) {
    if (i < c.lspFirstGroup) {
        return {1, (c.lspFirstGroup - 1 - i) * c.lspFirstStepBits, c.lspFirstStepBits, true};
    }
    const int j = i - c.lspFirstGroup;
    return {2 + j / c.lspGroup, (c.lspGroup - 1 - j % c.lspGroup) * c.lspStepBits, c.lspStepBits,
            false};
}

int codeAt(const StreamConfig& c, const int32_t* fields, int i) {
    const LspSlot s = slotOf(c, i);
    const int width = s.field == 1 ? c.lspBits1 : c.lspBits2;
    return (fieldValue(fields[s.field], width) >> s.shift) & ((1 << s.bits) - 1);
}

void setCode(const StreamConfig& c, int32_t* fields, int i, int code) {
    const LspSlot s = slotOf(c, i);
    fields[s.field] |= code << s.shift;
}

double lspError(const std::vector<double>& a, const std::vector<double>& b) {
    double e = 0.0;
    // Plain squared error: weighting the errors between close neighbours (sharp peaks)
    // more measured better at 44.1 kHz but worse at 8 and 11 kHz.
    for (size_t i = 0; i < a.size(); ++i) {
        e += (a[i] - b[i]) * (a[i] - b[i]);
    }
    return e;
}

}  // namespace

float dbToAmplitude(float db) {
    return std::pow(10.0f, db / 20.0f);
}
float amplitudeToDb(float amplitude) {
    return 20.0f * std::log10(std::max(amplitude, 1e-9f));
}

float gainOf(int32_t index) {
    return dbToAmplitude(kGainMinDb + fieldValue(index, kGainBits) * kGainStepDb);
}
int32_t gainIndex(float amplitude) {
    return nearestStep(amplitudeToDb(amplitude), kGainMinDb, kGainStepDb, kGainBits);
}
float subGainOf(int32_t index) {
    const int32_t i = fieldValue(index, kSubGainBits);
    return i == 0 ? 0.0f : dbToAmplitude(kSubGainMinDb + (i - 1) * kSubGainStepDb);
}
int32_t subGainIndex(float ratio) {
    const float db = amplitudeToDb(ratio);
    if (db < kSubGainMinDb - kSubGainStepDb) {
        return 0;
    }
    return std::min(1 + nearestStep(db, kSubGainMinDb, kSubGainStepDb, kSubGainBits),
                    (1 << kSubGainBits) - 1);
}
float envDbOf(int32_t index, float predictionDb, float minDb) {
    return predictionDb + minDb + fieldValue(index, kEnvBits) * kEnvStepDb;
}
int32_t envIndex(float db, float predictionDb, float minDb) {
    return nearestStep(db - predictionDb, minDb, kEnvStepDb, kEnvBits);
}
float noiseLevelOf(int32_t index) {
    const int32_t i = fieldValue(index, kPbBits);
    return i == 0 ? 0.0f : dbToAmplitude(kNoiseMinDb + (i - 1) * kNoiseStepDb);
}
int32_t noiseIndex(float level) {
    const float db = amplitudeToDb(level);
    // Bands only a little below the lowest level keep it: switching a band off and on from
    // frame to frame sounds worse than slightly too much noise.
    if (db < kNoiseMinDb - kNoiseOffMarginDb) {
        return 0;
    }
    return std::min(1 + nearestStep(db, kNoiseMinDb, kNoiseStepDb, kPbBits), (1 << kPbBits) - 1);
}

void decodeLsp(const StreamConfig& c, const int32_t* fields, const std::vector<double>& previous,
               std::vector<double>& lsp) {
    const int p = c.lpcOrder;
    lsp.assign(p, 0.0);
    const bool predicted = fieldValue(fields[0], c.lspBits0) != 0;
    double last = 0.0;
    for (int i = 0; i < p; ++i) {
        const LspSlot s = slotOf(c, i);
        const int code = codeAt(c, fields, i);
        if (predicted) {
            lsp[i] = previous[i] + deltaOf(code, s.bits, s.first ? kFirstDeltaStep : kDeltaStep);
        } else {
            lsp[i] = last + gapOf(code, s.bits, s.first ? kFirstGaps : kGaps);
            last = lsp[i];
        }
    }
    stabiliseLsp(lsp);
}

void encodeLsp(const StreamConfig& c, const std::vector<double>& target,
               const std::vector<double>& previous, int32_t* fields, std::vector<double>& lsp) {
    const int p = c.lpcOrder;
    const int count = 2 + c.lspSplit;
    std::vector<int32_t> absolute(count, 0), predicted(count, 0);
    predicted[0] = 1;
    double last = 0.0;
    for (int i = 0; i < p; ++i) {
        const LspSlot s = slotOf(c, i);
        const GapScale scale = s.first ? kFirstGaps : kGaps;
        // Closed loop: each gap is measured from the previous decoded LSP.
        const int code = gapCode(target[i] - last, s.bits, scale);
        setCode(c, absolute.data(), i, code);
        last += gapOf(code, s.bits, scale);
        setCode(c, predicted.data(), i,
                deltaCode(target[i] - previous[i], s.bits, s.first ? kFirstDeltaStep : kDeltaStep));
    }
    std::vector<double> fromAbsolute, fromPredicted;
    decodeLsp(c, absolute.data(), previous, fromAbsolute);
    decodeLsp(c, predicted.data(), previous, fromPredicted);
    const bool usePrediction = lspError(fromPredicted, target) < lspError(fromAbsolute, target);
    const std::vector<int32_t>& chosen = usePrediction ? predicted : absolute;
    std::copy(chosen.begin(), chosen.end(), fields);
    lsp = usePrediction ? fromPredicted : fromAbsolute;
}

}  // namespace tembrel::tvq
