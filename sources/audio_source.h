// The PCM input interface every source kind implements.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/wave_format.h"

namespace tembrel {

class AudioSource {
  public:
    virtual ~AudioSource() = default;

    // Total PCM bytes the source expects to deliver from its first byte; 0 when unknown.
    virtual int32_t length() = 0;
    // Format of the delivered bytes; valid after a successful open().
    virtual const WAVEFORMATEX* format() = 0;
    // True when the file is of this kind and ready to deliver its first PCM byte.
    // On false nothing stays open.
    virtual bool open(const char* path) = 0;
    // Back to the first PCM byte.
    virtual bool rewind() = 0;
    // Copies up to buffer.size() bytes; bytesRead is short only at the end of the
    // source. False only on a read, decoding or conversion failure.
    virtual bool read(std::span<uint8_t> buffer, uint32_t& bytesRead) = 0;
    // Moves forward by a time span and adds the bytes passed over to byteCounter.
    virtual bool skip(uint32_t milliseconds, uint32_t& byteCounter) = 0;
    // Releases everything; harmless on a closed source. Always true.
    virtual bool close() = 0;

    // True when the file stores no sample width of its own (a lossy codec whose decoder
    // gives floats): its float samples are then no width to convert.
    virtual bool decodesToFloat() const { return false; }
    // After an open() that returned false: why a file of this kind cannot be used ("holds
    // no audio frames"); empty when the file was not of this kind at all.
    virtual std::string_view refusal() const { return {}; }
    // What the file's own headers say it holds, to tell a whole file from one cut short.
    struct AnnouncedLength {
        uint64_t bytes;      // PCM bytes, trimmed as read() trims them
        uint64_t tolerance;  // how far short a whole file may still fall (one frame)
    };
    // Asked once the source has been read to its end. Nothing when the file announces no
    // length, or only a size that stream writers leave as a placeholder.
    virtual std::optional<AnnouncedLength> announcedLength() { return std::nullopt; }
};

// A RIFF size that a writer which could not go back left as a placeholder (0, 0x7FFFF000,
// 0x7FFFFFFF, 0xFFFFFFFF): it says nothing about the length.
inline bool isPlaceholderSize(uint64_t size) {
    return size == 0 || size >= 0x7FFFF000;
}

// Bytes of a time span, in the two steps sources use for skip(): whole seconds
// first, then the rest (divided by 1000 before the multiplication by nBlockAlign).
struct SkipAmounts {
    uint32_t wholeSeconds;
    uint32_t rest;
};

inline SkipAmounts skipAmounts(const WAVEFORMATEX& f, uint32_t milliseconds) {
    return {uint32_t(f.nBlockAlign) * f.nSamplesPerSec * (milliseconds / 1000),
            uint32_t((milliseconds % 1000) * f.nSamplesPerSec / 1000) * f.nBlockAlign};
}

}  // namespace tembrel
