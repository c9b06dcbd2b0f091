// Sampling-rate conversion of interleaved float samples, streaming and in constant
// memory (libsoxr at its high-quality setting). The output keeps the input's timing: its
// first sample is the input's first instant, with the filter's delay taken out.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct soxr;

namespace tembrel {

class Resampler {
  public:
    Resampler(uint32_t inputRate, uint32_t outputRate, unsigned channels);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // False when the library refused the rates.
    bool ok() const { return session_ != nullptr; }
    // Takes whole input frames and appends the output frames they give to `out`.
    bool feed(std::span<const float> input, std::vector<float>& out);
    // The end of the input: appends what the filter still holds.
    bool drain(std::vector<float>& out);

  private:
    bool process(const float* input, std::size_t frames, std::vector<float>& out);

    soxr* session_ = nullptr;
    unsigned channels_;
    double ratio_;
};

}  // namespace tembrel
