// Decodes a VQF file into a 16-bit PCM RIFF WAVE file, carrying the header's title,
// author, comment and copyright into a "LIST" "INFO" chunk (vqfheader/text_chunks.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace tembrel {

struct VqfDecodeResult {
    std::string error;       // empty on success; otherwise one line saying what failed
    uint64_t pcmBytes = 0;   // PCM bytes written
    bool cancelled = false;  // stopped on request; nothing was written
    bool ok() const { return error.empty(); }
};

// `input` with its last extension replaced by ".wav" (".wav" appended when the name has
// none): "/music/a.vqf" gives "/music/a.wav".
std::string defaultWavPath(const std::string& input);

// Writes the WAV into a temporary file beside `output` and renames it into place, so that
// a failure or a cancel (`cancel` set, checked between pieces) leaves neither a partial
// output nor a damaged earlier one. Never writes over `input` itself; an existing
// `output` is replaced only when `replace` is set.
VqfDecodeResult decodeVqfToWav(const std::string& input, const std::string& output, bool replace,
                               const std::atomic<bool>* cancel = nullptr);

}  // namespace tembrel
