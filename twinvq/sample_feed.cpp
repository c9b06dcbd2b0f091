#include "twinvq/sample_feed.h"

#include <algorithm>

#include "twinvq/encoder_driver.h"

namespace tembrel {

SampleFeed::SampleFeed(SourceSelector& selector, const ConversionPlan& plan, int frameSize)
    : selector_(selector), plan_(plan), frameSize_(std::size_t(std::max(frameSize, 0))) {
    const uint64_t length = uint64_t(std::max(selector.length, 0));
    const uint64_t stride = plan.layout.stride();
    if (stride == 0)
        return;
    if (!plan.asFloats) {
        // 8- and 16-bit PCM counts in 16-bit words, as the converter always has: an odd
        // last byte is no sample.
        totalFrames_ = (length / 2 * 2) / stride;
    } else {
        totalFrames_ = length / stride;
    }
    if (plan.resample) {
        sourceFrames_ = totalFrames_;
        const uint64_t in = plan.layout.rate;
        totalFrames_ = (sourceFrames_ * plan.encodedRate + in / 2) / in;
        resampler_ =
            std::make_unique<Resampler>(plan.layout.rate, plan.encodedRate, plan.layout.channels);
    }
}

bool SampleFeed::read(std::size_t frames, std::span<uint8_t>& got) {
    pcm_.resize(frames * plan_.layout.stride());
    uint32_t bytesRead = 0;
    if (!selector_.read(pcm_, bytesRead))
        return false;
    sourceBytes_ += bytesRead;
    got = std::span(pcm_).first(bytesRead);
    return true;
}

void SampleFeed::deinterleave(std::span<const float> interleaved, std::size_t frames,
                              std::span<float> out) const {
    const std::size_t channels = plan_.layout.channels;
    for (std::size_t c = 0; c < channels; ++c) {
        float* channel = out.data() + c * frameSize_;
        for (std::size_t j = 0; j < frames; ++j)
            channel[j] = interleaved[j * channels + c];
        std::fill(channel + frames, channel + frameSize_, 0.0f);
    }
}

bool SampleFeed::fillResampled(std::size_t frames) {
    const std::size_t channels = plan_.layout.channels;
    while ((resampled_.size() - resampledAt_) / channels < frames && !drained_) {
        const std::size_t step =
            std::size_t(std::min<uint64_t>(kStepFrames, sourceFrames_ - taken_));
        std::span<uint8_t> got;
        if (step > 0 && !read(step, got))
            return false;
        // Consumed output goes before the new output is appended.
        resampled_.erase(resampled_.begin(), resampled_.begin() + std::ptrdiff_t(resampledAt_));
        resampledAt_ = 0;
        floats_.resize(step * channels);
        const std::size_t n = samplesToFloat(got, plan_.layout, floats_);
        taken_ += n;
        if (n > 0 && !resampler_->feed(std::span(floats_).first(n * channels), resampled_))
            return false;
        if (n < step || step == 0) {
            if (!resampler_->drain(resampled_))
                return false;
            drained_ = true;
        }
    }
    return true;
}

bool SampleFeed::next(std::size_t count, std::span<float> out) {
    const std::size_t channels = plan_.layout.channels;
    count = std::min(count, frameSize_);
    if (!plan_.asFloats && !plan_.resample) {
        std::span<uint8_t> got;
        if (!read(count, got))
            return false;
        pcmToChannelMajor(got, plan_.layout.bitsPerSample, int(channels), int(frameSize_), out);
        framesDelivered_ += got.size() / plan_.layout.stride();
        return true;
    }
    if (!plan_.resample) {
        std::span<uint8_t> got;
        if (!read(count, got))
            return false;
        floats_.resize(count * channels);
        const std::size_t n = samplesToFloat(got, plan_.layout, floats_);
        deinterleave(floats_, n, out);
        framesDelivered_ += n;
        return true;
    }
    if (!ok() || !fillResampled(count))
        return false;
    const std::size_t available = (resampled_.size() - resampledAt_) / channels;
    const std::size_t n = std::min(count, available);
    deinterleave(std::span(resampled_).subspan(resampledAt_), n, out);
    resampledAt_ += n * channels;
    framesDelivered_ += n;
    return true;
}

}  // namespace tembrel
