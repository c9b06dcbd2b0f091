#include "sources/resampler.h"

#include <soxr.h>

#include <cmath>

namespace tembrel {

Resampler::Resampler(uint32_t inputRate, uint32_t outputRate, unsigned channels)
    : channels_(channels), ratio_(double(outputRate) / double(inputRate)) {
    if (inputRate == 0 || outputRate == 0 || channels == 0)
        return;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    session_ = soxr_create(inputRate, outputRate, channels, &error, nullptr, &quality, &runtime);
    if (error != nullptr) {
        soxr_delete(session_);
        session_ = nullptr;
    }
}

Resampler::~Resampler() {
    soxr_delete(session_);
}

bool Resampler::process(const float* input, std::size_t frames, std::vector<float>& out) {
    if (session_ == nullptr)
        return false;
    // Room for what this much input gives, and some of what the filter held back.
    const std::size_t room = std::size_t(std::ceil(double(frames) * ratio_)) + 1024;
    for (;;) {
        const std::size_t start = out.size();
        out.resize(start + room * channels_);
        std::size_t taken = 0;
        std::size_t given = 0;
        const soxr_error_t error =
            soxr_process(session_, input, frames, &taken, out.data() + start, room, &given);
        out.resize(start + given * channels_);
        if (error != nullptr)
            return false;
        if (input != nullptr) {
            if (taken == 0 && given == 0)
                return false;  // no progress: never loop forever
            input += taken * channels_;
            frames -= taken;
            if (frames == 0)
                return true;
        } else if (given == 0) {
            return true;  // drained
        }
    }
}

bool Resampler::feed(std::span<const float> input, std::vector<float>& out) {
    if (input.empty())
        return true;
    return process(input.data(), input.size() / channels_, out);
}

bool Resampler::drain(std::vector<float>& out) {
    return process(nullptr, 0, out);
}

}  // namespace tembrel
