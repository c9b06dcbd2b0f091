// Encodes a clip with the encoder library and decodes the result with the decoder
// library, passing each frame's fields across as the VQF frame layout would carry them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/audio_clip.h"

namespace tembrel::bench {

struct TvqResult {
    bool ok = false;
    std::string error;                     // why it failed, when it did
    std::vector<double> encodeCpuSeconds;  // one per run
    std::vector<double> decodeCpuSeconds;
    // 16-bit decoded output with the codec's two-frame delay dropped, as long as the input.
    AudioClip decoded;
    int frameSize = 0;        // samples per channel in one frame
    int frameBits = 0;        // the decoder's fixed frame length
    int layoutBits = 0;       // the field widths of the last frame added up; differs from
                              // frameBits only when the libraries disagree on the layout
    long oversizeFields = 0;  // field values that did not fit their width (cut to it)
    // FNV-1a hashes of the last run's stream (every frame's field values as cut to their
    // widths) and of its 16-bit decoded output: changes that keep the output keep them.
    uint64_t streamHash = 0;
    uint64_t decodedHash = 0;
};

// `input` must have one or two channels at one of the codec's rates; `runs` (at least
// one) encodes and decodes that many times, keeping the output of the last run.
TvqResult tvqRoundTrip(const AudioClip& input, int kbps, int runs);

}  // namespace tembrel::bench
