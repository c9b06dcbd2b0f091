// PCM audio in memory and as 16-bit RIFF WAVE files, for the benchmark and its meter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tembrel::bench {

// Interleaved samples on the 16-bit scale (-32768 ... 32767).
struct AudioClip {
    int rate = 0;
    int channels = 0;
    std::vector<float> samples;

    std::size_t frames() const { return channels > 0 ? samples.size() / std::size_t(channels) : 0; }
    double seconds() const { return rate > 0 ? double(frames()) / rate : 0.0; }
};

// Reads an 8- or 16-bit PCM WAVE file; nothing when the file is missing or not such a file.
std::optional<AudioClip> readWav(const std::string& path);
// Writes 16-bit PCM, rounding and clamping each sample; false when the file cannot be written.
bool writeWav(const std::string& path, const AudioClip& clip);

// Rounds and clamps every sample to a 16-bit value, as a decoder writing PCM would.
void quantiseTo16Bit(AudioClip& clip);

// The clip without its first `offset` frames (offset > 0) or with -offset frames of
// silence in front (offset < 0), cut or padded with silence to `frames` frames.
AudioClip shiftedClip(const AudioClip& clip, long offset, std::size_t frames);

// Mean of the channels, one sample per frame.
std::vector<float> monoMix(const AudioClip& clip);

}  // namespace tembrel::bench
