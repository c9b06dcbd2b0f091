#include "bench/nmr_meter.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace tembrel::bench {
namespace {

constexpr double kBandResolution = 0.25;  // bark
constexpr double kLowestHz = 80.0;
constexpr double kHighestHz = 18000.0;
constexpr double kFullScale = 32767.0;
constexpr double kFullScaleLevelDb = 92.0;  // a full-scale sine plays at 92 dB SPL
// A frame counts as silent when both signals carry less than this energy in the
// newest 1024 samples (16-bit scale), about 2.8 LSB RMS.
constexpr double kSilentEnergyPer1024 = 8000.0;
// The audible part of a signal starts where five samples add up to more than this.
constexpr double kBoundarySum = 200.0;
constexpr int kBoundaryWindow = 5;
constexpr double kSegSnrMin = -10.0;
constexpr double kSegSnrMax = 35.0;
constexpr double kSnrMax = 150.0;

double barkOf(double hz) {
    return 7.0 * std::asinh(hz / 650.0);
}
double hzOf(double bark) {
    return 650.0 * std::sinh(bark / 7.0);
}

// Outer and middle ear transfer, in dB, at `hz`.
double outerEarDb(double hz) {
    const double k = hz / 1000.0;
    return -0.6 * 3.64 * std::pow(k, -0.8) + 6.5 * std::exp(-0.6 * (k - 3.3) * (k - 3.3)) -
           1e-3 * std::pow(k, 3.6);
}

struct FftwPlanDeleter {
    void operator()(fftw_plan_s* plan) const { fftw_destroy_plan(plan); }
};
struct FftwFree {
    void operator()(void* p) const { fftw_free(p); }
};

// Where one FFT bin lands in one band, and with what share of its power.
struct BinShare {
    int bin;
    double share;
};

// The ear model for one rate: windows, band layout and per-band constants.
class EarModel {
  public:
    explicit EarModel(int rate);

    int frameSize() const { return size_; }
    int hop() const { return size_ / 2; }
    int bandCount() const { return int(centreHz_.size()); }
    const std::vector<double>& centres() const { return centreHz_; }

    // Weighted magnitude spectrum (sqrt of weighted power) of one frame.
    void weightedMagnitudes(std::span<const double> frame, std::vector<double>& out);
    // Band energies of a weighted power spectrum.
    void bandEnergies(std::span<const double> power, std::vector<double>& out) const;
    // Spread excitation of the reference's band energies, with internal noise added.
    void spread(std::span<const double> bandEnergy, std::vector<double>& out) const;

    double smoothing(int band) const { return smoothing_[band]; }
    double maskOffset(int band) const { return maskOffset_[band]; }

  private:
    // Sum over maskers of (energy * normalised spread)^0.4, raised to 1/0.4.
    void spreadRaw(std::span<const double> energy, std::vector<double>& out) const;

    int size_;
    std::vector<double> window_;
    std::vector<double> binWeight_;  // outer ear weighting times level scaling, per bin
    std::vector<std::vector<BinShare>> bands_;
    std::vector<double> centreHz_;
    std::vector<double> internalNoise_;
    std::vector<double> maskOffset_;  // linear factor the excitation is divided by
    std::vector<double> smoothing_;   // per-frame decay of the time smoothing
    std::vector<double> flatSpread_;  // spreadRaw of a flat 0 dB pattern
    std::unique_ptr<double, FftwFree> in_;
    std::unique_ptr<fftw_complex, FftwFree> out_;
    std::unique_ptr<fftw_plan_s, FftwPlanDeleter> plan_;
};

EarModel::EarModel(int rate) {
    // 2048 samples at 44.1 kHz, about 46 ms; an even size keeps the hop exact.
    size_ = std::max(16, 2 * int(std::lround(1024.0 * rate / 44100.0)));
    const int bins = size_ / 2 + 1;
    const double binHz = double(rate) / size_;

    window_.resize(size_);
    double windowSum = 0;
    for (int n = 0; n < size_; ++n) {
        window_[n] = 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * n / (size_ - 1)));
        windowSum += window_[n];
    }
    // A full-scale sine centred on a bin peaks at amplitude * windowSum / 2.
    const double levelScale =
        std::pow(10.0, kFullScaleLevelDb / 20.0) / (kFullScale * windowSum / 2.0);
    binWeight_.assign(bins, 0.0);
    for (int k = 1; k < bins; ++k)
        binWeight_[k] = levelScale * levelScale * std::pow(10.0, outerEarDb(k * binHz) / 10.0);

    const double top = std::min(kHighestHz, rate / 2.0);
    const double zLow = barkOf(kLowestHz);
    const double zHigh = barkOf(top);
    const int count = std::max(1, int(std::ceil((zHigh - zLow) / kBandResolution - 1e-9)));
    for (int b = 0; b < count; ++b) {
        const double zl = zLow + b * kBandResolution;
        const double zu = std::min(zl + kBandResolution, zHigh);
        const double fl = hzOf(zl), fu = hzOf(zu);
        std::vector<BinShare> shares;
        for (int k = std::max(1, int(fl / binHz) - 1); k < bins && (k - 0.5) * binHz < fu; ++k) {
            const double overlap =
                std::min(fu, (k + 0.5) * binHz) - std::max(fl, (k - 0.5) * binHz);
            if (overlap > 0)
                shares.push_back({k, overlap / binHz});
        }
        if (shares.empty())
            continue;  // narrower than the bin spacing and between bins
        const double fc = hzOf((zl + zu) / 2.0);
        bands_.push_back(std::move(shares));
        centreHz_.push_back(fc);
        internalNoise_.push_back(std::pow(10.0, 0.4 * 0.364 * std::pow(fc / 1000.0, -0.8)));
        const double offsetDb = (b * kBandResolution <= 12.0) ? 3.0 : 0.25 * b * kBandResolution;
        maskOffset_.push_back(std::pow(10.0, offsetDb / 10.0));
        const double tau = 0.008 + (100.0 / fc) * (0.030 - 0.008);
        smoothing_.push_back(std::exp(-double(hop()) / (rate * tau)));
    }

    in_.reset(static_cast<double*>(fftw_malloc(sizeof(double) * size_)));
    out_.reset(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * bins)));
    plan_.reset(fftw_plan_dft_r2c_1d(size_, in_.get(), out_.get(), FFTW_ESTIMATE));

    std::vector<double> flat(bandCount(), 1.0);
    spreadRaw(flat, flatSpread_);
}

void EarModel::weightedMagnitudes(std::span<const double> frame, std::vector<double>& out) {
    double* in = in_.get();
    for (int n = 0; n < size_; ++n)
        in[n] = frame[n] * window_[n];
    fftw_execute(plan_.get());
    const int bins = size_ / 2 + 1;
    out.resize(bins);
    const fftw_complex* spectrum = out_.get();
    for (int k = 0; k < bins; ++k) {
        const double power = spectrum[k][0] * spectrum[k][0] + spectrum[k][1] * spectrum[k][1];
        out[k] = std::sqrt(power * binWeight_[k]);
    }
}

void EarModel::bandEnergies(std::span<const double> power, std::vector<double>& out) const {
    out.assign(bands_.size(), 0.0);
    for (std::size_t b = 0; b < bands_.size(); ++b)
        for (const BinShare& s : bands_[b])
            out[b] += s.share * power[s.bin];
}

void EarModel::spreadRaw(std::span<const double> energy, std::vector<double>& out) const {
    const int count = bandCount();
    out.assign(count, 0.0);
    // Slopes in dB per bark: 27 towards lower bands, and towards higher bands a slope
    // that flattens as the masker gets louder.
    const double lowerStep = std::pow(10.0, -27.0 * kBandResolution / 10.0);
    for (int k = 0; k < count; ++k) {
        const double levelDb = 10.0 * std::log10(std::max(energy[k], 1e-30));
        const double upperSlope = std::max(0.0, 24.0 + 230.0 / centreHz_[k] - 0.2 * levelDb);
        const double upperStep = std::pow(10.0, -upperSlope * kBandResolution / 10.0);
        // Normalise the masker's spread so that it sums to one over all bands.
        double total = 1.0, g = 1.0;
        for (int j = k - 1; j >= 0; --j)
            total += (g *= lowerStep);
        g = 1.0;
        for (int j = k + 1; j < count; ++j)
            total += (g *= upperStep);
        const double base = std::pow(energy[k] / total, 0.4);
        const double lower04 = std::pow(lowerStep, 0.4), upper04 = std::pow(upperStep, 0.4);
        out[k] += base;
        g = base;
        for (int j = k - 1; j >= 0; --j)
            out[j] += (g *= lower04);
        g = base;
        for (int j = k + 1; j < count; ++j)
            out[j] += (g *= upper04);
    }
    for (double& v : out)
        v = std::pow(v, 1.0 / 0.4);
}

void EarModel::spread(std::span<const double> bandEnergy, std::vector<double>& out) const {
    std::vector<double> withNoise(bandEnergy.begin(), bandEnergy.end());
    for (std::size_t b = 0; b < withNoise.size(); ++b)
        withNoise[b] += internalNoise_[b];
    spreadRaw(withNoise, out);
    for (std::size_t b = 0; b < out.size(); ++b)
        out[b] /= flatSpread_[b];
}

// First and one-past-last sample of the audible part of one channel; {0, 0} when
// nothing is audible.
std::pair<std::size_t, std::size_t> audibleRange(std::span<const double> x) {
    if (x.size() < std::size_t(kBoundaryWindow))
        return {0, 0};
    std::size_t first = x.size(), last = 0;
    double sum = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sum += std::abs(x[i]);
        if (i >= std::size_t(kBoundaryWindow))
            sum -= std::abs(x[i - kBoundaryWindow]);
        if (i + 1 >= std::size_t(kBoundaryWindow) && sum > kBoundarySum) {
            first = std::min(first, i + 1 - kBoundaryWindow);
            last = i + 1;
        }
    }
    if (first >= last)
        return {0, 0};
    return {first, last};
}

double energy(std::span<const double> x) {
    double e = 0;
    for (double v : x)
        e += v * v;
    return e;
}

struct ChannelResult {
    double nmrSum = 0;            // sum over frames of the band-mean noise-to-mask ratio
    std::vector<double> bandSum;  // per band, sum over frames of its noise-to-mask ratio
    int frames = 0;
    double segSnrSum = 0;
    int segments = 0;
};

ChannelResult measureChannel(EarModel& ear, std::span<const double> ref,
                             std::span<const double> test, int rate) {
    ChannelResult result;
    // From the first to the last audible sample of either signal, so that noise a
    // codec adds before the music starts or after it ends is counted too.
    const auto [refFirst, refLast] = audibleRange(ref);
    const auto [testFirst, testLast] = audibleRange(test);
    std::size_t first = refFirst, last = refLast;
    if (testFirst < testLast) {
        first = refFirst < refLast ? std::min(refFirst, testFirst) : testFirst;
        last = std::max(refLast, testLast);
    }
    if (first >= last)
        return result;

    const int size = ear.frameSize();
    const int hop = ear.hop();
    const double silentEnergy = kSilentEnergyPer1024 * hop / 1024.0;
    std::vector<double> refFrame(size), testFrame(size), refMag, testMag, power, noise;
    std::vector<double> refBands, noiseBands, excitation;
    std::vector<double> smoothed(ear.bandCount(), 0.0);
    std::vector<double> ratios(ear.bandCount(), 0.0);
    result.bandSum.assign(ear.bandCount(), 0.0);
    for (std::size_t start = first; start + hop < last || start == first; start += hop) {
        for (int n = 0; n < size; ++n) {
            const std::size_t i = start + n;
            refFrame[n] = i < last ? ref[i] : 0.0;
            testFrame[n] = i < last ? test[i] : 0.0;
        }
        ear.weightedMagnitudes(refFrame, refMag);
        ear.weightedMagnitudes(testFrame, testMag);
        power.resize(refMag.size());
        noise.resize(refMag.size());
        for (std::size_t k = 0; k < refMag.size(); ++k) {
            power[k] = refMag[k] * refMag[k];
            const double d = refMag[k] - testMag[k];
            noise[k] = d * d;
        }
        ear.bandEnergies(power, refBands);
        ear.bandEnergies(noise, noiseBands);
        ear.spread(refBands, excitation);
        // The model runs on every frame so that its smoothing sees the whole signal;
        // only frames with something audible in them are counted.
        double ratio = 0;
        for (int b = 0; b < ear.bandCount(); ++b) {
            const double a = ear.smoothing(b);
            smoothed[b] = a * smoothed[b] + (1.0 - a) * excitation[b];
            const double mask = std::max(smoothed[b], excitation[b]) / ear.maskOffset(b);
            ratios[b] = noiseBands[b] / mask;
            ratio += ratios[b];
        }
        const auto newest = [&](const std::vector<double>& f) {
            return energy(std::span<const double>(f).subspan(size - hop));
        };
        if (newest(refFrame) < silentEnergy && newest(testFrame) < silentEnergy)
            continue;
        result.nmrSum += ratio / ear.bandCount();
        for (int b = 0; b < ear.bandCount(); ++b)
            result.bandSum[b] += ratios[b];
        ++result.frames;
    }

    // Segmental SNR over 20 ms segments of the audible part, silent segments left out.
    const std::size_t segment = std::max<std::size_t>(1, std::lround(0.02 * rate));
    const double silentSegment = kSilentEnergyPer1024 * double(segment) / 1024.0;
    for (std::size_t start = first; start + segment <= last; start += segment) {
        double signal = 0, error = 0;
        for (std::size_t i = start; i < start + segment; ++i) {
            signal += ref[i] * ref[i];
            error += (ref[i] - test[i]) * (ref[i] - test[i]);
        }
        if (signal < silentSegment)
            continue;
        const double snr = error > 0 ? 10.0 * std::log10(signal / error) : kSegSnrMax;
        result.segSnrSum += std::clamp(snr, kSegSnrMin, kSegSnrMax);
        ++result.segments;
    }
    return result;
}

}  // namespace

QualityScores measureQuality(std::span<const float> reference, std::span<const float> test,
                             int channels, int rate) {
    QualityScores scores;
    scores.nmrDb = kNmrFloorDb;
    if (channels < 1 || rate < 1000)
        return scores;
    const std::size_t frames = std::min(reference.size(), test.size()) / std::size_t(channels);
    if (frames == 0)
        return scores;

    EarModel ear(rate);
    double nmrSum = 0, segSnrSum = 0, signal = 0, error = 0;
    int nmrFrames = 0, segments = 0;
    std::vector<double> ref(frames), tst(frames);
    scores.bandHz = ear.centres();
    scores.bandRatio.assign(ear.bandCount(), 0.0);
    for (int c = 0; c < channels; ++c) {
        for (std::size_t i = 0; i < frames; ++i) {
            ref[i] = reference[i * channels + c];
            tst[i] = test[i * channels + c];
            signal += ref[i] * ref[i];
            error += (ref[i] - tst[i]) * (ref[i] - tst[i]);
        }
        const ChannelResult r = measureChannel(ear, ref, tst, rate);
        nmrSum += r.nmrSum;
        nmrFrames += r.frames;
        for (std::size_t b = 0; b < r.bandSum.size(); ++b)
            scores.bandRatio[b] += r.bandSum[b];
        segSnrSum += r.segSnrSum;
        segments += r.segments;
    }
    scores.framesMeasured = nmrFrames;
    for (double& ratio : scores.bandRatio)
        ratio = nmrFrames > 0 ? ratio / nmrFrames : 0.0;
    if (nmrFrames > 0)
        scores.nmrDb = std::max(kNmrFloorDb, 10.0 * std::log10(nmrSum / nmrFrames));
    scores.snrDb =
        signal > 0 ? std::min(kSnrMax, 10.0 * std::log10(signal / std::max(error, 1e-300))) : 0.0;
    scores.segSnrDb = segments > 0 ? segSnrSum / segments : 0.0;
    return scores;
}

}  // namespace tembrel::bench
