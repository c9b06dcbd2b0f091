// The samples of one source as the encoder takes them: frames of channel-major floats on
// the 16-bit scale, at the rate encoded. 8- and 16-bit PCM at its own rate is converted
// as it always was; other layouts go through the float path, other rates through the
// resampler, both reading the source a step at a time so that memory stays the same
// whatever the file's length.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sources/conversion_plan.h"
#include "sources/resampler.h"
#include "sources/source_selector.h"

namespace tembrel {

class SampleFeed {
  public:
    // `selector` holds an open source whose format `plan` was made from; both outlive
    // the feed.
    SampleFeed(SourceSelector& selector, const ConversionPlan& plan, int frameSize);

    // False when the resampler refused the rates.
    bool ok() const { return !plan_.resample || (resampler_ && resampler_->ok()); }
    // Sample frames per channel the encoder gets in all: the source's length, and for a
    // resampled source its duration at the new rate.
    uint64_t totalFrames() const { return totalFrames_; }
    // Fills `out` (channels x frameSize floats, channel-major) with the next `count`
    // frames, count <= frameSize; what the source does not deliver becomes zeros, and so
    // does everything past count. False on a read failure of the source.
    bool next(std::size_t count, std::span<float> out);
    // PCM bytes the source has delivered so far.
    uint64_t sourceBytes() const { return sourceBytes_; }
    // Frames handed out so far that came from the source (the rest were zeros).
    uint64_t framesDelivered() const { return framesDelivered_; }

    // Source frames read per step of the resampled path.
    static constexpr std::size_t kStepFrames = 4096;

  private:
    bool read(std::size_t frames, std::span<uint8_t>& got);
    // Resampled path: makes at least `frames` output frames available, unless the source
    // ends first.
    bool fillResampled(std::size_t frames);
    // Interleaved floats into the channel-major frame, zeros after `frames`.
    void deinterleave(std::span<const float> interleaved, std::size_t frames,
                      std::span<float> out) const;

    SourceSelector& selector_;
    ConversionPlan plan_;
    std::size_t frameSize_;
    uint64_t totalFrames_ = 0;
    uint64_t sourceFrames_ = 0;  // frames the source offers (resampled path)
    uint64_t taken_ = 0;         // source frames read so far (resampled path)
    uint64_t sourceBytes_ = 0;
    uint64_t framesDelivered_ = 0;
    bool drained_ = false;
    std::unique_ptr<Resampler> resampler_;
    std::vector<uint8_t> pcm_;
    std::vector<float> floats_;
    std::vector<float> resampled_;  // interleaved output not yet handed out, from resampledAt_
    std::size_t resampledAt_ = 0;
};

}  // namespace tembrel
