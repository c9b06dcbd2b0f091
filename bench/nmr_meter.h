// Noise-to-mask ratio of a coded signal against its reference, with an FFT ear model:
// Hann frames with 50 % overlap (2048 samples at 44.1 kHz, scaled with the rate),
// outer and middle ear weighting, quarter-bark bands from 80 Hz up to 18 kHz or the
// Nyquist frequency, internal ear noise, level-dependent spreading across bands,
// smoothing over time, and a masking threshold a few dB below the reference's
// excitation. The noise is the band energy of the difference of the two weighted
// magnitude spectra. Plain and segmental SNR are measured beside it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tembrel::bench {

struct QualityScores {
    double nmrDb = 0;        // power mean over frames, bands and channels; lower is better
    double snrDb = 0;        // whole-signal SNR
    double segSnrDb = 0;     // mean of per-segment SNRs clamped to [-10, 35] dB
    int framesMeasured = 0;  // ear-model frames that were not silent (all channels)
    // Where the noise is: per ear-model band, its centre and its noise-to-mask ratio averaged
    // over the measured frames and channels (the NMR is 10 log10 of their mean).
    std::vector<double> bandHz;
    std::vector<double> bandRatio;
};

// Lower bound of the reported NMR: identical signals give this, not minus infinity.
inline constexpr double kNmrFloorDb = -100.0;

// Compares `test` against `reference`, both interleaved with `channels` channels at
// `rate` Hz on the 16-bit scale and aligned sample for sample by the caller; the
// shorter length is used. Silence before and after the audible part of both signals is
// left out, and so are frames in which both signals are near silent. Signals with
// nothing audible give NMR kNmrFloorDb and framesMeasured 0.
QualityScores measureQuality(std::span<const float> reference, std::span<const float> test,
                             int channels, int rate);

}  // namespace tembrel::bench
