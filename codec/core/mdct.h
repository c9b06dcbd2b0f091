// Modified discrete cosine transform of one size, computed as a DCT-IV through a complex FFT
// of a quarter of the window's length, and the variable-overlap windows that let blocks of
// different sizes follow each other.
#pragma once

#include <cstdint>
#include <vector>

namespace tembrel::tvq {

class Mdct {
  public:
    // `size`: coefficients per block (the window spans twice as many samples); a power of two
    // from 16 on.
    explicit Mdct(int size);
    Mdct(const Mdct&) = delete;
    Mdct& operator=(const Mdct&) = delete;

    int size() const { return size_; }
    // 2 * size windowed samples -> size coefficients (orthonormal scaling).
    void forward(const float* samples, float* coefs);
    // size coefficients -> 2 * size time-aliased samples, to be windowed and overlap-added.
    void inverse(const float* coefs, float* samples);

  private:
    // Orthonormal DCT-IV of `size` values into `out`.
    void dct4(const float* in, float* out);

    int size_;
    std::vector<float> preCos_, preSin_;      // size/2 pre-rotations
    std::vector<float> postCos_, postSin_;    // size/2 post-rotations, scale included
    std::vector<float> stageCos_, stageSin_;  // the FFT's twiddles, stage after stage
    // Where the FFT's outputs lie (bit-reversed): per group of eight, or per output in small
    // transforms.
    std::vector<uint16_t> order_;
    std::vector<float> re_, im_, even_, odd_, fold_;
};

// Window of a block of `size` coefficients (2 * size samples) whose left and right overlaps
// with its neighbours are `leftOverlap` and `rightOverlap` samples (each at most `size`), with
// Kaiser-Bessel-derived slopes centred on the block's edges at size/2 and 3*size/2. Adjacent
// blocks that share an edge with the same overlap reconstruct perfectly.
void makeWindow(int size, int leftOverlap, int rightOverlap, std::vector<float>& window);

}  // namespace tembrel::tvq

namespace tembrel::tvq {

// Windows by (size, left overlap, right overlap), made once and kept.
class WindowCache {
  public:
    const std::vector<float>& get(int size, int leftOverlap, int rightOverlap);

  private:
    struct Entry {
        int size, left, right;
        std::vector<float> window;
    };
    std::vector<Entry> entries_;
};

}  // namespace tembrel::tvq
