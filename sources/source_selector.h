// Opens a file as the first source kind that accepts its contents and keeps that source
// with its PCM format and length.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "sources/audio_source.h"

namespace tembrel {

class SourceSelector {
  public:
    // Longest working path (path plus any appended extension), in bytes.
    static constexpr std::size_t kMaxPath = 4095;

    SourceSelector() = default;
    ~SourceSelector() { close(); }
    SourceSelector(const SourceSelector&) = delete;
    SourceSelector& operator=(const SourceSelector&) = delete;

    // Releases any source held, then tries every kind in order on `path` (with the
    // kind's extension appended when appendExtension is set). True when one accepted.
    bool open(const char* path, bool appendExtension);
    // Forwards to the source; false with nothing read when no source is held.
    bool read(std::span<uint8_t> buffer, uint32_t& bytesRead);
    // After a failed open: the refusal, or else that no kind took the file.
    std::string whyNotOpened() const {
        return refusal.empty() ? "not a WAV, MP3, RMP, FLAC, Ogg or VQF file that can be read"
                               : refusal;
    }
    // Releases the source. format and length keep their values but are not to be used.
    bool close();

    std::unique_ptr<AudioSource> source;
    const WAVEFORMATEX* format = nullptr;  // the source's format(), taken at open
    int32_t length = 0;                    // the source's length(), taken at open
    std::string_view kindName;             // name of the kind that opened; empty without a source
    // After a failed open: why a kind that recognised the file refused it; empty when none did.
    std::string refusal;
};

}  // namespace tembrel
