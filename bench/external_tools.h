// The command-line tools the benchmark drives: sox to resample and downmix clips, and
// LAME and Opus as the reference codecs, encoded and decoded at a configuration's rate.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/audio_clip.h"

namespace tembrel::bench {

// The text quoted for /bin/sh.
std::string shellQuote(std::string_view text);

// Runs a shell command with its output discarded. True on exit status 0; the CPU time
// the command's processes used is stored in `cpuSeconds` when given.
bool runQuiet(const std::string& command, double* cpuSeconds = nullptr);

// Converts a WAV file to 16-bit PCM at `rate` Hz with `channels` channels (two channels
// are averaged into one), without dither so that runs repeat.
bool soxConvert(const std::string& in, const std::string& out, int rate, int channels);

// True when MPEG audio layer III at `rate` Hz has the constant bit rate `kbps`.
bool mpegHasBitRate(int rate, int kbps);

// LAME's options for a configuration: the output rate pinned to the input's, the channel
// mode, and CBR where that MPEG version has the bit rate, ABR where it does not.
std::vector<std::string> lameOptions(int rate, int channels, int kbps);

// A reference codec's encoder and decoder run on one file.
struct ToolRoundTrip {
    bool ok = false;
    std::string error;                     // which step failed, when one did
    std::vector<double> encodeCpuSeconds;  // one per run
    AudioClip decoded;                     // as the tool's decoder wrote it, not yet aligned
};

// Encodes `wav` with LAME `runs` times (at least once) into `workDir` and decodes it.
ToolRoundTrip lameRoundTrip(const std::string& wav, const std::string& workDir, int rate,
                            int channels, int kbps, int runs);

// Opus's encoder options: hard CBR at `kbps`, like the other codecs' fixed rates.
std::vector<std::string> opusOptions(int kbps);

// Encodes `wav` with opusenc `runs` times (at least once) into `workDir` and decodes it
// with opusdec at `rate` Hz. Opus codes at 48 kHz inside: opusenc resamples the input
// and opusdec resamples its output to `rate`; opusdec also drops the encoder's delay.
ToolRoundTrip opusRoundTrip(const std::string& wav, const std::string& workDir, int rate,
                            int channels, int kbps, int runs);

}  // namespace tembrel::bench
