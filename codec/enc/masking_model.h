// Simultaneous masking by an ear model: band energies on a third-of-a-bark scale, weighted by the
// outer and middle ear, raised by the ear's internal noise, spread across bands with a lower
// slope of 27 dB per bark and an upper slope that flattens as the masker gets louder (added as
// powers 0.4, so that several maskers mask more than the loudest alone), and lowered by a
// signal-to-mask offset that grows in the highest bands. Gives the noise power each bin can
// hide; the allowance belongs to the band, not to each of its bins, because noise is heard
// against the mask of the band it falls in.
#pragma once

#include <vector>

namespace tembrel::tvq {

class MaskingModel {
  public:
    // Bands of about a third of a bark (at least one bin) over `bins` bins of a block at
    // `sampleRate`, with samples on the 16-bit scale.
    MaskingModel(int bins, int sampleRate);
    // power: bins values; threshold: bins values (noise power each bin may carry).
    void threshold(const float* power, std::vector<float>& threshold) const;

  private:
    int bins_;
    std::vector<int> edges_;           // bands + 1 bin edges
    std::vector<float> binWeight_;     // outer-ear weight times the level scale, per bin
    std::vector<float> barkCentre_;    // per band
    std::vector<float> paddedCentre_;  // the same, with a group of lanes beyond the last band
    std::vector<float> slopeBase_;  // upper slope of a 0 dB masker, dB per bark, per band (padded)
    std::vector<float> internalNoise_;
    std::vector<float> lowerTotal_;  // per masker band: sum of its lower-slope weights
    // Per masker band: the powers kPowerLaw of its lower-slope weights on bands first..m-1
    // (weights below -60 dB left out).
    std::vector<int> lowerFirst_;
    std::vector<std::vector<float>> lower04_;
    std::vector<float> maskScale_;  // per band: 1 / (offset * flat-spread normalisation)
    // Scratch, sized once, per band and padded to whole groups of lanes: band energies, upper
    // slope rates, levels before the power law, spreading bases, spread excitation; each
    // masker's upper weights (a row of bands + lanes) and their count.
    mutable std::vector<float> energy_, rate_, level_, base_, spread_, upper_, upperRows_;
    mutable std::vector<int> upperCount_;
};

}  // namespace tembrel::tvq
